#!/usr/bin/env python3
"""Turns the results of scripts/bench into BENCHMARKS.md (on standard output)
and the data file of the scaling plot.

Usage: report.py RESULTS_FOLDER
"""
import json
import os
import platform
import statistics
import subprocess
import sys

folder = sys.argv[1]


def load(name):
    with open(os.path.join(folder, name)) as f:
        return json.load(f)


def times(*names):
    """Wall times in seconds of each command over one or more hyperfine runs."""
    found = {}
    for name in names:
        for r in load(name)["results"]:
            found.setdefault(r["command"], []).extend(r["times"])
    return found


def medians(*names):
    """Median wall time in seconds of each command over one or more hyperfine runs."""
    return {command: statistics.median(t) for command, t in times(*names).items()}


def machine():
    cpu = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) // 1024
    return f"{cpu}, {os.cpu_count()} cores, {mem} MiB, Linux {platform.release()}"


def version(command):
    return subprocess.run(command, capture_output=True, text=True).stdout.split("\n")[0].strip()


def verdict(ok):
    return "met" if ok else "**missed**"


rows = []

request = medians("request.json")
for program in ("lookout", "folio"):
    ratio = request[program] / request["true"]
    rows.append((f"{program}, 1 KiB body", f"{request[program] * 1e3:.3f} ms",
                 f"{ratio:.2f} x /bin/true", "<= 1.25 x /bin/true", verdict(ratio <= 1.25)))
ratio = request["postern"] / request["floor"]
rows.append(("postern, 1 KiB body, null mailer", f"{request['postern'] * 1e3:.3f} ms",
             f"{ratio:.2f} x floor ({request['floor'] * 1e3:.3f} ms)", "<= 1.25 x floor", verdict(ratio <= 1.25)))
rows.append(("/bin/true", f"{request['true'] * 1e3:.3f} ms", "1.00", "reference", ""))

floors = medians(*(f"floor-{r}.json" for r in range(1, 6)))
message_floor = medians("floor-message.json")["postern-floor-message-size"]
with open(os.path.join(folder, "message-size-lines")) as f:
    message_lines = int(f.read())
shapes = {"text": "browser-like text", "lines": "short lines"}
for program in ("postern", "folio"):
    for shape, words in shapes.items():
        own, floor = floors[f"{program}-{shape}"], floors[f"{program}-floor-{shape}"]
        rows.append((f"{program}, 32 MiB of {words}", f"{own * 1e3:.1f} ms",
                     f"{own / floor:.2f} x floor ({floor * 1e3:.1f} ms)", "<= 1.2 x floor",
                     verdict(own / floor <= 1.2)))
rows.append((f"floor moving a body of the size of postern's message for short lines ({message_lines / 2**20:.0f} MiB)",
             f"{message_floor * 1e3:.1f} ms", f"postern: {floors['postern-lines'] / message_floor:.2f} x this",
             "context", ""))

python = medians("python.json")
rows.append(("Python peer (`bench/peer.py`), 32 MiB of browser-like text", f"{python['python'] * 1e3:.0f} ms",
             f"{python['python'] / python['postern']:.1f} x postern ({python['postern'] * 1e3:.0f} ms), "
             f"{python['python'] / python['floor']:.1f} x the floor ({python['floor'] * 1e3:.0f} ms)",
             "context", ""))

sizes = [8, 16, 32, 64]
rounds = range(1, 11)
scale = {mib: medians(*(f"scale-{mib}-{r}.json" for r in rounds)) for mib in sizes}
fastest = {mib: {c: min(t) for c, t in times(*(f"scale-{mib}-{r}.json" for r in rounds)).items()} for mib in sizes}
memory = {}
with open(os.path.join(folder, "memory.txt")) as f:
    for line in f:
        mib, program, kb = line.split()
        memory[(int(mib), program)] = int(kb) / 1024

