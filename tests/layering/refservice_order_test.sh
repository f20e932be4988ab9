#!/usr/bin/env bash
# Proves that check_includes.sh keeps refservice/'s rooms in order: a copy of
# refservice/ passes as it is; with each include below added to its file of the
# copy, the check fails and names exactly those includes.
set -u
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
check="$root/tests/layering/check_includes.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/refservice" "$work/refservice"

if ! bash "$check" "$work" >"$work/out" 2>&1; then
  echo "FAIL: the copy of refservice/ should pass as it is:"
  cat "$work/out"
  exit 1
fi

# file that gets the include | the include
cases=(
  "refservice/common/sha256.h|refservice/storage/store.h"
  "refservice/storage/file_system.h|refservice/http/http_message.h"
  "refservice/uploads/upload_exchange.cpp|refservice/app/service_app.h"
  "refservice/render/template_bundle.cpp|refservice/soap/soap_endpoint.h"
  "refservice/soap/soap_endpoint.h|refservice/web/web_app.h"
  "refservice/app/service_app.cpp|refservice/commands/data_report.h"
  "refservice/commands/data_report.cpp|refservice/main.cpp"
  "refservice/loose.cpp|refservice/common/sha256.h"
  "refservice/misc/thing.cpp|refservice/common/sha256.h"
  "refservice/web/web_app.cpp|refservice/misc/thing.h"
)
for case in "${cases[@]}"; do
  file=${case%%|*}
  mkdir -p "$(dirname "$work/$file")"
  printf '#include "%s"\n' "${case#*|}" >>"$work/$file"
done
bash "$check" "$work" >"$work/out" 2>&1 && { echo "FAIL: the broken orders passed the check"; exit 1; }
failures=0
for case in "${cases[@]}"; do
  file=${case%%|*}
  target=${case#*|}
  if ! grep -qF "$file: includes \"$target\"" "$work/out"; then
    echo "FAIL: $file including $target was not refused"
    failures=$((failures + 1))
  fi
done
if [ "$(grep -c ': includes ' "$work/out")" -ne "${#cases[@]}" ]; then
  echo "FAIL: the check refused more than the broken includes:"
  cat "$work/out"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "refservice order: ${#cases[@]} broken orders refused"
