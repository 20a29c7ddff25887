#!/usr/bin/env bash
# Every header's include guard names its file: PACKSCOPE_ and the path from the source root,
# upper case, with _ for / and . (capture/frame_loop.h: PACKSCOPE_CAPTURE_FRAME_LOOP_H_), in its
# #ifndef, #define and #endif comment. A guard left with an old folder's name clashes with the
# header that takes that name later. Prints every header that breaks the rule.
set -euo pipefail
root=${1:-.}
status=0
while IFS= read -r file; do
  path=${file#"$root"/}
  guard=PACKSCOPE_$(tr 'a-z/.' 'A-Z__' <<<"$path")_
  if ! grep -q "^#ifndef $guard\$" "$file" || ! grep -q "^#define $guard\$" "$file" ||
     ! grep -q "^#endif  // $guard\$" "$file"; then
    echo "header guard: $path does not use $guard"
    status=1
  fi
done < <(find "$root" -name '*.h' -not -path "$root/build*" -not -path "$root/.git/*" | sort)
[ $status -eq 0 ] && echo "header guard: every header's guard names its file"
exit $status
