#!/usr/bin/env bash
# Checks that every relative link and image of the README in DOC_DIR
# ([text](target), ![text](target), src="target", href="target"; code blocks
# and code spans are no links) names a file or folder that exists beside it,
# as installed. Prints the count checked.
# usage: scripts/check-readme-links.sh DOC_DIR
set -euo pipefail
doc=$1
[ -f "$doc/README.md" ] || { echo "no README.md in $doc"; exit 1; }
links=$(awk '/^```/ { fenced = !fenced; next } !fenced && !/^(    |\t)/' "$doc/README.md" \
  | sed -E 's/`[^`]*`//g' \
  | grep -oE '\]\([^)]+\)|(src|href)="[^"]+"' \
  | sed -E 's/^\]\((.*)\)$/\1/; s/^(src|href)="(.*)"$/\2/; s/[ ]+"[^"]*"$//; s/#.*//' || true)
checked=0
while read -r target; do
  case "$target" in '' | *://* | mailto:*) continue ;; esac
  [ -e "$doc/$target" ] || { echo "$doc/README.md links to $target, which is not there"; exit 1; }
  checked=$((checked + 1))
done <<<"$links"
# The README has images; none found means the extraction broke.
[ "$checked" -gt 0 ] || { echo "no relative link found in $doc/README.md"; exit 1; }
echo "$doc/README.md: $checked relative links resolve"
