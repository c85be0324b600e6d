#!/usr/bin/env bash
# Makes the Windows installer and .zip with CPack from the finished Windows build, installs
# silently (/S, vqxctl on the current user's PATH) into a Wine prefix of its own, checks
# the files, the Start menu shortcut, the Apps & Features entry and PATH, runs the
# installed vqxctl.exe, installs once more over it (silent default: no PATH entry, and
# the user's PATH value the first install created is gone again), once more for all
# users beside a user PATH of the user's own that names the folder, then runs the registered quiet uninstall
# and checks that the prefix holds nothing of the program any more and both PATH values
# are as before. VQX_KEEP=1 keeps the prefix for a look.
# Usage: windows_installer_test.sh <windows build dir> <version>
set -euo pipefail
build=$1 version=$2

fail() { echo "FAIL: $*" >&2; exit 1; }

tmp=$(mktemp -d)
export WINEPREFIX=$tmp/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "${VQX_KEEP:-}" ] && echo "kept $tmp" >&2 || rm -rf "$tmp"
}
trap cleanup EXIT

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 \
  || { cat "$tmp/cpack.log"; fail "cpack failed"; }
installer=$tmp/out/vqx-setup-$version-win64.exe
zip=$tmp/out/vqx-setup-$version-win64.zip
[ -f "$installer" ] || fail "no $(basename "$installer") in: $(ls "$tmp/out")"
[ -f "$zip" ] || fail "no $(basename "$zip") in: $(ls "$tmp/out")"

# The portable .zip: the two programs, the readme, the licence and the manual, nothing else.
zip_files=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
expected="vqx-setup-$version-win64/LICENSE.txt
vqx-setup-$version-win64/README.txt
vqx-setup-$version-win64/bin/vqxctl.exe
vqx-setup-$version-win64/bin/vqxsu.exe
vqx-setup-$version-win64/doc/vqxctl.txt
vqx-setup-$version-win64/doc/vqxsu.txt"
[ "$zip_files" = "$expected" ] || fail "the .zip holds: $zip_files"
# Texts for Notepad: Windows line ends on every line, nothing left unfilled.
for text in LICENSE.txt README.txt doc/vqxctl.txt doc/vqxsu.txt; do
  unzip -p "$zip" "vqx-setup-$version-win64/$text" >"$tmp/text"
  [ -s "$tmp/text" ] || fail "$text in the .zip is empty"
  [ "$(grep -c $'\r$' "$tmp/text")" = "$(wc -l <"$tmp/text")" ] || fail "$text in the .zip has lines without a Windows line end"
  grep -q '@[A-Z_]*@' "$tmp/text" && fail "$text in the .zip holds an unfilled @...@"
done
unzip -p "$zip" "vqx-setup-$version-win64/README.txt" | grep -q "VQX Setup Utility $version for Windows" || fail "README.txt does not name version $version"
unzip -p "$zip" "vqx-setup-$version-win64/LICENSE.txt" | grep -q "Copyright" || fail "LICENSE.txt holds no copyright"
unzip -p "$zip" "vqx-setup-$version-win64/doc/vqxctl.txt" | grep -q "vqxctl - read, provision and compare" || fail "doc/vqxctl.txt is not vqxctl's manual"

wineboot -i >/dev/null 2>&1
wineserver -w
# What the prefix holds before: after the uninstall it must hold the same (Wine's own
# temporary files and its registry hives aside).
list_prefix() {
  (cd "$WINEPREFIX/drive_c" && find . | grep -v -e '/Temp/' -e '/temp/' | sort)
}
list_prefix >"$tmp/before"

