#!/usr/bin/env bash
# Pictures of the program as a user sees it: the setup dialog, the context menu items
# dialog, the completion dialog and the uninstall question, in English, in the German
# sample and in the right-to-left Hebrew sample (whose SIZE entries enlarge the dialogs).
# They are drawn by Wine's real graphics driver on an X display (an Xvfb of our own when
# DISPLAY is unset) and saved as PNG files, cut to the window, in build/screenshots/.
# Expects a finished build (scripts/build.sh). Exit code 0 with all pictures taken, 3
# when no display can be had (no pictures), 1 when a dialog did not appear.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVX_BUILD_DIR:-$root/build}
out="$build/screenshots"
. "$root/scripts/wine-env.sh"

xvfb_pid=
prefix="$build/screenshot-prefix"
cleanup() {
  tvx_prefix_down "$prefix"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  if ! command -v Xvfb >/dev/null; then
    echo "No display and no Xvfb: no screenshots."
    exit 3
  fi
  # -displayfd picks a free display number and tells it once the server is ready.
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  display=
  read -r -t 10 display <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$display" ]; then
    echo "Xvfb did not start: no screenshots."
    exit 3
  fi
  export DISPLAY=":$display"
fi

# A prefix of its own that draws: the test prefixes use the null driver. Without a window
# manager Wine draws the caption and frame itself (Decorated = N). A wineserver started
# without a display would keep drawing nothing, so it is restarted under this one.
tvx_prefix_create "$prefix"
export WINEPREFIX="$prefix"
tvx_prefix_down "$prefix"
wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f </dev/null >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
fontlink='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
wine reg delete "$fontlink" /v Tahoma /f </dev/null >/dev/null 2>&1 || true
tvx_prefix_down "$prefix"
tvx_prefix_up "$prefix"

driver="$build/tools/GuiDriver.exe"
install="$prefix/drive_c/Program Files/Tervix"
rm -rf "$out"
mkdir -p "$out"

# shoot <file> <window selector...>: waits for the window, lets it paint, and saves it.
# The X window of the same place and size is read by itself: a dialog owned by another
# one is not always on the root window's picture, although it is drawn.
shoot() {
  local file=$1 rect x y w h xid
  shift
  if ! rect=$(wine "$driver" wait "$@" </dev/null 2>/dev/null | tr -d '\r'); then
    echo "  no window for $file"
    return 1
  fi
  sleep 2
  read -r x y w h <<<"$rect"
  xid=$(xwininfo -root -tree | awk -v g=" ${w}x${h}+${x}+${y} " 'index($0, g) { print $1; exit }')
  if [ -n "$xid" ]; then
    xwd -id "$xid" -silent | convert xwd:- -strip "png:$out/$file"
  else
    xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage -strip "png:$out/$file"
  fi
  echo "  $file (${w}x${h})"
}

press() {  # press <id> <window selector...>
  local id=$1
  shift
  wine "$driver" press --id "$id" "$@" </dev/null >/dev/null 2>&1 || true
}

# finish <pid>: waits for a run of the program to end; one that hangs with a window
# nobody answered is ended with everything else in the prefix after 30 seconds.
finish() {
  local i
  for i in $(seq 1 150); do
    kill -0 "$1" 2>/dev/null || { wait "$1" || true; return 0; }
    sleep 0.2
  done
  echo "  the program did not end: stopping the prefix"
  tvx_prefix_down "$prefix"
  tvx_prefix_up "$prefix"
  wait "$1" || true
  return 1
}

# The dialogs tell themselves apart by their controls: only the setup dialog has the
# context-items button 5128, only the items dialog the mask field 127, and the
# completion dialog is the one with the help button 5105 but no 5128.
setup=(--has 5128)
items=(--has 127)
done_=(--has 5105 --without 5128)
question=(--class '#32770' --has 7)

failed=0
for sample in English German Hebrew; do
  echo "$sample:"
  rm -rf "$install"
  mkdir -p "$install"
  cp "$build/Uninstall.exe" "$install/"
  [ "$sample" = English ] || cp "$root/tests/data/$sample.lng" "$install/uninstall.lng"
  wine reg delete 'HKCU\Software\Tervix' /f </dev/null >/dev/null 2>&1 || true
  name=$(echo "$sample" | tr 'A-Z' 'a-z')
  # Windows' Tahoma has Hebrew letters, Wine's has none: they come from DejaVu Sans.
  if [ "$sample" = Hebrew ]; then
    wine reg add "$fontlink" /v Tahoma /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans' /f </dev/null >/dev/null 2>&1
  fi

  (cd "$install" && wine "C:\\Program Files\\Tervix\\Uninstall.exe" /setup /noexplorer </dev/null >/dev/null 2>&1) &
  setup_pid=$!
  shoot "$name-setup.png" "${setup[@]}" || failed=1
  press 5128 "${setup[@]}"
  shoot "$name-items.png" "${items[@]}" || failed=1
  press 2 "${items[@]}"
  press 1 "${setup[@]}"
  shoot "$name-done.png" "${done_[@]}" || failed=1
  press 1 "${done_[@]}"
  finish "$setup_pid" || failed=1

  # The question the uninstall asks first; No leaves everything in place.
  (cd "$install" && wine "C:\\Program Files\\Tervix\\Uninstall.exe" </dev/null >/dev/null 2>&1) &
  uninstall_pid=$!
  shoot "$name-uninstall.png" "${question[@]}" || failed=1
  press 7 "${question[@]}"
  finish "$uninstall_pid" || failed=1
done
exit $failed
