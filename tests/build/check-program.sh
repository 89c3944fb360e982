#!/usr/bin/env bash
# Checks the shipped Uninstall.exe as a file: a 64-bit GUI program (PE32+, x86-64,
# Windows GUI subsystem) that imports nothing but Windows' own system DLLs, so it runs
# on a machine with nothing else installed.
set -euo pipefail
exe="$1"
dump=$(x86_64-w64-mingw32-objdump -p "$exe")
grep -q '^Magic[[:space:]]*020b' <<<"$dump" || { echo "not a PE32+ image"; exit 1; }
grep -q '^Subsystem[[:space:]]*00000002' <<<"$dump" || { echo "not a Windows GUI subsystem program"; exit 1; }
x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'architecture: i386:x86-64' || { echo "not x86-64"; exit 1; }
system='^(kernel32|user32|gdi32|advapi32|bcrypt|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|msvcrt|api-ms-win-crt-[a-z0-9-]+|ntdll|version|winspool\.drv|uxtheme)\.dll$'
status=0
while read -r dll; do
  if ! grep -qiE "$system" <<<"$dll"; then
    echo "imports a DLL that is not part of Windows: $dll"
    status=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
[ $status -eq 0 ] && echo "$exe: PE32+ x86-64 GUI program importing only system DLLs"
exit $status
