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

start=$(date +%s.%N)
rc=0
(cd "$install" && wine "C:\\Program Files\\Tervix\\Uninstall.exe" /wait </dev/null) || rc=$?
end=$(date +%s.%N)
printf "Uninstall.exe /wait exited with %d after %s s\n" "$rc" "$(awk "BEGIN{printf \"%.1f\", $end - $start}")"
