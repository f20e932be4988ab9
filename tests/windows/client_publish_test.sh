#!/usr/bin/env bash
# The Windows build's service client (under Wine) publishing to the Linux
# build's osl-service on 127.0.0.1: getLibraryTemplates, setTemplate,
# setFields and a file upload, read back from the service.
#   client_publish_test.sh WINE WINDOWS_CLIENT_TOOL LINUX_BUILD_DIR
# Exit status 77 (skipped) when LINUX_BUILD_DIR holds no built osl-service.
set -euo pipefail
wine=$1 tool=$2 linux=$3
if [ -z "$linux" ] || [ ! -x "$linux/bin/osl-service" ]; then
  echo "skipped: no Linux build folder with bin/osl-service (scripts/windows --linux-build DIR)"
  exit 77
fi
dir=$(mktemp -d)
service=
cleanup() {
  if [ -n "$service" ]; then kill "$service" 2>/dev/null || true; wait "$service" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
mkdir "$dir/data" "$dir/plugin"
user=designer@example.org password='s3cret & <more>'
"$linux/bin/osl-service" --listen 127.0.0.1:0 --data "$dir/data" --user "$user" \
  --password "$password" >"$dir/service.out" 2>"$dir/service.err" &
service=$!
base=
for _ in $(seq 100); do
  base=$(sed -n 's/^listening on \(http:\/\/127\.0\.0\.1:[0-9]*\)$/\1/p' "$dir/service.out")
  [ -n "$base" ] && break
  kill -0 "$service" 2>/dev/null || fail "osl-service did not start: $(cat "$dir/service.err")"
  sleep 0.1
done
[ -n "$base" ] || fail "osl-service did not say where it listens"
printf 'server:%s\nuser:%s\npass:%s\n' "$base" "$user" "$password" >"$dir/plugin/Osl.cfg"
printf '\x89PNG\r\n\x1a\n not really a picture\n' >"$dir/photo.png"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

out=$("$wine" "$tool" "$(winpath "$dir/plugin/Osl.pln")" "$(winpath "$dir/photo.png")" | tr -d '\r') ||
  fail "the Windows client: $out"
echo "$out"
address=$(printf '%s\n' "$out" | sed -n 's/^upload: //p')
case "$address" in
  "$base"/files/*/photo.png) ;;
  *) fail "the upload's address is not the service's: $address" ;;
esac
# The service keeps the uploaded bytes as sent.
curl -sf "$address" -o "$dir/read-back" || fail "the uploaded file cannot be read back"
cmp -s "$dir/photo.png" "$dir/read-back" || fail "the uploaded file changed on the way"
# And the template with its two fields, in its own store.
shown=$("$linux/bin/osl-service" list --data "$dir/data" 2>&1 || true)
case "$shown" in
  *"Business card"*) ;;
  *) fail "the service does not list the template: $shown" ;;
esac
echo "ok: published from the Windows build to osl-service"
