#!/usr/bin/env bash
# Benchmark of the uninstall's file removal under Wine: builds, then times
# "Uninstall.exe -s" on an install of 20,000 files in 2,000 folders beside the floor
# and "cmd /c rd /s /q" on identical trees in the same private prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVX_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
export WINEPREFIX="$build/bench-prefix"
tvx_prefix_create "$WINEPREFIX"
tvx_prefix_up "$WINEPREFIX"
trap 'tvx_prefix_stop "$WINEPREFIX"' EXIT
rm -rf "$WINEPREFIX/drive_c/tvxbench"
cp "$build/Uninstall.exe" "$WINEPREFIX/drive_c/Uninstall.exe"
wine "$build/bench/UninstallBench.exe" 'C:\Uninstall.exe' 'C:\tvxbench' </dev/null
