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
