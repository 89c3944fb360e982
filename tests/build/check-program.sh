#!/usr/bin/env bash
# Checks the shipped Uninstall.exe as a file: a 64-bit GUI program (PE32+, x86-64,
# Windows GUI subsystem) that imports nothing but Windows' KnownDLLs, so that it runs on
# a machine with nothing else installed, and so that no library it needs at start-up is
# looked for in its own folder, where anyone who may write there could plant one.
set -euo pipefail
exe="$1"
dump=$(x86_64-w64-mingw32-objdump -p "$exe")
grep -q '^Magic[[:space:]]*020b' <<<"$dump" || { echo "not a PE32+ image"; exit 1; }
grep -q '^Subsystem[[:space:]]*00000002' <<<"$dump" || { echo "not a Windows GUI subsystem program"; exit 1; }
x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'architecture: i386:x86-64' || { echo "not x86-64"; exit 1; }
known='^(advapi32|combase|comdlg32|gdi32|imm32|kernel32|msvcrt|ntdll|ole32|oleaut32|rpcrt4|sechost|shcore|shell32|shlwapi|user32|ws2_32)\.dll$'
status=0
while read -r dll; do
  if ! grep -qiE "$known" <<<"$dll"; then
    echo "imports a DLL that is not one of Windows' KnownDLLs: $dll"
    status=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
[ $status -eq 0 ] && echo "$exe: PE32+ x86-64 GUI program importing only KnownDLLs"
exit $status
