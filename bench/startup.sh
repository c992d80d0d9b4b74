#!/usr/bin/env bash
# Start-up as built for installing: the empty static program, folio and
# lookout as the default CMake build makes them (hardened, static-pie), and
# as the Debian package makes them (dpkg-buildflags' hardening, the C library
# shared) with libstdc++ and libgcc linked in or shared, side by side in one
# hyperfine run without a shell (-N), per request with an empty form
# (CONTENT_LENGTH=0: the start-up and the page). Writes RESULTS/startup.json
# and prints the table in Markdown.
#   bench/startup.sh RESULTS
set -euo pipefail
cd "$(dirname "$0")/.."
results=$1
work=build-bench/startup
mkdir -p "$work" "$results"

# The package's flags and its build's switches, read from debian/rules.
rules_variable() {
  sed -n "s/^export $1 = //p" debian/rules
}
package_flags() {
  DEB_BUILD_MAINT_OPTIONS=$(rules_variable DEB_BUILD_MAINT_OPTIONS) \
  DEB_CXXFLAGS_MAINT_APPEND=$(rules_variable DEB_CXXFLAGS_MAINT_APPEND) dpkg-buildflags --get "$1"
}
mapfile -t package_switches < <(grep -o -- '-DCGI_\(HARDEN\|STATIC\|STATIC_RUNTIME\)=[A-Z]*' debian/rules)
configure() {
  local name=$1
  shift
  cmake -S . -B "$work/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@" >/dev/null
  cmake --build "$work/$name" --target folio lookout >/dev/null
}
configure default
CXXFLAGS="$(package_flags CXXFLAGS) $(package_flags CPPFLAGS)" LDFLAGS="$(package_flags LDFLAGS)" \
  configure package -DCMAKE_BUILD_TYPE=None "${package_switches[@]}"
CXXFLAGS="$(package_flags CXXFLAGS) $(package_flags CPPFLAGS)" LDFLAGS="$(package_flags LDFLAGS)" \
  configure package-shared -DCMAKE_BUILD_TYPE=None "${package_switches[@]}" -DCGI_STATIC_RUNTIME=OFF
echo 'int main() { return 0; }' > "$work/empty.cc"
c++ -O2 -static "$work/empty.cc" -o "$work/empty"

export REQUEST_METHOD=POST CONTENT_TYPE=application/x-www-form-urlencoded CONTENT_LENGTH=0
commands=(-n empty "$work/empty")
for build in default package package-shared; do
  for program in folio lookout; do
    commands+=(-n "$program-$build" "$work/$build/$program/$program")
  done
done
hyperfine -N --warmup 300 --runs 3000 --export-json "$results/startup.json" "${commands[@]}" >/dev/null 2>&1

/usr/bin/python3 - "$results/startup.json" <<'PY'
import json, statistics, sys
runs = {r["command"]: statistics.median(r["times"]) for r in json.load(open(sys.argv[1]))["results"]}
empty = runs["empty"]
what = {"default": "default build: hardened, static-pie",
        "package": "package: hardened, glibc shared, libstdc++ and libgcc linked in",
        "package-shared": "package, all shared (libstdc++ too)"}
target = {"default": 1.15, "package": 1.3, "package-shared": 1.3}
print("| build | folio | lookout | folio / empty | target | |")
print("|---|---|---|---|---|---|")
print(f"| the empty static program | {empty * 1e3:.2f} ms | | 1.00x | | |")
for build, words in what.items():
    folio, lookout = runs[f"folio-{build}"], runs[f"lookout-{build}"]
    ratio = folio / empty
    print(f"| {words} | {folio * 1e3:.2f} ms | {lookout * 1e3:.2f} ms | {ratio:.2f}x | "
          f"<= {target[build]:.2f}x | {'met' if ratio <= target[build] else 'missed'} |")
PY
