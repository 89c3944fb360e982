#!/usr/bin/env bash
# Checks the setup program that scripts/package.sh built into the folder $1: a 64-bit
# Windows GUI program, described by winget manifests (winget/<version>/ beside it) that
# follow winget's schema and name its SHA-256; and that the manifest check refuses each
# of a set of broken manifests, so that its pass means something.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
packages="$1"
setups=("$packages"/Tervix-*-setup.exe)
[ ${#setups[@]} = 1 ] && [ -f "${setups[0]}" ] || { echo "no single setup program in $packages"; exit 1; }
setup=${setups[0]}
version=${setup##*/Tervix-}
version=${version%-setup.exe}

# Read whole before grep looks: grep -q ends at the first match, and objdump, cut off
# mid-write, would fail the pipeline.
headers=$(x86_64-w64-mingw32-objdump -f -p "$setup")
grep -q 'architecture: i386:x86-64' <<<"$headers" || { echo "not x86-64"; exit 1; }
grep -q '^Subsystem[[:space:]]*00000002' <<<"$headers" || { echo "not a GUI program"; exit 1; }

check="$root/packaging/winget/check.py"
manifests="$packages/winget/$version"
python3 "$check" "$manifests" "$setup"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# "<manifest>|<sed expression>": each breaks one rule of the schema or of the set.
breaks=(
  'installer|s/ReturnResponse: installInProgress/ReturnResponse: anotherRunInProgress/'
  'installer|s/InstallerReturnCode: 1$/InstallerReturnCode: 0/'
  'installer|s/^InstallerType: .*/InstallerType: nsis/'
  'installer|s/^    Scope: user/    Scope: everyone/'
  'installer|s/^    Scope: user/    Scope: machine/'
  'installer|s/Custom: \/CURRENTUSER/Custom: \/ALLUSERS/'
  'installer|s/InstallerSha256: \(.\)/InstallerSha256: 0\1/'
  'installer|s/InstallerUrl: https:/InstallerUrl: ftp:/'
  'installer|s/^UpgradeBehavior:/UpgradeBehaviour:/'
  'installer|/^    InstallerSha256:/d'
  'locale.en-US|/^License:/d'
  'locale.en-US|s/^PackageVersion: .*/PackageVersion: 0.0.1/'
  'locale.en-US|s/^ShortDescription: .*/ShortDescription: ab/'
  ''"|s/^ManifestVersion: .*/ManifestVersion: 1.9.0/"
  ''"|s/^PackageIdentifier: .*/PackageIdentifier: Tervix/"
)
status=0
for row in "${breaks[@]}"; do
  kind=${row%%|*}
  broken="$scratch/manifests"
  rm -rf "$broken"
  cp -r "$manifests" "$broken"
  sed -i "${row#*|}" "$broken/NorvaneLabs.Tervix${kind:+.$kind}.yaml"
  if cmp -s "$broken/NorvaneLabs.Tervix${kind:+.$kind}.yaml" "$manifests/NorvaneLabs.Tervix${kind:+.$kind}.yaml"; then
    echo "the break changed nothing: $row"; status=1
  elif python3 "$check" "$broken" "$setup" 2>/dev/null; then
    echo "not refused: $row"; status=1
  fi
done
# The right manifests for another file.
if python3 "$check" "$manifests" "$0" 2>/dev/null; then echo "not refused: a SHA-256 of another file"; status=1; fi
[ $status = 0 ] && echo "$setup: 64-bit GUI setup program; winget manifests follow schema 1.10.0"
exit $status
