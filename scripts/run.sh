#!/usr/bin/env bash
# The README's run command: builds Uninstall.exe and the setup program, and runs them in
# a private Wine prefix: the switches that do nothing, then the sample product installed
# with the setup program, silently, and removed through the QuietUninstallString of its
# entry in Installed apps, as Installed apps would, for every account and for the account
# alone; last the pictures of every dialog.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVX_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >/dev/null
# The setup program of the sample product: the program and stand-ins for the product's
# other files (scripts/package.sh).
setup_exe=$("$root/scripts/package.sh" --no-build | sed -n 's/^setup program: \(.*\) ([0-9]* bytes).*/\1/p')
[ -f "$setup_exe" ] || { echo "No setup program was built."; exit 1; }
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

# ---- The setup program ----------------------------------------------------------------
# Downloaded into C:\Downloads and run from there; commands go through a .cmd file, as
# Windows starts them: the setup program takes "/D=" last and unquoted.
downloads="$WINEPREFIX/drive_c/Downloads"
rm -rf "$downloads" "$install"
mkdir -p "$downloads"
setup_name=$(basename "$setup_exe")
cp "$setup_exe" "$downloads/"
# Runs a command line; prints its exit code (the low 8 bits, as a shell sees them) and
# how long it took, and fails when the code is not 0.
run_command() {
  local start end rc=0
  printf '@%s\r\n@exit /b %%errorlevel%%\r\n' "$1" >"$downloads/run.cmd"
  start=$(date +%s.%N)
  (cd "$downloads" && wine cmd /c 'C:\Downloads\run.cmd' </dev/null >/dev/null 2>&1) || rc=$?
  end=$(date +%s.%N)
  printf '%s\n  exited with %d after %s s\n' "$1" "$rc" "$(awk "BEGIN{printf \"%.1f\", $end - $start}")"
  [ "$rc" = 0 ]
}
reg_value() {  # reg_value <key> <value>: the data, or nothing
  wine reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' | awk -F'    ' 'NF >= 4 { print $4 }'
}
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tervix archiver'
# Removes the product as Installed apps does: the entry's quiet command.
uninstall_from_entry() {
  local quiet
  quiet=$(reg_value "$entry" QuietUninstallString)
  [ -n "$quiet" ] || { echo "  no QuietUninstallString in $entry"; return 1; }
  run_command "$quiet"
}

# The sample product, silently, with an option string: associate .tvx, .zip and .7z only
# (the "A" digits follow the dialog's archive types in order), shell extension on,
# desktop shortcut on. .zip starts out owned by Windows' compressed folders, so its
# backup shows up too.
echo
echo "Setup of the sample product ($setup_name, $(stat -c %s "$setup_exe") bytes):"
wine reg add 'HKCR\.zip' /ve /d CompressedFolder /f </dev/null >/dev/null 2>&1 || true
run_command "C:\\Downloads\\$setup_name /S -initA110000100000000000S1D1" || { echo "Setup failed."; exit 1; }
reg_default() {
  wine reg query "$1" /ve </dev/null 2>/dev/null | tr -d '\r' |
    awk '/REG_SZ/ { sub(/^.*REG_SZ[ \t]*/, ""); print; found = 1 } END { if (!found) print "(none)" }'
}
echo "  files it laid down, as Uninstall.lst names them: $(tr -d '\r' <"$install/Uninstall.lst" | tr '\n' ' ')"
for ext in .tvx .zip .7z .cab .rev; do
  printf '  HKCR\\%-5s opens with: %s\n' "$ext" "$(reg_default "HKCR\\$ext")"
done
# Kept twice: where the main program reads it, and where every account's uninstall finds it.
for record in 'HKCU\Software\Tervix\Setup\.zip' 'HKLM\Software\Tervix\PreviousOwners\.zip'; do
  printf '  previous owner of .zip, kept for its release in %s: %s\n' "${record%%\\*}" "$(reg_value "$record" Type)"
done
printf '  New-menu templates: %s\n' "$(cd "$install" && ls tvxnew.dat zipnew.dat 2>/dev/null | tr '\n' ' ')"
for value in DisplayName DisplayVersion InstallLocation QuietUninstallString; do
  printf '  Installed apps, %s: %s\n' "$value" "$(reg_value "$entry" "$value")"
