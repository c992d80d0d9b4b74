#!/usr/bin/env bash
# What a visitor sees: the programs installed from BUILD and served by
# lighttpd on loopback (site/lighttpd.conf), loaded by wrk from this machine.
#   bench/through_server.sh BUILD RESULTS
# Writes RESULTS/wrk-<name>-c<connections>.txt (wrk --latency output) for:
#   static    the site's home page
#   shell     a one-line shell CGI script
#   lookout   lookout
#   folio     folio with a 1 KiB form
# at 16 connections for 10 s; and, at 1 and 8 connections, postern through
# the contact wrapper and the PHP peer (bench/contact.php, run by Debian's
# php-cgi through the same lighttpd), each with the host's exim (postern,
# php) and with the null mailer (postern-null, php-null). Needs root (the
# server runs as www-data; the mail goes to the local user benchmail, whose
# mailbox is emptied afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
results=$2
repo=$PWD

stage=$(mktemp -d /tmp/orvik-bench.XXXXXX)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$stage"
  : > /var/mail/benchmail 2>/dev/null || true
}
trap cleanup EXIT

eval "$(scripts/stage-site "$build" "$stage")"
cgibin=$ORVIK_CGIBIN
printf '#!/bin/sh\nexec %s -s "Benchmark" benchmail@localhost\n' "$POSTERN" > "$cgibin/contact"
printf '#!/bin/sh\nexec %s -s "Benchmark" benchmail@localhost\n' "$repo/$build/bench/postern_bench" > "$cgibin/contact-null"
printf '#!/bin/sh\nprintf "Content-type: text/plain\\n\\nhello\\n"\n' > "$cgibin/shell"
chmod 755 "$cgibin"/contact "$cgibin"/contact-null "$cgibin"/shell
chmod 755 "$repo/$build/bench/postern_bench" "$repo/$build/bench/nullmailer"

# The PHP peer: the same script twice, its mailer set by the php.ini that
# lighttpd names for each (bench/lighttpd-php.conf, added to the site's configuration).
mkdir -p "$ORVIK_DOCROOT/php" "$stage/php-exim" "$stage/php-null"
cp bench/contact.php "$ORVIK_DOCROOT/php/contact.php"
cp bench/contact.php "$ORVIK_DOCROOT/php/contact-null.php"
echo 'sendmail_path = "/usr/sbin/sendmail -t -i"' > "$stage/php-exim/php.ini"
echo "sendmail_path = \"$repo/$build/bench/nullmailer -t -i\"" > "$stage/php-null/php.ini"
export ORVIK_PHP_EXIM=$stage/php-exim ORVIK_PHP_NULL=$stage/php-null

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export ORVIK_DOCROOT ORVIK_CGIBIN ORVIK_STATE ORVIK_USER
cat site/lighttpd.conf bench/lighttpd-php.conf > "$stage/lighttpd.conf"
ORVIK_PORT=$port lighttpd -D -f "$stage/lighttpd.conf" &
server_pid=$!
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break
  sleep 0.1
done

# A 1 KiB form, posted by wrk.
form=$(python3 bench/make_body.py 1024 8 /dev/stdout)
cat > "$stage/post.lua" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.body = "$form"
LUA

url="http://127.0.0.1:$port"
load() {  # name connections path [post]
  local name=$1 connections=$2 path=$3 script=()
  [ "${4:-}" = post ] && script=(-s "$stage/post.lua")
  echo "wrk: $name, $connections connections"
  wrk -t "$(( connections < 2 ? 1 : 2 ))" -c "$connections" -d 10s --timeout 10s --latency "${script[@]}" "$url$path" \
    > "$results/wrk-$name-c$connections.txt"
}
load static 16 /
load shell 16 /cgi-bin/orvik/shell
load lookout 16 /cgi-bin/orvik/lookout
load folio 16 /cgi-bin/orvik/folio post
for connections in 1 8; do
  load postern-null "$connections" /cgi-bin/orvik/contact-null post
  load postern "$connections" /cgi-bin/orvik/contact post
  load php-null "$connections" /php/contact-null.php post
  load php "$connections" /php/contact.php post
done
# Every answer must have been the page it should be: the servers' error log
# holds no line of the programs'.
if [ -s "$stage/state/cgi-error.log" ]; then
  echo "the programs reported failures under load:" >&2
  sort "$stage/state/cgi-error.log" | uniq -c | head >&2
  exit 1
fi
