#!/usr/bin/env bash
# The Windows build's service client over https (the cross-built OpenSSL on
# Winsock, under Wine) against the Linux build's osl-service with a
# throw-away certificate for 127.0.0.1: with SSL_CERT_FILE naming the
# authority that signed it, the publish goes through; with another
# authority's certificate, or none, the first call fails and nothing is stored.
#   client_tls_test.sh WINE WINDOWS_CLIENT_TOOL LINUX_BUILD_DIR
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
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Two authorities; the service's certificate (127.0.0.1) is signed by the first.
for ca in trusted other; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Test $ca authority" \
    -keyout "$dir/$ca.key" -out "$dir/$ca.pem" 2>/dev/null
done
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$dir/server.key" \
  -out "$dir/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' >"$dir/san.ext"
openssl x509 -req -in "$dir/server.csr" -CA "$dir/trusted.pem" -CAkey "$dir/trusted.key" \
  -CAcreateserial -days 2 -extfile "$dir/san.ext" -out "$dir/server.pem" 2>/dev/null

mkdir "$dir/data" "$dir/plugin"
user=designer@example.org password=secret
"$linux/bin/osl-service" --listen 127.0.0.1:0 --data "$dir/data" --user "$user" \
  --password "$password" --tls-cert "$dir/server.pem" --tls-key "$dir/server.key" \
  >"$dir/service.out" 2>&1 &
service=$!
base=
for _ in $(seq 100); do
  base=$(sed -n 's/^listening on \(https:\/\/127\.0\.0\.1:[0-9]*\)$/\1/p' "$dir/service.out")
  [ -n "$base" ] && break
  sleep 0.1
done
[ -n "$base" ] || fail "osl-service did not start over TLS: $(cat "$dir/service.out")"
printf 'server:%s\nuser:%s\npass:%s\n' "$base" "$user" "$password" >"$dir/plugin/Osl.cfg"
printf 'picture\n' >"$dir/photo.png"
client() {  # SSL_CERT_FILE value (empty: unset)
  if [ -n "$1" ]; then
    SSL_CERT_FILE=$1 "$wine" "$tool" "$(winpath "$dir/plugin/Osl.pln")" "$(winpath "$dir/photo.png")"
  else
    env -u SSL_CERT_FILE -u SSL_CERT_DIR "$wine" "$tool" "$(winpath "$dir/plugin/Osl.pln")" \
      "$(winpath "$dir/photo.png")"
  fi
}

for refused in "$(winpath "$dir/other.pem")" ""; do
  if out=$(client "$refused" 2>&1 | tr -d '\r'); then
    fail "the client trusted the service with SSL_CERT_FILE=${refused:-(unset)}: $out"
  fi
  case "$out" in
    "FAILED: getLibraryTemplates"*) ;;
    *) fail "with SSL_CERT_FILE=${refused:-(unset)} the client did not fail at its first call: $out" ;;
  esac
done
echo "ok: refused without the authority's certificate"
out=$(client "$(winpath "$dir/trusted.pem")" 2>&1 | tr -d '\r') || fail "over https: $out"
case "$out" in
  *"upload: https://127.0.0.1:"*"/photo.png"*) ;;
  *) fail "over https: $out" ;;
esac
echo "ok: published over https with SSL_CERT_FILE naming the authority"
