#!/usr/bin/env bash
# Every relative link in README.md and docs/*.md, inline or by reference, names a file that
# exists. Usage: doc_links.sh SOURCE_DIR
set -uo pipefail
status=0
checked=0
for doc in "$1"/README.md "$1"/docs/*.md; do
  while read -r target; do
    path=${target%%#*}
    [ -n "$path" ] || continue
    checked=$((checked + 1))
    [ -e "$(dirname "$doc")/$path" ] || { echo "${doc#"$1"/}: no such file: $path"; status=1; }
  done < <({ grep -o '\]([^)]*)' "$doc" | sed 's/^](//; s/)$//; s/ ".*"$//'
             grep -o '^\[[^]]*\]: *[^ ]*' "$doc" | sed 's/^[^:]*: *//'; } | grep -v '^[a-z]*:')
done
echo "$checked relative links checked"
exit $status
