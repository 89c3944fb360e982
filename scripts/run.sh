#!/usr/bin/env bash
# The README's run command: builds Uninstall.exe, lays out a sample install in a private
# Wine prefix and runs the program there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVX_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
export WINEPREFIX="$build/sample-prefix"
tvx_prefix_create "$WINEPREFIX"
tvx_prefix_up "$WINEPREFIX"
trap 'tvx_prefix_stop "$WINEPREFIX"' EXIT

install="$WINEPREFIX/drive_c/Program Files/Tervix"
rm -rf "$install"
mkdir -p "$install"
cp "$build/Uninstall.exe" "$install/"
echo "Sample install: C:\\Program Files\\Tervix"

# Runs Uninstall.exe in the install folder with the given switches; prints the exit
# code and how long it took.
run_program() {
  local start end rc=0
  start=$(date +%s.%N)
  (cd "$install" && wine "C:\\Program Files\\Tervix\\Uninstall.exe" "$@" </dev/null) || rc=$?
  end=$(date +%s.%N)
  printf "Uninstall.exe %-12s exited with %d after %s s\n" "$*" "$rc" "$(awk "BEGIN{printf \"%.1f\", $end - $start}")"
}

# The switches that start neither setup nor the uninstall: "/wait" is the self-removal
# batch's two-second pause, "/msi" alone and unknown switches do nothing.
run_program /wait
run_program /msi
run_program /frobnicate
if wine reg query 'HKCU\Software\Tervix' </dev/null >/dev/null 2>&1; then
  echo "HKCU\Software\Tervix: present"
else
  echo "HKCU\Software\Tervix: absent (nothing was written)"
fi

# ---- Setup: what the installer runs after copying the files ---------------------------
# A silent setup with an "init" string: associate .tvx, .zip and .7z only (the "A" digits
# follow the dialog's archive types in order), shell extension on, desktop shortcut on.
# .zip starts out owned by Windows' compressed folders, so its backup shows up too.
echo
wine reg add 'HKCR\.zip' /ve /d CompressedFolder /f </dev/null >/dev/null 2>&1 || true
run_program -s /setup -initA110000100000000000S1D1
reg_default() {
  wine reg query "$1" /ve </dev/null 2>/dev/null | tr -d '\r' |
    awk '/REG_SZ/ { sub(/^.*REG_SZ[ \t]*/, ""); print; found = 1 } END { if (!found) print "(none)" }'
}
for ext in .tvx .zip .7z .cab .rev; do
  printf '  HKCR\\%-5s opens with: %s\n' "$ext" "$(reg_default "HKCR\\$ext")"
done
printf '  previous owner of .zip, kept for its release: %s\n' \
  "$(wine reg query 'HKCU\Software\Tervix\Setup\.zip' /v Type </dev/null 2>/dev/null | tr -d '\r' |
     awk '/REG_SZ/ { sub(/^.*REG_SZ[ \t]*/, ""); print }')"
printf '  New-menu templates: %s\n' "$(cd "$install" && ls tvxnew.dat zipnew.dat 2>/dev/null | tr '\n' ' ')"
# ---- end of the setup step ------------------------------------------------------------

# A sample product installed and removed again: files in nested folders, the list the
# installer writes, and the registry keys of the product; "Uninstall.exe -s" must leave
# none of them, and its self-removal batch must delete itself.
echo
echo "Uninstall of a sample product:"
rm -rf "$install"
mkdir -p "$install/Formats/Deep" "$install/Lang"
cp "$build/Uninstall.exe" "$install/"
for f in Tervix.exe tvxext.dll tvxext32.dll Formats/zip.fmt Formats/Deep/rev.fmt Lang/uninstall.lng tervix.chm; do
  echo "sample" > "$install/$f"
done
printf 'Formats\r\nFormats\\Deep\r\nLang\r\nTervix.exe\r\ntvxext.dll\r\ntvxext32.dll\r\nFormats\\zip.fmt\r\nFormats\\Deep\\rev.fmt\r\nLang\\uninstall.lng\r\ntervix.chm\r\nUninstall.exe\r\nUninstall.lst\r\n' \
  > "$install/Uninstall.lst"
keys=('HKCR\Tervix' 'HKCR\Tervix.ZIP' 'HKCR\Tervix.REV' 'HKCR\.rev' 'HKCU\Software\Tervix'
      'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Tervix archiver'
      'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Tervix.exe')
for k in "${keys[@]}"; do wine reg add "$k" /ve /d Tervix /f </dev/null >/dev/null 2>&1; done
echo "  installed: $(cd "$install" && find . -type f | wc -l) files in $(cd "$install" && find . -mindepth 1 -type d | wc -l) folders, ${#keys[@]} registry keys"

temp_win=$(wine cmd /c 'echo %TEMP%' </dev/null 2>/dev/null | tr -d '\r')
batch=$(wine winepath -u "$temp_win\\Uninstall_Tvx.Bat" </dev/null 2>/dev/null | tr -d '\r')
[ -n "$temp_win" ] && [ -n "$batch" ] || { echo "Cannot locate the temporary folder of the prefix."; exit 1; }
run_program -s
# The batch waits for the program to end (two seconds), then removes it and the folder.
for _ in $(seq 1 100); do
  [ ! -e "$install" ] && [ ! -e "$batch" ] && break
  sleep 0.2
done
failed=0
report() {  # report <what> <gone: 0/1>
  if [ "$2" = 1 ]; then echo "  gone:    $1"; else echo "  LEFT:    $1"; failed=1; fi
}
report "C:\\Program Files\\Tervix" "$([ -e "$install" ] && echo 0 || echo 1)"
for k in "${keys[@]}"; do
  report "$k" "$(wine reg query "$k" </dev/null >/dev/null 2>&1 && echo 0 || echo 1)"
done
report "$temp_win\\Uninstall_Tvx.Bat" "$([ -e "$batch" ] && echo 0 || echo 1)"
[ "$failed" = 0 ] && echo "The sample product is completely removed." || { echo "Something was left behind."; exit 1; }