reg_value() { # key value -> the value's data, or nothing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VQX Setup Utility'
user_env='HKCU\Environment'
system_env='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
has_value() { wine reg query "$1" /v "$2" >/dev/null 2>&1; }
program_windows='C:\Program Files\VQX Setup Utility'
# A fresh prefix has no PATH of the user's own: the install creates it, the uninstall
# must delete it again rather than leave it empty.
has_value "$user_env" PATH && fail "the new prefix already has a user PATH: $(reg_value "$user_env" PATH)"

# A PATH choice it does not know stops a silent install, instead of leaving vqxctl off
# PATH without a word.
status=0
wine "$installer" /S /PATH=everyone || status=$?
wineserver -w
[ "$status" -eq 2 ] || fail "a silent install with /PATH=everyone ended with $status, not 2"
[ -z "$(find "$WINEPREFIX/drive_c" -name 'VQX Setup Utility*')" ] || fail "/PATH=everyone installed: $(find "$WINEPREFIX/drive_c" -name 'VQX Setup Utility*')"

wine "$installer" /S /PATH=user
wineserver -w

program_dir="$WINEPREFIX/drive_c/Program Files/VQX Setup Utility"
for file in bin/vqxsu.exe bin/vqxctl.exe Uninstall.exe README.txt LICENSE.txt doc/vqxctl.txt doc/vqxsu.txt; do
  [ -f "$program_dir/$file" ] || fail "not installed: Program Files/VQX Setup Utility/$file"
done

shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/VQX Setup Utility/VQX Setup Utility.lnk')
[ -n "$shortcut" ] || fail "no Start menu shortcut \"VQX Setup Utility\""
# A shortcut keeps its texts in UTF-16: the program, and the working directory the shell
# expands at each start (vqxsu keeps its preferences there; Program Files is not writable).
shortcut_texts=$(iconv -f UTF-16LE -t UTF-8 -c <"$shortcut" | tr -c '[:print:]' '\n')
grep -q 'VQX Setup Utility\\bin\\vqxsu.exe' <<<"$shortcut_texts" || fail "the shortcut does not start vqxsu.exe"
grep -qx '%USERPROFILE%' <<<"$shortcut_texts" || fail "the shortcut does not start in %USERPROFILE%"

[ "$(reg_value "$uninstall_key" DisplayName)" = "VQX Setup Utility" ] || fail "no Apps & Features entry"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "Apps & Features shows another version"
reg_value "$uninstall_key" DisplayIcon | grep -q 'bin\\vqxsu.exe' || fail "Apps & Features shows no icon"
uninstall=$(reg_value "$uninstall_key" UninstallString | tr -d '"')
[ -n "$uninstall" ] || fail "no UninstallString"
[ "$(reg_value "$user_env" PATH)" = "$program_windows\bin" ] \
  || fail "/PATH=user made the user PATH '$(reg_value "$user_env" PATH)', not the bin folder alone"

# Apps & Features: the folder, the command a deployment tool runs, and the size of what
# was installed (in KB, a DWORD; each file may round down by a KB).
[ "$(reg_value "$uninstall_key" InstallLocation)" = "$program_windows" ] \
  || fail "InstallLocation is '$(reg_value "$uninstall_key" InstallLocation)'"
[ "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$program_windows\\Uninstall.exe\" /S" ] \
  || fail "QuietUninstallString is '$(reg_value "$uninstall_key" QuietUninstallString)'"
size_kb=$(reg_value "$uninstall_key" EstimatedSize)
[[ $size_kb == 0x* ]] || fail "EstimatedSize is '$size_kb', not a DWORD"
size_kb=$((size_kb))
bytes=$(find "$program_dir" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
files=$(find "$program_dir" -type f | wc -l)
[ "$size_kb" -le $((bytes / 1024)) ] && [ "$size_kb" -ge $((bytes / 1024 - files)) ] \
  || fail "EstimatedSize says $size_kb KB for $bytes bytes in $files files"

installed_vqxctl="C:\\Program Files\\VQX Setup Utility\\bin\\vqxctl.exe"
out=$(wine "$installed_vqxctl" --version | tr -d '\r')
grep -q "$version" <<<"$out" || fail "installed vqxctl.exe --version said: $out"
# Its help, into a pipe: 80 columns at most, and the manual it names is installed.
wine "$installed_vqxctl" --help | tr -d '\r' >"$tmp/help.txt"
awk 'length($0) > 80 { print; bad = 1 } END { exit bad }' "$tmp/help.txt" >&2 || fail "vqxctl.exe --help has lines over 80 columns (above)"
named=$(tr '\n' ' ' <"$tmp/help.txt" | grep -o 'doc\\[a-z]*\.txt' | head -n 1)
[ -n "$named" ] || fail "vqxctl.exe --help names no manual in doc: $(tail -n 3 "$tmp/help.txt")"
[ -f "$program_dir/${named//\\//}" ] || fail "vqxctl.exe --help names $named, which is not installed"
grep -q 'man vqxctl' "$tmp/help.txt" && fail "vqxctl.exe --help points to a manual page"

# The simulated unit inside vqxctl: the read goes through the whole program.
if ! (cd "$tmp" && timeout 60 wine "$installed_vqxctl" --quiet read --demo) >"$tmp/read.out" 2>"$tmp/read.err"; then
  cat "$tmp/read.err" >&2
  fail "the installed vqxctl.exe read --demo failed"
fi
tr -d '\r' <"$tmp/read.out" >"$tmp/read.txt"
grep -q "^Name: VQX-2$" "$tmp/read.txt" || fail "vqxctl.exe read --demo printed no report"
grep -q "^Link status: " "$tmp/read.txt" || fail "vqxctl.exe read --demo printed no link status"

# Installing again over it, silently and without /PATH: the installer removes the old
# installation first (its PATH entry too) and leaves PATH alone, as by default.
wine "$installer" /S
wineserver -w
[ -f "$program_dir/bin/vqxctl.exe" ] || fail "the second install left no vqxctl.exe"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "the second install left no Apps & Features entry"
reg_value "$user_env" PATH | grep -q 'VQX Setup Utility' && fail "a silent install without /PATH left vqxctl on PATH"
has_value "$user_env" PATH && fail "the user PATH value the first install created stayed as '$(reg_value "$user_env" PATH)'"

# For all users, beside a user PATH of the user's own that names the bin folder already
# (put there by hand, say, for the .zip): the system PATH gains the entry at its end, and
# neither uninstall (of the second install, then of this one) takes the user's entry out.
user_path="C:\\tools;$program_windows\\bin"
wine reg add "$user_env" /v PATH /t REG_EXPAND_SZ /d "$user_path" /f >/dev/null
[ "$(reg_value "$user_env" PATH)" = "$user_path" ] || fail "reg add wrote the user PATH '$(reg_value "$user_env" PATH)'"
system_path=$(reg_value "$system_env" PATH)
[ -n "$system_path" ] || fail "the prefix has no system PATH"
wine "$installer" /S /PATH=all
wineserver -w
[ "$(reg_value "$system_env" PATH)" = "$system_path;$program_windows\bin" ] \
  || fail "/PATH=all made the system PATH '$(reg_value "$system_env" PATH)'"
[ "$(reg_value "$user_env" PATH)" = "$user_path" ] || fail "the install changed the user PATH to '$(reg_value "$user_env" PATH)'"
quiet_uninstall=$(reg_value "$uninstall_key" QuietUninstallString)
[ "$quiet_uninstall" = "\"$program_windows\\Uninstall.exe\" /S" ] || fail "the third install's QuietUninstallString is '$quiet_uninstall'"

# The quiet uninstall as Apps & Features or a deployment tool runs it. The uninstaller
# copies itself away and starts the copy: wait for every process.
quiet_program=${quiet_uninstall%\" *}
wine "${quiet_program#\"}" ${quiet_uninstall##*\" }
wineserver -w

[ ! -e "$program_dir" ] || fail "left behind: $(cd "$program_dir" && find . -mindepth 1)"
[ -z "$(find "$WINEPREFIX/drive_c" -name 'VQX Setup Utility*')" ] || fail "left behind: $(find "$WINEPREFIX/drive_c" -name 'VQX Setup Utility*')"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the Apps & Features entry stayed"
wine reg query 'HKLM\Software\VQX Setup Utility developers' >/dev/null 2>&1 && fail "the installer's registry key stayed"
[ "$(reg_value "$system_env" PATH)" = "$system_path" ] || fail "the uninstall left the system PATH '$(reg_value "$system_env" PATH)'"
[ "$(reg_value "$user_env" PATH)" = "$user_path" ] || fail "the uninstall left the user PATH '$(reg_value "$user_env" PATH)'"
list_prefix >"$tmp/after"
diff "$tmp/before" "$tmp/after" >&2 || fail "the prefix changed (above)"
echo "installed, ran vqxctl.exe $version, uninstalled without a trace"
