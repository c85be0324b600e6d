#!/usr/bin/env bash
# Every program .exe under DIR imports from Windows system DLLs only: no libstdc++,
# libgcc or winpthread DLL is needed beside it on the target machine.
# Usage: static_imports_test.sh OBJDUMP DIR
set -uo pipefail
objdump=$1 dir=$2
system_dlls='^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|shlwapi|ole32|oleaut32|uxtheme|dwmapi|msvcrt|ws2_32|winmm|imm32|version|shcore|setupapi|cfgmgr32|api-ms-win-[a-z0-9-]+)\.dll$'
failed=0 checked=0
while IFS= read -r -d '' exe; do
  checked=$((checked + 1))
  dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ -n "$dlls" ] || { echo "FAIL $exe: no imports found" >&2; failed=1; }
  for dll in $dlls; do
    if ! echo "$dll" | tr '[:upper:]' '[:lower:]' | grep -Eq "$system_dlls"; then
      echo "FAIL $exe imports $dll, which a bare Windows does not have" >&2
      failed=1
    fi
  done
  echo "$(basename "$exe"): $(echo $dlls)"
done < <(find "$dir" -name '*.exe' -print0)
[ "$checked" -gt 0 ] || { echo "FAIL no .exe under $dir" >&2; failed=1; }
exit "$failed"
