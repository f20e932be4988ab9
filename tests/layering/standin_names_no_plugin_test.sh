#!/usr/bin/env bash
# The layering check refuses a stand-in that names the plug-in: on a copy of
# host/, standin/ and the plug-in's resource declarations it passes, and
# once plug-in identifiers, a string key, the tag separator and a plug-in
# include are seeded into the copy (one per file) it fails, naming each of
# them, while a number outside the plug-in's range stays allowed.
set -u
src=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
check="$src/tests/layering/check_includes.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/plugin/resources"
cp -r "$src/host" "$src/standin" "$tmp/"
cp "$src/plugin/resources/osl.json" "$tmp/plugin/resources/"

failures=0
if ! out=$(bash "$check" "$tmp"); then
  echo "the clean copy is refused:"
  echo "$out"
  exit 1
fi

# File -> seeded line -> the message the check must give for that file.
seeds=(
  "standin/cli/main.cpp|constexpr ActionID kPublish = 0x199E03;|names the plug-in"
  "standin/app/menu.cpp|constexpr WidgetID kBox = 0x199e1b;|names the plug-in"
  "standin/ui/views.cpp|const char* kKey = \"0x199e00kOslTypeKeyBox\";|names the plug-in"
  "standin/core/utf8.cpp|const size_t end = tag.find(\"|||\");|names the plug-in"
  "standin/pdf/pdf_writer.cpp|#include \"model/tag_map.h\"|standin/ includes host/, colour/, imaging/, text/ and standin/ only"
)
for seed in "${seeds[@]}"; do
  file=${seed%%|*}
  rest=${seed#*|}
  echo "${rest%|*}" >>"$tmp/$file"
done
echo 'constexpr int kOther = 0x199F05;' >>"$tmp/standin/app/host.cpp"

out=$(bash "$check" "$tmp")
rc=$?
[ "$rc" -eq 1 ] || { echo "the seeded copy passes (exit $rc)"; failures=$((failures + 1)); }
for seed in "${seeds[@]}"; do
  file=${seed%%|*}
  message=${seed##*|}
  if ! grep -F "$file" <<<"$out" | grep -qF "$message"; then
    echo "not refused with \"$message\": $file"
    failures=$((failures + 1))
  fi
done
if grep -qF "standin/app/host.cpp" <<<"$out"; then
  echo "a number outside the plug-in's range is refused"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || { echo "$out"; exit 1; }
echo "the stand-in check refuses every seeded plug-in name"
