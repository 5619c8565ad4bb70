#!/usr/bin/env bash
# Includes point down the layers: base, then input, then notes, then the driver, then the public
# functions (api); the front ends (cli, web) see only the public headers and their own. Of the public headers,
# the layers below api may use the vocabulary of messages (pn2tavix/message.h) alone.
# Usage: layers_test.sh SOURCE_DIR
set -u
src=$1
layers=(base input notes driver api)
failed=0
checked=0
while IFS= read -r -d '' file; do
  layer=$(basename "$(dirname "$file")")
  allowed=()
  case $layer in
    cli | web) allowed=(pn2tavix "$layer") ;;
    # Until the conversion builds the timeline itself, api reads it back with the tests' reader.
    api) allowed=("${layers[@]}" support) ;;
    *)
      for l in "${layers[@]}"; do
        allowed+=("$l")
        [ "$l" = "$layer" ] && break
      done
      ;;
  esac
  while IFS= read -r included; do
    checked=$((checked + 1))
    top=${included%%/*}
    ok=0
    if [ "$top" = pn2tavix ]; then
      # Every layer may use the vocabulary of messages; the rest is for api and the front ends.
      case $layer in api | cli | web) ok=1 ;; *) [ "$included" = pn2tavix/message.h ] && ok=1 ;; esac
    else
      for a in "${allowed[@]}"; do [ "$top" = "$a" ] && ok=1; done
    fi
    if [ $ok -eq 0 ]; then
      echo "FAIL: ${file#"$src"/} ($layer) includes $included"
      failed=$((failed + 1))
    fi
  done < <(sed -nE 's/^#include "([^"]+)".*/\1/p' "$file")
done < <(find "$src" -name '*.h' -print0 -o -name '*.cc' -print0)
echo "$checked includes, $failed climbing"
[ "$checked" -gt 0 ] && [ "$failed" -eq 0 ]