done

# Removed as Installed apps removes it. The keys of the product must be gone, the
# install folder too when the uninstall returns, and its self-removal batch must delete
# itself with its private folder.
echo
echo "Uninstall of the sample product:"
keys=('HKCR\Tervix' 'HKCR\Tervix.ZIP' 'HKCR\Tervix.REV' 'HKCR\.tvx' 'HKCU\Software\Tervix' "$entry"
      'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Tervix.exe')
temp_win=$(wine cmd /c 'echo %TEMP%' </dev/null 2>/dev/null | tr -d '\r')
temp=$(wine winepath -u "$temp_win" </dev/null 2>/dev/null | tr -d '\r')
[ -n "$temp_win" ] && [ -n "$temp" ] || { echo "Cannot locate the temporary folder of the prefix."; exit 1; }
failed=0
uninstall_from_entry || failed=1
report() {  # report <what> <gone: 0/1>
  if [ "$2" = 1 ]; then echo "  gone:    $1"; else echo "  LEFT:    $1"; failed=1; fi
}
# Gone when the program returns, not later.
report "C:\\Program Files\\Tervix (when the uninstall returned)" "$([ -e "$install" ] && echo 0 || echo 1)"
for k in "${keys[@]}"; do
  report "$k" "$(wine reg query "$k" </dev/null >/dev/null 2>&1 && echo 0 || echo 1)"
done
printf '  HKCR\\.zip    opens with: %s\n' "$(reg_default 'HKCR\.zip')"
[ "$(reg_default 'HKCR\.zip')" = CompressedFolder ] || { echo "  .zip was not given back"; failed=1; }
# The batch deletes the moved program file once it has ended, then itself and its folder.
batches() { compgen -G "$temp/TvxUninstall-*" >/dev/null; }
for _ in $(seq 1 100); do batches || break; sleep 0.2; done
report "$temp_win\\TvxUninstall-... with Uninstall_Tvx.Bat" "$(batches && echo 0 || echo 1)"
[ "$failed" = 0 ] && echo "The sample product is completely removed." || { echo "Something was left behind."; exit 1; }

# ---------------------------------------------------------------------------------------
# Setup and uninstall round trip: the setup program, silently, with every choice on, into
# a folder of the user's choosing (/D=), then the entry's quiet uninstall. Lists what
# setup created in the registry and the shell, and checks that the uninstall removed all
# of it again and gave other programs' types back.
echo
echo "Silent setup into another folder and uninstall round trip:"
folder='C:\Tools\Tervix Archiver'
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
             "$folder\\Uninstall.lst"
             "$folder\\tvxnew.dat"
             "$folder\\zipnew.dat")
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
# Lists what setup created, and marks the round failed for anything missing; "paths"
# are Windows paths, "keys" items as reg_show takes them.
list_created() {  # list_created paths|keys <item>...
  local kind=$1 item data; shift
  for item in "$@"; do
    if [ "$kind" = paths ]; then
      if [ -e "$(unix_of "$item")" ]; then echo "    $item"; else echo "    MISSING: $item"; left=1; fi
    elif data=$(reg_show "$item"); then echo "    $(reg_label "$item")${data:+ = $data}"
    else echo "    MISSING: $(reg_label "$item")"; left=1; fi
  done
}
# Lists what the uninstall removed, and marks the round failed for anything left.
list_removed() {  # list_removed paths|keys <item>...
  local kind=$1 item; shift
  for item in "$@"; do
    if [ "$kind" = paths ]; then
      if [ -e "$(unix_of "$item")" ]; then echo "    LEFT:  $item"; left=1; else echo "    gone:  $item"; fi
    elif reg_show "$item" >/dev/null; then echo "    LEFT:  $(reg_label "$item")"; left=1
    else echo "    gone:  $(reg_label "$item")"; fi
  done
}

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
left=0
run_command "C:\\Downloads\\$setup_name /S -initA111111111111111111D1M1P1S1C1I1 /D=$folder" || left=1
echo "  created by setup:"
list_created paths "${shell_items[@]}"
for item in "${others[@]}"; do echo "    $(reg_label "$item") = $(reg_show "$item") (was ${before[$item]})"; done
list_created keys "${reg_items[@]}"

