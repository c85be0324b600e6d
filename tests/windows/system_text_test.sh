#!/usr/bin/env bash
# System texts outside the ANSI code page reach vqxctl.exe whole, and the unit's bytes stay
# Latin-1. Wine hands a program its argv in its own code page, where Greek and Japanese
# turn into '?': the names below are found only through the wide command line and the
# wide environment.
#   - a profile folder (USERPROFILE) named in Latin-1, Greek and Japanese: the history help
#     names the preferences file in it;
#   - a preferences file in a Japanese folder, an import from and an export to files with
#     Greek names;
#   - a History name with an accent: one Latin-1 byte in the file, the same byte back on
#     list, the same text in the export;
#   - vqxctl.exe's manifest asks for the UTF-8 code page.
# Usage: system_text_test.sh WINE VQXCTL_EXE EMPTY_PREFS_FILE
set -euo pipefail
wine=$1 vqxctl=$2 sample=$3
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
wineserver -p2 </dev/null >/dev/null 2>&1 || true

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL $*" >&2; failed=1; }

home="$work/Técnico Σοφία 設定"
folder="$home/設定"
mkdir -p "$folder"
cp "$sample" "$folder/VQXSU_Prefs.cfg"
printf '[{"name": "T\xc3\xa9cnico", "ipAddress": "10.0.0.6"}]' >"$folder/Ωmega.json"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The profile folder: the environment as Windows keeps it, in UTF-16. Wine sets its own
# USERPROFILE at a program started from Linux, so a cmd started here sets it for vqxctl.exe.
help=$(cd "$work" && "$wine" cmd /c "set USERPROFILE=$(winpath "$home")& $(winpath "$vqxctl") history list --help" 2>&1) ||
  fail "history list --help ended with $?"
want="started from the desktop menu:  $(winpath "$home")\\VQXSU_Prefs.cfg"
grep -qF -- "$want" <<<"$help" || fail "the help does not name the profile folder's file: $help"

# The preferences file and the import in folders and files named outside the code page.
out=$(cd "$home" && "$wine" "$vqxctl" history import "設定/Ωmega.json" --prefs "設定/VQXSU_Prefs.cfg" 2>&1) ||
  fail "history import ended with $?: $out"
# The name is the unit's kind of text: one Latin-1 byte for the accent in the file.
LC_ALL=C grep -qa $'T\xe9cnico\x00' "$folder/VQXSU_Prefs.cfg" || fail "the file does not hold the name in Latin-1"
LC_ALL=C grep -qa $'T\xc3\xa9cnico' "$folder/VQXSU_Prefs.cfg" && fail "the file holds the name in UTF-8"
out=$(cd "$home" && "$wine" "$vqxctl" history list --prefs "設定/VQXSU_Prefs.cfg" 2>&1) ||
  fail "history list ended with $?: $out"
# vqxctl shows the unit's bytes as they are, the accent as its one Latin-1 byte.
LC_ALL=C grep -qaF $'T\xe9cnico (10.0.0.6' <<<"$out" || fail "history list does not show the name back: $out"

out=$(cd "$home" && "$wine" "$vqxctl" history export --prefs "設定/VQXSU_Prefs.cfg" --output "設定/Σοφία 導出.json" 2>&1) ||
  fail "history export ended with $?: $out"
[ -f "$folder/Σοφία 導出.json" ] || fail "the export is not under its Greek and Japanese name: $(ls "$folder")"
grep -qE 'T(é|\\u00e9)cnico' "$folder/Σοφία 導出.json" 2>/dev/null || fail "the export does not hold the name"

grep -qa 'activeCodePage.*UTF-8' "$vqxctl" || fail "vqxctl.exe's manifest does not set the UTF-8 code page"

[ "$failed" -eq 0 ] && echo "system texts outside the code page: found, stored and shown back"
exit "$failed"
