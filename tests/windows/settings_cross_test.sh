#!/usr/bin/env bash
# The settings file crosses between the builds: written by the Windows build
# (under Wine) with CR LF line ends and read by the Linux build's `osl prefs`,
# and written by the Linux build and read by the Windows build.
#   settings_cross_test.sh WINE WINDOWS_SETTINGS_TOOL LINUX_BUILD_DIR
# Exit status 77 (skipped) when LINUX_BUILD_DIR holds no built osl.
set -euo pipefail
wine=$1 tool=$2 linux=$3
if [ -z "$linux" ] || [ ! -x "$linux/bin/osl" ] || [ ! -f "$linux/bin/Osl.pln" ]; then
  echo "skipped: no Linux build folder with bin/osl (scripts/windows --linux-build DIR)"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/win" "$dir/linux"
cp "$linux/bin/Osl.pln" "$dir/win/Osl.pln"
cp "$linux/bin/Osl.pln" "$dir/linux/Osl.pln"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
fail() { echo "FAILED: $*"; exit 1; }
expect_file() {  # FILE LINE_END then the expected lines
  local file=$1 end=$2; shift 2
  local want
  want=$(printf "%s$end" "$@"; printf x)
  local got
  got=$(cat "$file"; printf x)
  [ "$got" = "$want" ] || fail "$file holds:
$(od -c "$file" | head -20)"
}
config_lines() {  # SERVER USER PASSWORD
  printf '%s\n' "//begin config file" "//UploadURL:$1/fileUpload.aspx?sessionid=" \
    "//EndPoint:$1/services/templateMgr.svc" "//EndPointDoc:$1/services/builddoc.asmx" \
    "Server:$1" "user:$2" "pass:$3"
}

# Windows writes, Linux reads.
"$wine" "$tool" write "$(winpath "$dir/win/Osl.pln")" http://127.0.0.1:8080/osl alice 'p:w d' ||
  fail "the Windows build could not write its settings"
mapfile -t lines < <(config_lines http://127.0.0.1:8080/osl alice 'p:w d')
expect_file "$dir/win/Osl.cfg" '\r\n' "${lines[@]}"
shown=$("$linux/bin/osl" prefs --plugin "$dir/win/Osl.pln")
[ "$shown" = "server: http://127.0.0.1:8080/osl
user: alice
password: ********" ] || fail "the Linux build read: $shown"
# Saving only a new server keeps the user and password the Linux build read.
"$linux/bin/osl" prefs --plugin "$dir/win/Osl.pln" --server http://127.0.0.1:8081/osl >/dev/null
mapfile -t lines < <(config_lines http://127.0.0.1:8081/osl alice 'p:w d')
expect_file "$dir/win/Osl.cfg" '\n' "${lines[@]}"
echo "ok: written by the Windows build (CR LF), read by the Linux build"

# Linux writes, Windows reads.
"$linux/bin/osl" prefs --plugin "$dir/linux/Osl.pln" --server http://127.0.0.1:9090 --user bob \
  --password 'q r:s' >/dev/null
read_back=$("$wine" "$tool" read "$(winpath "$dir/linux/Osl.pln")" | tr -d '\r')
[ "$read_back" = "server=http://127.0.0.1:9090
user=bob
password=q r:s" ] || fail "the Windows build read: $read_back"
echo "ok: written by the Linux build, read by the Windows build"
