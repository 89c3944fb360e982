#!/usr/bin/env bash
# Benchmark of the registry flushes under Wine: builds, then counts how often a setup of
# every type and the uninstall after it write whole hives to the disk (the RegFlushKey
# calls that Wine traces, and the "flushed" lines of their run logs), in one private
# prefix that starts fresh each time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVX_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
export WINEPREFIX="$build/bench-flush-prefix"
tvx_prefix_stop "$WINEPREFIX"
rm -rf "$WINEPREFIX"
tvx_prefix_create "$WINEPREFIX"
tvx_prefix_up "$WINEPREFIX"
trap 'tvx_prefix_stop "$WINEPREFIX"; rm -rf "$WINEPREFIX"' EXIT
# Wine's trace of every program the benchmark starts goes to its standard error.
trace="$WINEPREFIX/drive_c/flush-trace.txt"
WINEDEBUG=trace+reg wine "$build/bench/FlushBench.exe" "Z:${build//\//\\}\\Uninstall.exe" 'C:\tvxflushbench' \
  'C:\flush-trace.txt' </dev/null 2>"$trace"
