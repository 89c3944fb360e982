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

# The switches that start neither setup nor the uninstall: "/wait" is the two-second
# pause of batches written by earlier versions, "/msi" alone and unknown switches do nothing.
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
# Kept twice: where the main program reads it, and where every account's uninstall finds it.
for record in 'HKCU\Software\Tervix\Setup\.zip' 'HKLM\Software\Tervix\PreviousOwners\.zip'; do
  printf '  previous owner of .zip, kept for its release in %s: %s\n' "${record%%\\*}" \
    "$(wine reg query "$record" /v Type </dev/null 2>/dev/null | tr -d '\r' |
       awk '/REG_SZ/ { sub(/^.*REG_SZ[ \t]*/, ""); print }')"
done
printf '  New-menu templates: %s\n' "$(cd "$install" && ls tvxnew.dat zipnew.dat 2>/dev/null | tr '\n' ' ')"
# ---- end of the setup step ------------------------------------------------------------

# A sample product installed and removed again: files in nested folders, the list the
# installer writes, and the registry keys of the product; "Uninstall.exe -s" must leave
# none of them, the install folder must be gone when it returns, and its self-removal
# batch must delete itself with its private folder.
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
# ".rev" names the recovery-volume ProgID, as setup leaves it: the uninstall gives back
# only what still points at Tervix.
for k in "${keys[@]}"; do
  data=Tervix; [ "$k" = 'HKCR\.rev' ] && data=Tervix.REV
  wine reg add "$k" /ve /d "$data" /f </dev/null >/dev/null 2>&1
done
echo "  installed: $(cd "$install" && find . -type f | wc -l) files in $(cd "$install" && find . -mindepth 1 -type d | wc -l) folders, ${#keys[@]} registry keys"

temp_win=$(wine cmd /c 'echo %TEMP%' </dev/null 2>/dev/null | tr -d '\r')
temp=$(wine winepath -u "$temp_win" </dev/null 2>/dev/null | tr -d '\r')
[ -n "$temp_win" ] && [ -n "$temp" ] || { echo "Cannot locate the temporary folder of the prefix."; exit 1; }
run_program -s
failed=0
report() {  # report <what> <gone: 0/1>
  if [ "$2" = 1 ]; then echo "  gone:    $1"; else echo "  LEFT:    $1"; failed=1; fi
}
# Gone when the program returns, not later.
report "C:\\Program Files\\Tervix (when the uninstall returned)" "$([ -e "$install" ] && echo 0 || echo 1)"
for k in "${keys[@]}"; do
  report "$k" "$(wine reg query "$k" </dev/null >/dev/null 2>&1 && echo 0 || echo 1)"
done
# The batch deletes the moved program file once it has ended, then itself and its folder.
batches() { compgen -G "$temp/TvxUninstall-*" >/dev/null; }
for _ in $(seq 1 100); do batches || break; sleep 0.2; done
report "$temp_win\\TvxUninstall-... with Uninstall_Tvx.Bat" "$(batches && echo 0 || echo 1)"
[ "$failed" = 0 ] && echo "The sample product is completely removed." || { echo "Something was left behind."; exit 1; }

# ---------------------------------------------------------------------------------------
# Setup and uninstall round trip: the installer's silent setup with every choice on,
# then the silent uninstall. Lists what setup created in the registry and the shell,
# and checks that the uninstall removed all of it again.
echo
echo "Silent setup and uninstall round trip:"
rm -rf "$install"
mkdir -p "$install"
cp "$build/Uninstall.exe" "$install/"
shipped=(Tervix.exe tvxext.dll tvxext32.dll Tervix.chm Tvx.txt WhatsNew.txt)
for f in "${shipped[@]}"; do echo "sample" > "$install/$f"; done
# The list names what the installer copied; the New-menu templates are setup's own.
{ for f in "${shipped[@]}" Uninstall.exe Uninstall.lst; do printf '%s\r\n' "$f"; done; } \
  > "$install/Uninstall.lst"
wine reg add 'HKCR\.7z' /ve /d Other7z.File /f </dev/null >/dev/null 2>&1   # another program's type

unix_of() { wine winepath -u "$1" </dev/null 2>/dev/null | tr -d '\r'; }
win_env() { wine cmd /c "echo %$1%" </dev/null 2>/dev/null | tr -d '\r'; }
appdata=$(win_env APPDATA)
programdata=$(win_env ProgramData)
public=$(win_env PUBLIC)
shell_items=("$public\\Desktop\\Tervix.lnk"
             "$programdata\\Microsoft\\Windows\\Start Menu\\Tervix.lnk"
             "$programdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tervix"
             "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tervix"
             "C:\\Program Files\\Tervix\\tvxnew.dat"
             "C:\\Program Files\\Tervix\\zipnew.dat")
