#!/usr/bin/env bash
# The product's folders form layers; a file may include headers of its own layer and of the layers
# below it, never above. Prints every include that breaks the rule.
#   render <- ax25 <- aprs <- capture <- filter <- commands <- gencapture, live, framelist <- qt <- cli, ui <- app
set -euo pipefail
root=${1:-.}
declare -A rank=([render]=0 [ax25]=1 [aprs]=2 [capture]=3 [filter]=4 [commands]=5 [gencapture]=6 [live]=6 [framelist]=6 [qt]=7 [cli]=8 [ui]=8 [app]=9)
status=0
for dir in "${!rank[@]}"; do
  [ -d "$root/$dir" ] || continue
  while IFS=: read -r file line include; do
    target=${include#*\"}
    target=${target%%/*}
    [ -n "${rank[$target]+set}" ] || continue
    if [ "${rank[$target]}" -gt "${rank[$dir]}" ] ||
       { [ "${rank[$target]}" -eq "${rank[$dir]}" ] && [ "$target" != "$dir" ]; }; then
      echo "layering: ${file#"$root"/}:$line includes $target/ (layer $dir may use only lower layers)"
      status=1
    fi
  done < <(grep -Hn '^#include "' "$root/$dir"/*.h "$root/$dir"/*.cpp 2>/dev/null || true)
done
[ $status -eq 0 ] && echo "layering: every include points to the same or a lower layer"
exit $status
