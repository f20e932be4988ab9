#!/usr/bin/env bash
# Reads every #include "..." of the project's sources and checks the
# layering:
#   host/        includes nothing but host/ itself
#   colour/      includes nothing but colour/ itself; the stand-in and the
#                service may include it (the colour conversion they share)
#   text/        includes nothing but text/ itself; every program may include it
#   schema/      includes nothing but schema/ itself and its generated code
#   plugin_base/ service_client/ model/ publish/ ui/ plugin/ (the plug-in)
#                include host/, text/, schema/ and its generated code, and of
#                the plug-in's folders only their own and lower ones, in the
#                order above: plugin_base/ is the ground floor every folder may
#                include, plugin/ the top that no other folder includes
#   standin/     includes host/, colour/, text/ and standin/ only, and inside standin/ a
#                folder includes only its own and lower folders:
#                core < alerts < document < fonts < pdf < selection <
#                scripting < ui < plugins < app < sdk < cli
#   refservice/  includes its own files, colour/, text/, schema/ and its generated code only
# Prints every include that breaks a rule and exits 1 when there is one.
set -u
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root" || exit 2

# The position of $2 in the array named $1; -1 when it is not there.
rank_in() {
  local -n order=$1
  local i
  for i in "${!order[@]}"; do
    [ "${order[$i]}" = "$2" ] && { echo "$i"; return; }
  done
  echo -1
}

plugin_order=(plugin_base service_client model publish ui plugin)

standin_order=(core alerts document fonts pdf selection scripting ui plugins app sdk cli)
rank_of() { rank_in standin_order "$1"; }

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
      # --- the plug-in's folders in order; the schema and the text library on their own ---
      schema | text)
        if [[ "$target" == */* && "$target" != "$top"/* ]]; then
          fail "$file" "$target" "$top/ includes nothing else of ours"
        fi
        ;;
      plugin_base | service_client | model | publish | ui | plugin)
        to=${target%%/*}
        if [[ "$target" =~ ^(host|text|schema)/ || "$target" =~ $generated ]]; then
          continue
        elif [ "$(rank_in plugin_order "$to")" -lt 0 ] || [[ "$target" != */* ]]; then
          fail "$file" "$target" "the plug-in includes host/, text/, schema/ and its own folders only"
        elif [ "$(rank_in plugin_order "$to")" -gt "$(rank_in plugin_order "$top")" ]; then
          fail "$file" "$target" "$top/ may include the plug-in's folders at or below its own: ${plugin_order[*]}"
        fi
        ;;
      # --- end of the plug-in's block ---
      standin)
        if [[ "$target" == host/* || "$target" == colour/* || "$target" == text/* ]]; then
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
          fail "$file" "$target" "standin/ includes host/, colour/, text/ and standin/ only"
        fi
        ;;
      refservice)
        if [[ ! "$target" =~ ^(refservice|colour|text|schema)/ && ! "$target" =~ $generated ]]; then
          fail "$file" "$target" "refservice/ includes its own files, colour/, text/ and the schema code only"
        fi
        ;;
    esac
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find host colour text plugin_base plugin model service_client schema publish ui standin refservice \
           \( -name '*.h' -o -name '*.cpp' -o -name '*.hpp' -o -name '*.cc' \) -print0 2>/dev/null)

if [ "$failures" -gt 0 ]; then
  echo "$failures include(s) break the layering"
  exit 1
fi
echo "layering: every include is allowed"