uninstall_from_entry || left=1

echo "  after the uninstall:"
list_removed paths "${shell_items[@]}" "$folder"
for item in "${others[@]}"; do
  now=$(reg_show "$item" || echo "(none)")
  if [ "$now" = "${before[$item]}" ]; then echo "    given back: $(reg_label "$item") = $now"
  else echo "    NOT GIVEN BACK: $(reg_label "$item") = $now (was ${before[$item]})"; left=1; fi
done
list_removed keys "${reg_items[@]}"
[ "$left" = 0 ] && echo "Everything setup created was removed again." || { echo "Something was missing or left behind."; exit 1; }

# ---------------------------------------------------------------------------------------
# For the account alone: the setup program's /CURRENTUSER, silently, into the account's
# own folder. Lists where each value went, checks that nothing machine-wide changed (the
# machine's software keys, which hold its classes root, as "reg export" writes them), and
# removes it with the entry that Installed apps lists for that account.
echo
echo "Silent setup for the account alone (/CURRENTUSER) and uninstall round trip:"
user_folder="$(win_env LOCALAPPDATA)\\Programs\\Tervix"
user_entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tervix archiver'
wine reg add 'HKCU\Software\Classes\.zip' /ve /d MyZip.Archive /f </dev/null >/dev/null 2>&1  # the account's own
machine_keys() {
  rm -f "$downloads/machine.reg"
  wine reg export 'HKLM\Software' 'C:\Downloads\machine.reg' /y </dev/null >/dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$downloads/machine.reg" | tr -d '\r' |
    awk '/^\[/ { skip = ($0 ~ /^\[HKEY_LOCAL_MACHINE\\Software\\(Wine|Microsoft\\Windows NT\\CurrentVersion\\Perflib)/) }
         !skip' | md5sum
}
machine_before=$(machine_keys)
user_items=("HKCU\\Software\\Classes\\.zip||" "HKCU\\Software\\Classes\\Tervix||"
            "HKCU\\Software\\Classes\\CLSID\\$class64\\InProcServer32||"
            "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved|$class64|"
            'HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\Tervix.exe||'
            'HKCU\Software\RegisteredApplications|Tervix|' 'HKCU\Software\Tervix\Capabilities\FileAssociations|.zip|'
            'HKCU\Software\Tervix\PreviousOwners\.zip|Type|' "$user_entry|QuietUninstallString|")
user_shell=("$(win_env USERPROFILE)\\Desktop\\Tervix.lnk" "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tervix.lnk"
            "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tervix" "$user_folder\\Uninstall.lst")
run_command "C:\\Downloads\\$setup_name /S /CURRENTUSER -initA110000100000000000S1D1M1P1" || left=1
echo "  created by setup, for the account alone:"
list_created keys "${user_items[@]}"
list_created paths "${user_shell[@]}"
if [ "$(machine_keys)" = "$machine_before" ]; then echo "  machine-wide keys: unchanged"
else echo "  MACHINE-WIDE KEYS CHANGED"; left=1; fi
entry=$user_entry
uninstall_from_entry || left=1
echo "  after the uninstall:"
list_removed paths "${user_shell[@]}" "$user_folder"
list_removed keys "${user_items[@]:1}"
if [ "$(reg_show 'HKCU\Software\Classes\.zip||')" = MyZip.Archive ]; then echo "    given back: HKCU\Software\Classes\.zip = MyZip.Archive"
else echo "    NOT GIVEN BACK: HKCU\Software\Classes\.zip"; left=1; fi
if [ "$(machine_keys)" = "$machine_before" ]; then echo "  machine-wide keys: unchanged"
else echo "  MACHINE-WIDE KEYS CHANGED"; left=1; fi
[ "$left" = 0 ] && echo "Nothing machine-wide changed, and everything for the account was removed again." ||
  { echo "Something was missing, left behind or changed machine-wide."; exit 1; }

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
