#!/usr/bin/env bash
# The Windows build's service client (under Wine) publishing to the Linux
# build's osl-service on 127.0.0.1: getLibraryTemplates, setTemplate,
# setFields and a file upload, checked in the service. The Linux build's
# client makes the same calls with the same input against a service of its
# own; the request bytes of both, captured on a loopback socket between client
# and service, are equal once the values that differ between any two runs
# are masked (boundary, port, identifiers: capture_proxy.py normalize).
#   client_publish_test.sh WINE WINDOWS_CLIENT_TOOL LINUX_BUILD_DIR
# Exit status 77 (skipped) when LINUX_BUILD_DIR holds no built osl-service and
# osl_linux_client_tool.
set -euo pipefail
wine=$1 tool=$2 linux=$3
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "$linux" ] || [ ! -x "$linux/bin/osl-service" ] || [ ! -x "$linux/bin/osl_linux_client_tool" ]; then
  echo "skipped: no Linux build folder with bin/osl-service (scripts/windows --linux-build DIR)"
  exit 77
fi
dir=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
user=designer@example.org password='s3cret & <more>'
printf '\x89PNG\r\n\x1a\n not really a picture\n' >"$dir/photo.png"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# first_line FILE PATTERN: waits (10 s at most) for FILE's first line matching
# the sed expression PATTERN and prints what it captures.
first_line() {
  local got=
  for _ in $(seq 100); do
    got=$(sed -n "$2" "$1" | head -1)
    [ -n "$got" ] && break
    sleep 0.1
  done
  [ -n "$got" ] || fail "no line of $1 says where it listens: $(cat "$1")"
  echo "$got"
}

# run NAME CLIENT...: a fresh service and capture proxy, the settings file
# pointing at the proxy, then CLIENT PLUGIN FILE (paths as CLIENT takes them:
# PATHS=windows or linux). Requests go to $dir/NAME/requests, the client's
# output to $dir/NAME/out.
run() {
  local name=$1 paths=$2; shift 2
  local at=$dir/$name
  mkdir -p "$at/data" "$at/plugin" "$at/requests"
  "$linux/bin/osl-service" --listen 127.0.0.1:0 --data "$at/data" --user "$user" \
    --password "$password" >"$at/service.out" 2>&1 &
  pids+=($!)
  local port
  port=$(first_line "$at/service.out" 's/^listening on http:\/\/127\.0\.0\.1:\([0-9]*\)$/\1/p')
  python3 "$here/capture_proxy.py" serve "$port" "$at/requests" >"$at/proxy.out" 2>&1 &
  pids+=($!)
  local proxy
  proxy=$(first_line "$at/proxy.out" '1s/^\([0-9][0-9]*\)$/\1/p')
  printf 'server:http://127.0.0.1:%s\nuser:%s\npass:%s\n' "$proxy" "$user" "$password" \
    >"$at/plugin/Osl.cfg"
  local plugin=$at/plugin/Osl.pln file=$dir/photo.png
  if [ "$paths" = windows ]; then plugin=$(winpath "$plugin"); file=$(winpath "$file"); fi
  "$@" "$plugin" "$file" | tr -d '\r' >"$at/out" || fail "the $name client: $(cat "$at/out")"
  # The uploaded file reads back from the service as sent; the template is stored.
  local address
  address=$(sed -n 's/^upload: //p' "$at/out")
  case "$address" in
    http://127.0.0.1:"$port"/files/*/photo.png) ;;
    *) fail "the $name upload's address is not the service's: $address" ;;
  esac
  curl -sf "$address" -o "$at/read-back" || fail "the $name upload cannot be read back"
  cmp -s "$dir/photo.png" "$at/read-back" || fail "the $name upload changed on the way"
  "$linux/bin/osl-service" list --data "$at/data" 2>&1 | grep -q "Business card" ||
    fail "the $name service does not list the template"
}

run windows windows "$wine" "$tool"
cat "$dir/windows/out"
echo "ok: published from the Windows build to osl-service"
run linux linux "$linux/bin/osl_linux_client_tool"
python3 "$here/capture_proxy.py" normalize "$dir/windows/requests" >"$dir/windows.requests"
python3 "$here/capture_proxy.py" normalize "$dir/linux/requests" >"$dir/linux.requests"
[ "$(grep -c '^=== ' "$dir/windows.requests")" -ge 5 ] || fail "fewer requests than calls were captured"
diff -a -u "$dir/linux.requests" "$dir/windows.requests" | head -40 >"$dir/diff" || true
[ ! -s "$dir/diff" ] || fail "the Windows build's requests differ from the Linux build's:
$(cat "$dir/diff")"
echo "ok: the request bytes equal the Linux build's ($(grep -c '^=== ' "$dir/windows.requests") requests)"
