#!/usr/bin/env bash
# A program's manual page names every option its --help lists, so the page cannot fall
# behind the program.
# Usage: manual_options_test.sh PROGRAM MANUAL_SOURCE
set -euo pipefail
program=$1
manual=$2

options=$("$program" --help | grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u)
[ -n "$options" ] || { echo "FAIL: $program --help lists no options" >&2; exit 1; }
missing=0
for option in $options; do
  grep -qF -- "*$option*" "$manual" || { echo "FAIL: $manual does not name $option" >&2; missing=1; }
done
[ "$missing" -eq 0 ] && echo "$(basename "$manual") names all $(echo $options | wc -w) options of $(basename "$program")"
