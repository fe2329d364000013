#!/usr/bin/env bash
# A banner server for tests: Debian's nginx with its own configuration and state under a
# folder the caller chooses, serving the banner answer (with a Set-Cookie header) on
# GET /?area=application... and the banner picture on /banner.png.
#
#   banner-server.sh start DIR ADDRESS BANNER_HOST ACCESS_LOG [PORT]
#       Writes the configuration, answer and picture under DIR, starts nginx in the
#       background on ADDRESS:PORT (PORT 80 unless given) and returns once it answers.
#       BANNER_HOST is the name the answer's picture and link addresses use. Every request
#       is logged to ACCESS_LOG, one line each, with the "Cookies", "User-Agent" and
#       "x-display-metrics" headers it carried ("Cookies" as cookies=none when absent), e.g.
#         127.0.0.1 "GET /?area=application&... HTTP/1.1" status=200 host="banner.test"
#         cookies=[uid=42;] user_agent="-" metrics="456x418"
#   banner-server.sh stop DIR
#       Stops the server started with DIR and waits until it is gone.
#
# To serve a name inside a network namespace (as root), run it there:
#   ip netns exec NS scripts/banner-server.sh start DIR 127.0.0.1 banner.test LOG
# with /etc/netns/NS/hosts mapping banner.test to 127.0.0.1 for the programs run in NS.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$here/../tests/banner-server"

usage() {
  sed -n '2,20p' "$0" >&2
  exit 2
}

need_nginx() {
  NGINX="$(command -v nginx || true)"
  [ -n "$NGINX" ] || NGINX=/usr/sbin/nginx
  [ -x "$NGINX" ] || { echo "banner-server: nginx is not installed (scripts/install-deps.sh)" >&2; exit 1; }
}

# Waits until address:port accepts a connection (bash's /dev/tcp), at most 5 s.
wait_port() {
  for _ in $(seq 50); do
    if (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

start() {
  [ $# -ge 4 ] || usage
  local dir="$1" address="$2" host="$3" log="$4" port="${5:-80}"
  need_nginx
  mkdir -p "$dir/www" "$dir/temp"
  dir="$(cd "$dir" && pwd)"
  case "$log" in /*) ;; *) log="$PWD/$log" ;; esac
  touch "$log"
  sed -e "s|@BANNER_HOST@|$host|g" "$source_dir/answer.xml.in" >"$dir/www/answer.xml"
  cp "$source_dir/banner.png" "$dir/www/banner.png"
  sed -e "s|@STATE@|$dir|g" -e "s|@ADDRESS@|$address|g" -e "s|@PORT@|$port|g" -e "s|@LOG@|$log|g" \
    "$source_dir/nginx.conf.in" >"$dir/nginx.conf"
  "$NGINX" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -t -q
  "$NGINX" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" </dev/null >/dev/null 2>>"$dir/error.log"
  if ! wait_port "$address" "$port"; then
    echo "banner-server: nginx did not come up on $address:$port" >&2
    cat "$dir/error.log" >&2
    stop "$dir"
    exit 1
  fi
}

stop() {
  [ $# -ge 1 ] || usage
  local dir pid
  dir="$(cd "$1" && pwd)"
  [ -f "$dir/nginx.pid" ] || return 0
  pid="$(cat "$dir/nginx.pid")"
  need_nginx
  "$NGINX" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -s stop 2>/dev/null || kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

case "${1:-}" in
  start) shift; start "$@" ;;
  stop) shift; stop "$@" ;;
  *) usage ;;
esac
