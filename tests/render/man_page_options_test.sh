#!/usr/bin/env bash
# Every option that velmora-render --help lists has an entry of its own in the man page's
# option list, so that a new option without its man page entry fails here.
# Usage: man_page_options_test.sh VELMORA_RENDER MAN_PAGE
set -euo pipefail
program=$1
page=$2

usage=$("$program" --help)
mapfile -t options < <(grep -oE -- '(^|[[:space:][(|])--?[A-Za-z][A-Za-z0-9-]*' <<<"$usage" |
  sed -E 's/^[[:space:][(|]+//' | sort -u)
[ ${#options[@]} -gt 0 ] || { echo "velmora-render --help lists no options"; exit 1; }

# The entries' tags are the lines after each .TP; roff's \- is a plain hyphen there.
tags=$(awk 'previous == ".TP" { print } { previous = $1 }' "$page" | sed -E 's/\\-/-/g; s/\\f[BIRP]//g')
missing=0
for option in "${options[@]}"; do
  if ! grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|$)" <<<"$tags"; then
    echo "velmora-render --help lists $option, but $(basename "$page") has no entry for it"
    missing=1
  fi
done
[ $missing -eq 0 ] && echo "All ${#options[@]} options of --help have an entry in $(basename "$page"): ${options[*]}"
exit $missing
