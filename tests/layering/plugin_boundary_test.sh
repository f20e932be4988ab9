#!/usr/bin/env bash
# Proves that check_includes.sh refuses what the plug-in's boundary, the
# shared text library and the shared image decoder forbid: each case builds a small tree with one
# include, runs the check on it and expects it to pass or to fail naming
# that file. Exits 1 when any case comes out otherwise.
set -u
check="$(cd "$(dirname "$0")" && pwd)/check_includes.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# expect ok|broken FILE INCLUDE
expect() {
  local want=$1 file=$2 include=$3 root out status
  root=$(mktemp -d "$tmp/case.XXXXXX")
  mkdir -p "$root/$(dirname "$file")"
  printf '#include "%s"\n' "$include" >"$root/$file"
  out=$(bash "$check" "$root" 2>&1)
  status=$?
  if [ "$want" = ok ] && [ "$status" -ne 0 ]; then
    echo "FAIL: $file including $include was refused: $out"
    failures=$((failures + 1))
  elif [ "$want" = broken ] && { [ "$status" -ne 1 ] || [[ "$out" != *"$file: includes \"$include\""* ]]; }; then
    echo "FAIL: $file including $include was allowed: $out"
    failures=$((failures + 1))
  fi
}

# The ground floor and the rooms above it.
expect ok     ui/a.cpp            plugin_base/osl_id.h
expect ok     plugin/a.cpp        ui/stored_text.h
expect ok     publish/a.cpp       service_client/plugin_data.h
expect broken plugin_base/a.cpp   plugin/plugin_entry.h
expect broken plugin_base/a.cpp   model/tag_map.h
expect broken model/a.cpp         plugin/action_component.h
expect broken ui/a.cpp            plugin/publish_actions.h
expect broken publish/a.cpp       ui/stored_text.h
expect broken service_client/a.h  model/tag_map.h
expect broken model/a.cpp         standin/core/utf8.h
# The schema is a room of its own: the client and the service include it,
# it includes neither.
expect ok     service_client/a.h  schema/soap_namespaces.h
expect ok     refservice/a.cpp    schema/soap_namespaces.h
expect broken schema/a.cpp        service_client/soap_context.h
expect broken refservice/a.cpp    service_client/soap_context.h
# The text library: everybody's, and nobody's dependant.
expect ok     publish/a.cpp       text/number_text.h
expect ok     standin/core/a.cpp  text/ascii_case.h
expect ok     refservice/a.cpp    text/printable_text.h
expect broken text/a.cpp          colour/cmyk_conversion.h
expect broken text/a.cpp          host/PMString.h
# The image decoder: the stand-in's and the service's, and nobody's dependant.
expect ok     standin/pdf/a.cpp   imaging/image_decoder.h
expect ok     refservice/render/a.cpp imaging/image_decoder.h
expect broken plugin/a.cpp        imaging/image_decoder.h
expect broken host/a.h            imaging/image_decoder.h
expect broken imaging/a.cpp       colour/cmyk_conversion.h
expect broken imaging/a.h         text/ascii_case.h
expect broken imaging/a.cpp       standin/core/file_system.h
expect broken imaging/a.cpp       refservice/render/field_values.h

if [ "$failures" -gt 0 ]; then
  echo "$failures case(s) came out wrong"
  exit 1
fi
echo "plug-in boundary: every case came out as expected"
