#!/usr/bin/env bash
# What a visitor sees: the programs installed from BUILD and served by
# lighttpd on loopback (site/lighttpd.conf), loaded by wrk from this machine.
#   bench/through_server.sh BUILD RESULTS
# Writes RESULTS/wrk-<name>-c<connections>.txt (wrk --latency output) for:
#   static    the site's home page
#   shell     a one-line shell CGI script
#   lookout   lookout
#   folio     folio with a 1 KiB form
# at 16 connections for 10 s; and postern, through the contact wrapper, with
# the host's exim (postern) and with the null mailer (postern-null), at 1 and
# 8 connections. Needs root (the server runs as www-data; the mail goes to
# the local user benchmail, whose mailbox is emptied afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
results=$2
repo=$PWD

stage=$(mktemp -d /tmp/orvik-bench.XXXXXX)
chmod 755 "$stage"
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$stage"
  : > /var/mail/benchmail 2>/dev/null || true
}
trap cleanup EXIT

cmake --install "$build" --prefix "$stage/install" >/dev/null
cgibin="$stage/install/lib/cgi-bin"
postern="$stage/install/libexec/orvik-cgi/postern"
printf '#!/bin/sh\nexec %s -s "Benchmark" benchmail@localhost\n' "$postern" > "$cgibin/contact"
printf '#!/bin/sh\nexec %s -s "Benchmark" benchmail@localhost\n' "$repo/$build/bench/postern_bench" > "$cgibin/contact-null"
printf '#!/bin/sh\nprintf "Content-type: text/plain\\n\\nhello\\n"\n' > "$cgibin/shell"
chmod 755 "$cgibin"/contact "$cgibin"/contact-null "$cgibin"/shell
chmod 755 "$repo/$build/bench/postern_bench" "$repo/$build/bench/nullmailer"
cp -r site/htdocs "$stage/htdocs"
mkdir "$stage/state"
chown www-data "$stage/state"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
ORVIK_PORT=$port ORVIK_DOCROOT="$stage/htdocs" ORVIK_CGIBIN="$cgibin" ORVIK_STATE="$stage/state" \
ORVIK_USER=www-data lighttpd -D -f site/lighttpd.conf &
server_pid=$!
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break
  sleep 0.1
done

form=$(python3 bench/make_body.py 1024 8 /dev/stdout)
printf 'wrk.method = "POST"\nwrk.headers["Content-Type"] = "application/x-www-form-urlencoded"\nwrk.body = "%s"\n' "$form" > $stage/post.lua
wrk -t1 -c1 -d4s --latency -s $stage/post.lua "http://127.0.0.1:$port/cgi-bin/contact" > /tmp/ts/w.txt &
sleep 2.5
ps -ef --forest | grep -A3 lighttpd | grep -v grep | head -20
for p in $(pgrep -f "exim|postern|contact"); do echo "== $p $(cat /proc/$p/cmdline | tr '\0' ' ')"; ls -l /proc/$p/fd 2>/dev/null | tail -n +2 | awk '{print $9,$10,$11}'; done
wait
cat /tmp/ts/w.txt | grep -E "requests in|timeout"