for program in ("postern", "folio"):
    for small, large in zip(sizes, sizes[1:]):
        growth = scale[large][program] / scale[small][program]
        least = fastest[large][program] / fastest[small][program]
        rows.append((f"{program}, {small} -> {large} MiB", f"{scale[large][program] * 1e3:.1f} ms",
                     f"{growth:.2f} x (fastest runs: {least:.2f} x)", "<= 2.3 x", verdict(growth <= 2.3)))
    for mib in sizes:
        peak = memory[(mib, program)]
        limit = 2.5 * mib + 8
        rows.append((f"{program}, {mib} MiB, peak memory", f"{peak:.1f} MiB", f"{peak / mib:.2f} x body",
                     f"<= {limit:.0f} MiB", verdict(peak <= limit)))

with open(os.path.join(folder, "scaling.dat"), "w") as f:
    f.write("# MiB postern_ms folio_ms postern_peak_MiB folio_peak_MiB\n")
    for mib in sizes:
        f.write(f"{mib} {scale[mib]['postern'] * 1e3:.2f} {scale[mib]['folio'] * 1e3:.2f} "
                f"{memory[(mib, 'postern')]:.1f} {memory[(mib, 'folio')]:.1f}\n")

micro = [b for b in load("micro.json")["benchmarks"] if b.get("aggregate_name") == "median"]


def wrk(name, connections):
    """Requests per second, p50 and p99 in ms, from a wrk --latency output."""
    path = os.path.join(folder, f"wrk-{name}-c{connections}.txt")
    if not os.path.exists(path):
        return None
    scale_of = {"us": 1e-3, "ms": 1.0, "s": 1e3, "m": 6e4}
    found = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) == 2 and words[0] in ("50%", "99%"):
                number = words[1].rstrip("usm")
                unit = words[1][len(number):]
                found[words[0]] = float(number) * scale_of[unit]
            if line.startswith("Requests/sec:"):
                found["rps"] = float(words[1])
    return found

print("# Benchmarks\n")
print("Reproduce everything on this page, the plot included, with one command:\n")
print("```sh\n./scripts/bench\n```\n")
print(f"Machine: {machine()}. {version(['hyperfine', '--version'])}, {version(['wrk', '--version'])}; Python "
      f"{platform.python_version()} for the peer. Whole-process figures are medians of hyperfine runs, all "
      "commands of a table measured in the same run (3000 runs a command per request; 30 a command against the "
      "floors, taken in five interleaved rounds; 10 beside Python; for the scaling, 50 runs of each size in ten "
      "rounds over all sizes); hyperfine runs each command through `sh` to feed the body on standard input "
      "and subtracts the shell's own start-up.\n")
print("The programs are the optimised build that the README installs (`CMAKE_BUILD_TYPE=Release`, "
      "statically linked). postern runs with `bench/nullmailer` compiled in as its mailer: it reads its "
      "input and exits 0.\n")
print("The floors are what any program in each place must do, written as plainly as it can be done. "
      "postern must hold the whole form before it may start the mailer (no mail when a check fails), so "
      "`bench/postern_floor.cc` reads standard input whole into one buffer sized by `CONTENT_LENGTH`, makes "
      "the pipe, forks, execs the same null mailer, writes the buffer and waits; "
      "`bench/mailer_floor.cc` does the same for a fixed short message, the floor of a small form. folio "
      "must show the number of fields before the fields, so `bench/folio_floor.cc` reads the body whole and "
      "then writes it to standard output.\n")
print("Bodies come from `bench/make_body.py`: *browser-like text* is mixed text as a browser encodes it "
      "(words joined by `+`, punctuation, a CR LF every ~70 bytes, non-ASCII letters as `%XX`); *short "
      "lines* has a line break, raw or encoded, every ~4 bytes, the hardest shape for the mail's "
      "indentation. postern's have 1024 fields, folio's 20 (all it shows).\n")
print("| measure | median | figure | target | |")
print("|---|---|---|---|---|")
for row in rows:
    print("| " + " | ".join(row) + " |")
print("\nOn this virtual machine the time of one large run varies by a quarter or more from run to run "
      "(fresh memory is slow to fault in, and how slow changes from moment to moment), so the growth "
      "is also given between the fastest runs of each size.")
