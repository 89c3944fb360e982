#!/usr/bin/env bash
# Builds the Windows Installer package as the README says, from the program just built,
# and reads its tables back with msiinfo: named after the program's version by default,
# product and publisher, the program's icon, no Modify button, the program with the
# files of a payload named by --payload (and only those), the program again for the
# rollback, one upgrade code for good and a product code of each build's own, and the
# refusal of an older version over a newer one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*" >&2; exit 1; }

mkdir -p "$work/payload/Formats"
echo "main program" >"$work/payload/Tervix.exe"
echo "format" >"$work/payload/Formats/zip.fmt"
TVX_BUILD_DIR="$build" "$root/scripts/package.sh" --no-build --out "$work/first" --payload "$work/payload" >/dev/null
TVX_BUILD_DIR="$build" "$root/scripts/package.sh" --no-build --out "$work/second" >/dev/null
msi="$work/first/Tervix-6.24.1-x64.msi"
[ -f "$msi" ] || fail "no package named after the program's version 6.24.1: $(ls "$work/first")"

property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v n="$2" '$1 == n { print $2 }'; }
for row in "ProductName|Tervix" "Manufacturer|Norvane Labs" "ProductVersion|6.24.1" "ARPNOMODIFY|1" \
           "ARPPRODUCTICON|Tervix.ico" "UpgradeCode|{5A3F6C1E-8D24-4B7A-9E0F-1C6D2B8A4E73}"; do
  [ "$(property "$msi" "${row%%|*}")" = "${row#*|}" ] || fail "property ${row%%|*} is not ${row#*|}"
done
second="$work/second/Tervix-6.24.1-x64.msi"
[ "$(property "$second" UpgradeCode)" = "$(property "$msi" UpgradeCode)" ] || fail "the upgrade code changed"
[ "$(property "$second" ProductCode)" != "$(property "$msi" ProductCode)" ] || fail "two builds share a product code"

# The long names of the installed files.
files=$(msiinfo export "$msi" File | tr -d '\r' | awk -F'\t' 'NR > 3 { n = $3; sub(/^.*\|/, "", n); print n }' | sort |
        tr '\n' ' ')
[ "$files" = "Tervix.exe Uninstall.exe zip.fmt " ] || fail "installs $files"
# Read whole before matching: grep -q would end the pipe early.
grep -q 'tvxext.dll' <<<"$(msiinfo export "$second" File)" || fail "the sample payload is not in the default package"

(cd "$work" && msiinfo extract "$msi" Icon.Tervix.ico >icon && msiinfo extract "$msi" Binary.TvxProgram >program)
cmp -s "$work/icon" "$root/uninstall/resources/Tervix.ico" || fail "the icon is not the program's"
cmp -s "$work/program" "$build/Uninstall.exe" || fail "the rollback's copy is not the program"
grep -q 'NOT WIX_DOWNGRADE_DETECTED.A newer version of Tervix is already installed' \
  <<<"$(msiinfo export "$msi" LaunchCondition)" || fail "an older version is not refused over a newer one"
echo "$msi: Tervix 6.24.1 by Norvane Labs installing $files; the icon and the rollback copy in place"
