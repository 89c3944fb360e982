#!/usr/bin/env bash
# Benchmark of the language file under Wine: builds, then prints the time to parse a
# language file of the largest size that is read (2 MB) and of 100,000 lookups by id,
# and the start-up of "Uninstall.exe /msi" with such a file beside it and without one,
# both in the same private prefix, with their ratio. Optional argument: runs per case.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVX_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
export WINEPREFIX="$build/bench-lang-prefix"
tvx_prefix_create "$WINEPREFIX"
tvx_prefix_up "$WINEPREFIX"
trap 'rm -rf "$WINEPREFIX/drive_c/tvxlangbench"; tvx_prefix_stop "$WINEPREFIX"' EXIT
mkdir -p "$WINEPREFIX/drive_c/tvxlangbench"
cp "$build/Uninstall.exe" "$WINEPREFIX/drive_c/tvxlangbench/Uninstall.exe"
wine "$build/bench/lang_bench.exe" 'C:\tvxlangbench\Uninstall.exe' "${1:-15}" </dev/null