print(f"\nFor the short-lines body the message postern must write is {message_lines / 2**20:.0f} MiB, "
      f"{message_lines / (32 << 20):.1f} times the body: every line of a value is followed by its name's "
      "indent, and the bytes of the mail are fixed. The floor moving a body of the message's size is the row "
      "after the four floors. What brings postern near the floor of the 32 MiB body all the same: the lines "
      "and indents go out 16 bytes at a time through a buffer of its own, and for a message of 8 MiB or more "
      "the pipe to the mailer is widened to 1 MiB, so that it moves in 1 MiB turns instead of 64 KiB ones "
      "(smaller messages keep the usual pipe, which a mailer that ends without reading must find full). "
      "The Python peer is kept as context, not as a target: the floor itself is only about ten times faster "
      "than it on this machine.")
print("\n![time and peak memory against body size](bench/scaling.png)\n")

served = [("static", 16, "the site's home page"), ("shell", 16, "a one-line shell CGI script"),
          ("lookout", 16, "lookout"), ("folio", 16, "folio, 1 KiB form"),
          ("postern-null", 1, "postern, null mailer"), ("postern-null", 8, "postern, null mailer"),
          ("postern", 1, "postern, exim"), ("postern", 8, "postern, exim")]
limits = {
    "static": "lighttpd itself: sendfile of a cached page, no process started",
    "shell": "a fork and exec of /bin/sh for every request, and the shell's own start-up",
    "lookout": "lighttpd's fork and exec of the program, on 2 cores; the program's own start-up is that of an empty static program",
    "folio": "as lookout, plus reading 1 KiB and writing the page",
    "postern-null": "the wrapper's /bin/sh, postern, the fork and exec of the mailer: three programs a request",
    "postern": "exim: it starts, receives the message, writes it to its spool and delivers it; postern's share is the "
               "null-mailer row. The p99 and the rate are set by this sandbox's resolver: every few seconds exim's "
               "start-up look-up of the host's own name waits 5 s for it (`getent ahosts vm` does the same)",
}
if wrk("static", 16) is not None:
    print("## What a visitor sees: through lighttpd\n")
    print("lighttpd 1.4 on loopback with `site/lighttpd.conf`, loaded by wrk from the same 2-core machine "
          "(10 s each; 16 connections, and 1 and 8 for postern). postern runs behind the contact wrapper, as "
          "a site deploys it, once with the host's exim (mail to a local mailbox) and once built with the "
          "null mailer: the difference is the mailer's time.\n")
    print("| what | connections | requests/s | p50 | p99 | what limits it |")
    print("|---|---|---|---|---|---|")
    for name, connections, words in served:
        figures = wrk(name, connections)
        print(f"| {words} | {connections} | {figures['rps']:,.0f} | {figures['50%']:.2f} ms | "
              f"{figures['99%']:.2f} ms | {limits[name]} |")
    split = []
    for connections in (1, 8):
        own, whole = wrk("postern-null", connections), wrk("postern", connections)
        split.append(f"at {connections} client{'s' if connections > 1 else ''}, of a median submission's "
                     f"{whole['50%']:.1f} ms, the gateway and its wrapper take {own['50%']:.1f} ms and the "
                     f"mailer {whole['50%'] - own['50%']:.1f} ms")
    print("\nSplit of postern's latency: " + "; ".join(split) + ".\n")

print("## Micro-benchmarks (Google Benchmark, medians of 5 repetitions)\n")
print("| benchmark | time | throughput |")
print("|---|---|---|")
for b in micro:
    name = b["run_name"]
    throughput = b.get("bytes_per_second", 0) / (1 << 30)
    print(f"| `{name}` | {b['real_time']:.2f} {b['time_unit']} | {throughput:.2f} GiB/s |")
print("\n`makeword` is timed with the copy of its line that each iteration needs; "
      "`unescape_url` with the copy excluded.")

startup = os.path.join(folder, "startup.md")
if os.path.exists(startup):
    print("\n## Start-up of the builds that are installed\n")
    print("`bench/startup.sh`, one hyperfine run without a shell, 3,000 runs each, a request with an empty form: "
          "the empty static program, and folio and lookout as the default CMake build makes them (hardened, "
          "static-pie) and as the Debian package makes them (dpkg-buildflags' hardening, glibc shared as Debian "
          "Policy asks), once with libstdc++ and libgcc linked in (what the package does) and once with them "
          "shared too.\n")
    with open(startup) as f:
        print(f.read())
