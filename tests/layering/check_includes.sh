#!/usr/bin/env bash
# Reads every #include "..." of the project's sources and checks the
# layering:
#   host/        includes nothing but host/ itself
#   colour/      includes nothing but colour/ itself; the stand-in and the
#                service may include it (the colour conversion they share)
#   imaging/     includes nothing but imaging/ itself; the stand-in and the
#                service may include it (the PNG and JPEG decoder they share)
#   text/        includes nothing but text/ itself; every program may include it
#   schema/      includes nothing but schema/ itself and its generated code
#   plugin_base/ service_client/ model/ publish/ ui/ plugin/ (the plug-in)
#                include host/, text/, schema/ and its generated code, and of
#                the plug-in's folders only their own and lower ones, in the
#                order above: plugin_base/ is the ground floor every folder may
#                include, plugin/ the top that no other folder includes
#   standin/     includes host/, colour/, imaging/, text/ and standin/ only,
#                and inside standin/ a folder includes only its own and lower
#                folders:
#                core < alerts < document < fonts < pdf < selection <
#                scripting < ui < plugins < app < sdk < cli
#   refservice/  includes its own files, colour/, imaging/, text/, schema/ and
#                its generated code only, and inside refservice/ a room includes only its own and lower rooms:
#                common < storage < http < accounts < uploads < templates <
#                render < merge < soap < web < app < commands < main.cpp
#                (main.cpp is the only file at refservice/'s top)
# and that standin/ names no identifier of the plug-in (block below).
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

# --- refservice/: the order of its rooms ------------------------------------
refservice_order=(common storage http accounts uploads templates render merge soap web app commands)
# The rank of the room a refservice/ path lies in; main.cpp, the only file at
# the top, ranks above every room. -1 for a file at the top other than
# main.cpp and for a room missing from the order.
refservice_rank_of() {
  local path=${1#refservice/} i
  if [[ "$path" != */* ]]; then
    [ "$path" = main.cpp ] && echo "${#refservice_order[@]}" || echo -1
    return
  fi
  for i in "${!refservice_order[@]}"; do
    [ "${refservice_order[$i]}" = "${path%%/*}" ] && { echo "$i"; return; }
  done
  echo -1
}
check_refservice_order() {
  local file=$1 target=$2 from to
  from=$(refservice_rank_of "$file")
  to=$(refservice_rank_of "$target")
  if [ "$from" -lt 0 ]; then
    fail "$file" "$target" "refservice/ keeps its files in the rooms ${refservice_order[*]} (and main.cpp)"
  elif [ "$to" -lt 0 ] || [ "$to" -gt "$from" ]; then
    fail "$file" "$target" "a refservice/ room includes only its own and lower rooms: ${refservice_order[*]}"
  fi
}
# -----------------------------------------------------------------------------

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
      # --- imaging/: the image decoder the stand-in and the service share ---
      imaging)
        if [[ "$target" == */* && "$target" != imaging/* ]]; then
          fail "$file" "$target" "imaging/ includes nothing else of ours"
        fi
        ;;
      # --- end of imaging/ ---
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
        if [[ "$target" =~ ^(host|colour|imaging|text)/ ]]; then
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
          fail "$file" "$target" "standin/ includes host/, colour/, imaging/, text/ and standin/ only"
        fi
        ;;
      refservice)
        if [[ ! "$target" =~ ^(refservice|colour|imaging|text|schema)/ && ! "$target" =~ $generated ]]; then
          fail "$file" "$target" "refservice/ includes its own files, colour/, imaging/, text/ and the schema code only"
        elif [[ "$target" == refservice/* ]]; then
          check_refservice_order "$file" "$target"
        fi
        ;;
    esac
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find host colour imaging text plugin_base plugin model service_client schema publish ui standin refservice \
           \( -name '*.h' -o -name '*.cpp' -o -name '*.hpp' -o -name '*.cc' \) -print0 2>/dev/null)

# ---- the stand-in knows no plug-in -----------------------------------------
# A host reaches a plug-in's actions, views and widgets by the names its
# resources declare, and shows its tags as the plug-in reads them. So no
# source of standin/ writes a number of the plug-in's identifier range (the
# plug-in "id" of plugin/resources/osl.json without its last byte, as in
# 0x1A2B00 -> 0x1A2Bxx, which covers its actions, widgets and string keys) or
# the "|||" that separates the entries of the plug-in's field tags. (Its
# headers are refused above: standin/ includes host/, colour/, imaging/, text/ and standin/.)
check_standin_names_no_plugin() {
  local id prefix hit rest
  id=$(sed -n 's/.*"plugin"[[:space:]]*:[[:space:]]*{[[:space:]]*"id"[[:space:]]*:[[:space:]]*"\(0x[0-9A-Fa-f]*\)".*/\1/p' \
         plugin/resources/osl.json 2>/dev/null | head -n 1)
  [ ${#id} -eq 8 ] && prefix=${id:0:6} || prefix=
  while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    rest=${hit#*:}
    echo "${hit%%:*}:${rest%%:*}: names the plug-in (${rest#*:})"
    failures=$((failures + 1))
  done < <(
    {
      [ -n "$prefix" ] && grep -rnIi -e "${prefix}[0-9a-f][0-9a-f]" standin
      grep -rnIF -e '|||' standin
    } 2>/dev/null | cut -c1-200
  )
}
check_standin_names_no_plugin
# ---- end of: the stand-in knows no plug-in ---------------------------------

if [ "$failures" -gt 0 ]; then
  echo "$failures include(s) break the layering"
  exit 1
fi
echo "layering: every include is allowed"
