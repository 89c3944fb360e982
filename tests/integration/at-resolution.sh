#!/usr/bin/env bash
# Runs a Windows test program in a fresh copy of the pristine test prefix whose screen
# resolution is set to <dpi> (Wine's LogPixels); the wineserver is restarted so that
# every process of the copy sees it. The program learns the resolution it should find
# from TVX_EXPECT_DPI.
# Usage: at-resolution.sh <build folder> <dpi> <program> [arguments...]
set -uo pipefail
build=$1 dpi=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"
export TVX_SOURCE_DIR="$root" TVX_BUILD_DIR="$build"
export TVX_BASE_PREFIX="$build/wineprefix-base" TVX_COPIES_DIR="$build/wineprefix-copies"
export TVX_EXPECT_DPI="$dpi"
(flock 9; tvx_prefix_create "$TVX_BASE_PREFIX") 9>"$TVX_BASE_PREFIX.lock"

run_at_resolution() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
  tvx_prefix_down "$WINEPREFIX"
  tvx_prefix_up "$WINEPREFIX"
  wine "$@" </dev/null
}
tvx_with_fresh_prefix run_at_resolution "$@"
