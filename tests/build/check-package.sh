#!/usr/bin/env bash
# Builds the Windows Installer package as the README says, from the program just built,
# and reads it back with msiinfo: named after the program's version by default, the
# program's icon for Installed apps, the program with exactly the files of a payload
# named by --payload, the program again for the removal, and a product code per build.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*" >&2; exit 1; }

mkdir -p "$work/payload/Formats"
echo "main program" >"$work/payload/Tervix.exe"
echo "format" >"$work/payload/Formats/zip.fmt"
for build in first second; do
  TVX_BUILD_DIR="$1" "$root/scripts/package.sh" --no-build --out "$work/$build" --payload "$work/payload" >/dev/null
done
msi="$work/first/Tervix-6.24.1-x64.msi"
[ -f "$msi" ] || fail "no package named after the program's version 6.24.1: $(ls "$work/first")"
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v n="$2" '$1 == n { print $2 }'; }
[ "$(property "$msi" ProductCode)" != "$(property "$work/second/Tervix-6.24.1-x64.msi" ProductCode)" ] ||
  fail "two builds share a product code"
[ "$(property "$msi" ARPPRODUCTICON)" = Tervix.ico ] || fail "Installed apps shows no icon of the package's"
# The long names of the installed files.
files=$(msiinfo export "$msi" File | tr -d '\r' | awk -F'\t' 'NR > 3 { n = $3; sub(/^.*\|/, "", n); print n }' |
        sort | tr '\n' ' ')
[ "$files" = "Tervix.exe Uninstall.exe zip.fmt " ] || fail "installs $files"
(cd "$work" && msiinfo extract "$msi" Icon.Tervix.ico >icon && msiinfo extract "$msi" Binary.TvxProgram >program)
cmp -s "$work/icon" "$root/uninstall/resources/Tervix.ico" || fail "the icon is not the program's"
cmp -s "$work/program" "$1/Uninstall.exe" || fail "the removal's copy is not the program"
echo "$msi installs $files, with the program's icon and its copy for the removal"