class32='{6F1C2D40-3A51-4A1B-9C3D-5E6F7A8B9C0D}'
class64='{6F1C2D40-3A64-4A1B-9C3D-5E6F7A8B9C0D}'
# "key|value|view": an empty value name checks the key; a view of 32 looks at the
# registry of 32-bit programs.
reg_show() {  # reg_show <item>: prints the data (or the key's default value), fails when absent
  local key value view args=()
  IFS='|' read -r key value view <<<"$1"
  [ -n "$view" ] && args+=(/reg:$view)
  if [ -n "$value" ]; then args+=(/v "$value"); else args+=(/ve); fi
  wine reg query "$key" "${args[@]}" </dev/null 2>/dev/null | tr -d '\r' |
    awk -F'    ' 'NF >= 4 { print $4; found = 1 } END { exit !found }' && return 0
  # A key without a default value still counts as present.
  [ -z "$value" ] && wine reg query "$key" ${view:+/reg:$view} </dev/null >/dev/null 2>&1
}
reg_label() { local key value view; IFS='|' read -r key value view <<<"$1"
  printf '%s%s%s' "$key" "${value:+ [$value]}" "${view:+ (32-bit view)}"; }

others=('HKCR\.zip||' 'HKCR\.7z||')   # types that belonged to someone else before setup
declare -A before
for item in "${others[@]}"; do before[$item]=$(reg_show "$item" || echo "(none)"); done
reg_items=('HKCR\.tvx||' 'HKCR\Tervix||' 'HKCR\Tervix.ZIP||' 'HKCR\Tervix.REV||' 'HKCR\.rev||'
           "HKCR\\CLSID\\$class64\\InProcServer32||" "HKCR\\CLSID\\$class32\\InProcServer32||32"
           'HKCR\*\shellex\ContextMenuHandlers\Tervix||' 'HKCR\Folder\shellex\DragDropHandlers\Tervix32||'
           "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved|$class64|"
           'HKLM\Software\RegisteredApplications|Tervix|' 'HKLM\Software\Tervix\Capabilities\FileAssociations||'
           'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Tervix.exe||'
           'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Tervix.exe||32'
           'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tervix archiver|QuietUninstallString|'
           'HKCU\Software\Tervix\Setup||')
run_program /setup -s -initA111111111111111111D1M1P1S1C1I1

left=0
echo "  created by setup:"
for item in "${shell_items[@]}"; do
  if [ -e "$(unix_of "$item")" ]; then echo "    $item"; else echo "    MISSING: $item"; left=1; fi
done
for item in "${others[@]}"; do echo "    $(reg_label "$item") = $(reg_show "$item") (was ${before[$item]})"; done
for item in "${reg_items[@]}"; do
  if data=$(reg_show "$item"); then echo "    $(reg_label "$item")${data:+ = $data}"; else echo "    MISSING: $(reg_label "$item")"; left=1; fi
done

run_program -s

echo "  after the uninstall:"
for item in "${shell_items[@]}" "C:\\Program Files\\Tervix"; do
  if [ -e "$(unix_of "$item")" ]; then echo "    LEFT:  $item"; left=1; else echo "    gone:  $item"; fi
done
for item in "${others[@]}"; do
  now=$(reg_show "$item" || echo "(none)")
  if [ "$now" = "${before[$item]}" ]; then echo "    given back: $(reg_label "$item") = $now"
  else echo "    NOT GIVEN BACK: $(reg_label "$item") = $now (was ${before[$item]})"; left=1; fi
done
for item in "${reg_items[@]}"; do
  if reg_show "$item" >/dev/null; then echo "    LEFT:  $(reg_label "$item")"; left=1
  else echo "    gone:  $(reg_label "$item")"; fi
done
[ "$left" = 0 ] && echo "Everything setup created was removed again." || { echo "Something was missing or left behind."; exit 1; }

# Pictures of every dialog in English, German (enlarged) and Hebrew (right to left),
# drawn by Wine's real graphics driver on an X display of their own: a separate step
# with a prefix of its own (scripts/screenshots.sh). The README shows copies of them.
echo
echo "Screenshots of the dialogs:"
shots_rc=0
"$root/scripts/screenshots.sh" || shots_rc=$?
if [ "$shots_rc" = 3 ]; then
  echo "  no display could be had: no pictures taken"
  exit 0
fi
missing=0
for sample in english german hebrew; do
  for dialog in setup items done uninstall; do
    [ -s "$build/screenshots/$sample-$dialog.png" ] || { echo "  MISSING: $sample-$dialog.png"; missing=1; }
  done
done
[ "$missing" = 0 ] && echo "All 12 pictures are in build/screenshots/." || { echo "Some pictures are missing."; exit 1; }
