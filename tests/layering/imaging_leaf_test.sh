#!/usr/bin/env bash
# Proves that check_includes.sh keeps imaging/ a leaf the stand-in and the
# service share: a copy of imaging/ with a stand-in and a service file that
# include it passes; with each include below added to its file of the copy, the
# check fails and names exactly those includes.
set -u
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
check="$root/tests/layering/check_includes.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/imaging" "$work/imaging"
mkdir -p "$work/standin/pdf" "$work/refservice/render" "$work/plugin" "$work/host"
echo '#include "imaging/image_decoder.h"' >"$work/standin/pdf/loader.cpp"
echo '#include "imaging/image_decoder.h"' >"$work/refservice/render/drawing.cpp"

if ! bash "$check" "$work" >"$work/out" 2>&1; then
  echo "FAIL: imaging/ and its two users should pass as they are:"
  cat "$work/out"
  exit 1
fi

# file that gets the include | the include
cases=(
  "imaging/image_decoder.cpp|colour/cmyk_conversion.h"
  "imaging/image_decoder.h|text/ascii_case.h"
  "imaging/image_decoder.cpp|standin/core/file_system.h"
  "imaging/image_decoder.cpp|refservice/render/field_values.h"
  "plugin/thing.cpp|imaging/image_decoder.h"
  "host/thing.h|imaging/image_decoder.h"
)
for case in "${cases[@]}"; do
  printf '#include "%s"\n' "${case#*|}" >>"$work/${case%%|*}"
done
bash "$check" "$work" >"$work/out" 2>&1 && { echo "FAIL: the broken includes passed the check"; exit 1; }
failures=0
for case in "${cases[@]}"; do
  if ! grep -qF "${case%%|*}: includes \"${case#*|}\"" "$work/out"; then
    echo "FAIL: ${case%%|*} including ${case#*|} was not refused"
    failures=$((failures + 1))
  fi
done
if [ "$(grep -c ': includes ' "$work/out")" -ne "${#cases[@]}" ]; then
  echo "FAIL: the check refused more than the broken includes:"
  cat "$work/out"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "imaging leaf: ${#cases[@]} broken includes refused"
