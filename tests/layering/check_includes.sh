#!/usr/bin/env bash
# Reads every #include "..." of the project's sources and checks the
# layering:
#   host/        includes nothing but host/ itself
#   colour/      includes nothing but colour/ itself; the stand-in and the
#                service may include it (the colour conversion they share)
#   schema/      includes nothing but schema/ itself and its generated code
#   plugin/ model/ service_client/ publish/ ui/ (the plug-in)
#                include host/, each other, schema/ and its generated code
#   standin/     includes host/, colour/ and standin/ only, and inside standin/ a
#                folder includes only its own and lower folders:
#                core < alerts < document < fonts < pdf < selection <
#                scripting < ui < plugins < app < sdk < cli
#   refservice/  includes its own files, colour/, schema/ and its generated code only
# Prints every include that breaks a rule and exits 1 when there is one.
set -u
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root" || exit 2

standin_order=(core alerts document fonts pdf selection scripting ui plugins app sdk cli)
rank_of() {
  local i
  for i in "${!standin_order[@]}"; do
    [ "${standin_order[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

generated='^(osl_soapH|osl_soapStub|envH|envStub)\.h$'
failures=0
fail() {
  echo "$1: includes \"$2\" ($3)"
  failures=$((failures + 1))
}

while IFS= read -r -d '' file; do
  top=${file%%/*}
  while IFS= read -r target; do
    if [[ "$target" == *..* ]]; then
      fail "$file" "$target" "includes name files from the top of the tree"
      continue
    fi
    case "$top" in
      host)
        if [[ "$target" == */* && "$target" != host/* ]]; then
          fail "$file" "$target" "host/ includes nothing else of ours"
        fi
        ;;
      colour)
        if [[ "$target" == */* && "$target" != colour/* ]]; then
          fail "$file" "$target" "colour/ includes nothing else of ours"
        fi
        ;;
      # --- the schema shared by the service client and osl-service ---
      schema)
        if [[ "$target" == */* && "$target" != schema/* ]]; then
          fail "$file" "$target" "schema/ includes nothing else of ours"
        fi
        ;;
      # --- end of the schema block ---
      plugin_base | plugin | model | service_client | publish | ui)
        if [[ ! "$target" =~ ^(host|plugin_base|plugin|model|service_client|schema|publish|ui)/ && ! "$target" =~ $generated ]]; then
          fail "$file" "$target" "the plug-in includes host/ and its own folders only"
        fi
        ;;
      standin)
        if [[ "$target" == host/* || "$target" == colour/* ]]; then
          continue
        elif [[ "$target" == standin/* ]]; then
          from=$(echo "$file" | cut -d/ -f2)
          to=$(echo "$target" | cut -d/ -f2)
          from_rank=$(rank_of "$from")
          to_rank=$(rank_of "$to")
          if [ "$to_rank" -lt 0 ] || [ "$from_rank" -lt 0 ] || [ "$to_rank" -gt "$from_rank" ]; then
            fail "$file" "$target" "standin/$from may include standin/ folders at or below its own"
          fi
        else
          fail "$file" "$target" "standin/ includes host/, colour/ and standin/ only"
        fi
        ;;
      refservice)
        if [[ ! "$target" =~ ^(refservice|colour)/ && ! "$target" =~ ^schema/ && ! "$target" =~ $generated ]]; then
          fail "$file" "$target" "refservice/ includes its own files, colour/ and the schema code only"
        fi
        ;;
    esac
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find host colour plugin_base plugin model service_client schema publish ui standin refservice \
           \( -name '*.h' -o -name '*.cpp' -o -name '*.hpp' -o -name '*.cc' \) -print0 2>/dev/null)

if [ "$failures" -gt 0 ]; then
  echo "$failures include(s) break the layering"
  exit 1
fi
echo "layering: every include is allowed"
