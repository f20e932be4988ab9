#!/usr/bin/env bash
# The layering check refuses a stand-in that names the plug-in: on a copy of
# host/, standin/ and the plug-in's resource declarations it passes, and it
# fails, naming the line, once one plug-in identifier, string key, tag
# separator or plug-in include is seeded into the copy.
set -u
src=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
check="$src/tests/layering/check_includes.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/plugin/resources"
cp -r "$src/host" "$src/standin" "$tmp/"
cp "$src/plugin/resources/osl.json" "$tmp/plugin/resources/"
target="$tmp/standin/cli/main.cpp"
cp "$target" "$tmp/clean.cpp"

failures=0
if ! out=$(bash "$check" "$tmp"); then
  echo "the clean copy is refused:"
  echo "$out"
  failures=1
fi
# seed LINE MESSAGE: LINE appended to a source must fail the check with MESSAGE.
seed() {
  cp "$tmp/clean.cpp" "$target"
  echo "$1" >>"$target"
  local out rc
  out=$(bash "$check" "$tmp")
  rc=$?
  if [ "$rc" -ne 1 ] || ! grep -qF "standin/cli/main.cpp" <<<"$out" || ! grep -qF "$2" <<<"$out"; then
    echo "not refused with \"$2\": $1 (exit $rc)"
    echo "$out"
    failures=$((failures + 1))
  fi
}
seed 'constexpr ActionID kPublish = 0x199E03;' 'names the plug-in'
seed 'constexpr WidgetID kBox = 0x199e1b;' 'names the plug-in'
seed 'const char* kKey = "0x199e00kOslTypeKeyBox";' 'names the plug-in'
seed 'const size_t end = tag.find("|||");' 'names the plug-in'
seed '#include "model/tag_map.h"' 'standin/ includes host/, colour/ and standin/ only'
cp "$tmp/clean.cpp" "$target"
# A number outside the plug-in's range is the host's own business.
echo 'constexpr int kOther = 0x199F05;' >>"$target"
bash "$check" "$tmp" >/dev/null || { echo "a number outside the range is refused"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "the stand-in check refuses every seeded plug-in name"
exit $((failures > 0))
