#!/usr/bin/env bash
# Builds the product's packages around Uninstall.exe and a payload of the product's
# other files: the Windows Installer package Tervix-<version>-x64.msi (Debian's wixl)
# and the setup program Tervix-<version>-setup.exe (Debian's NSIS).
#
#   scripts/package.sh [--version X.Y.Z] [--out DIR] [--payload DIR] [--no-build]
#
# --version  the product version the packages carry (default: the program's own)
# --out      where the packages go (default: build/packages)
# --payload  a folder whose files stand for the product's other components; by default
#            the sample install of scripts/run.sh, laid out here
# --no-build use the Uninstall.exe of an existing build instead of building first (the
#            test build packages what it has just built)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVX_BUILD_DIR:-$root/build}

# The program's own version, from the constants of its uninstall entry.
program_version() {
  local source="$root/uninstall/integration/UninstallEntry.cpp" major minor number
  major=$(sed -n 's/.*kVersionMajor = \([0-9]*\);.*/\1/p' "$source")
  minor=$(sed -n 's/.*kVersionMinor = \([0-9]*\);.*/\1/p' "$source")
  number=$(sed -n 's/.*kBuildNumber = \([0-9]*\);.*/\1/p' "$source")
  echo "$major.$minor.$number"
}

version=$(program_version)
out="$build/packages"
payload=""
build_first=1
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version="${2:?--version needs X.Y.Z}"; shift 2 ;;
    --out) out="${2:?--out needs a folder}"; shift 2 ;;
    --payload) payload="${2:?--payload needs a folder}"; shift 2 ;;
    --no-build) build_first=0; shift ;;
    *) echo "usage: $0 [--version X.Y.Z] [--out DIR] [--payload DIR] [--no-build]" >&2; exit 2 ;;
  esac
done
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "version must read X.Y.Z: $version" >&2; exit 2; }

"$root/scripts/setup-packages.sh"
if [ "$build_first" = 1 ]; then
  "$root/scripts/build.sh" >/dev/null
fi
program="$build/Uninstall.exe"
[ -f "$program" ] || { echo "no program to package: $program" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The files every package installs: the program and the payload, in one staging folder.
stage="$build/package-stage/$version"
rm -rf "$stage"
mkdir -p "$stage"
cp "$program" "$stage/"
if [ -n "$payload" ]; then
  [ -d "$payload" ] || { echo "no payload folder: $payload" >&2; exit 1; }
  cp -r "$payload/." "$stage/"
else
  # The sample install of scripts/run.sh: stand-ins for the product's other components.
  for f in Tervix.exe tvxext.dll tvxext32.dll Tervix.chm Tvx.txt WhatsNew.txt; do
    echo "sample" >"$stage/$f"
  done
fi

# ---- Windows Installer package: Tervix-<version>-x64.msi ------------------------------
# Built by wixl from packaging/Tervix.wxs and a fragment of the payload's components;
# then the custom action rows that wixl cannot write are set with msibuild, and the
# tables are checked with msiinfo, since a wrong type or number fails only at install.
build_msi() {
  local work="$build/package-work/msi-$version" msi="$out/Tervix-$version-x64.msi"
  rm -rf "$work"
  mkdir -p "$work"
  # Every staged file but the program, which the source names itself.
  (cd "$stage" && find . -type f ! -path ./Uninstall.exe | sed 's#^\./##' | sort) |
    wixl-heat --prefix "" --directory-ref INSTALLDIR --component-group Payload --var var.StageDir --win64 \
      >"$work/Payload.wxs"
  # wixl takes the files it packs by names relative to the folder it runs in.
  ln -s "$stage" "$work/stage"
  cp "$root/uninstall/resources/Tervix.ico" "$work/"
  (cd "$work" && wixl -a x64 -D Version="$version" -D StageDir=stage -D Win64=yes -D Icon=Tervix.ico \
                      -o Tervix.msi "$root/packaging/Tervix.wxs" Payload.wxs 2>wixl.log) ||
    { cat "$work/wixl.log" >&2; echo "wixl failed" >&2; exit 1; }

  local unregister='"/unregister=[INSTALLDIR]" -s{ /log="[TVXLOG]"}' upgrade_code
  upgrade_code=$(msiinfo export "$work/Tervix.msi" Property | tr -d '\r' | awk -F'\t' '$1 == "UpgradeCode" { print $2 }')
  local fixes=(
    # Immediate actions: wixl adds the no-impersonation bit, which only deferred ones take.
    "UPDATE \`CustomAction\` SET \`Type\` = 51 WHERE \`Type\` = 2099"
    # The removal of the integration (2 exe in the Binary table + 1024 in script + 2048
    # as SYSTEM), before the files go, and the same as the rollback of the setup run
    # (+ 256 rollback + 64 result ignored), before the action it undoes.
    "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('TvxRemove', 3074, 'TvxProgram', '$unregister')"
    "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('TvxRemove', 'REMOVE~=\"ALL\"', 1510)"
    "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('TvxSetupRollback', 3394, 'TvxProgram', '$unregister')"
    "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('TvxSetupRollback', 'NOT REMOVE~=\"ALL\"', 6590)"
    # Passed from the command line to the installing service in every install.
    "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;INSTALLDIR;TVXINIT;ASSOCIATE;SHELLEXTENSION;DESKTOPSHORTCUT;STARTMENUSHORTCUT;TVXLOG' WHERE \`Property\` = 'SecureCustomProperties'"
    # Another build of the same version replaces the installed one (each build has a
    # product code of its own): the older-versions row includes its maximum (512), and
    # the features move on (1). The attributes are part of the row's key: a new row.
    "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
    "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
  )
  local fix
  for fix in "${fixes[@]}"; do
    msibuild "$work/Tervix.msi" -q "$fix" || { echo "msibuild failed: $fix" >&2; exit 1; }
  done

  # The custom actions as they must stand: name, type, sequence.
  local expected=(
    "TvxInstallLocation 51 1001" "TvxOptions 51 1025" "TvxLogBesideInstallerLog 51 1026"
    "TvxRemove 3074 1510" "TvxSetupRollback 3394 6590" "TvxSetup 3090 6591"
  )
  local actions sequence row name type number
  actions=$(msiinfo export "$work/Tervix.msi" CustomAction | tr -d '\r')
  sequence=$(msiinfo export "$work/Tervix.msi" InstallExecuteSequence | tr -d '\r')
  for row in "${expected[@]}"; do
    read -r name type number <<<"$row"
    awk -F'\t' -v n="$name" -v t="$type" '$1 == n && $2 == t { found = 1 } END { exit !found }' <<<"$actions" &&
      awk -F'\t' -v n="$name" -v s="$number" '$1 == n && $3 == s { found = 1 } END { exit !found }' <<<"$sequence" ||
      { echo "custom action $name is not of type $type at $number" >&2; exit 1; }
  done
  # No action of another type slipped in: every immediate one only sets a property.
  awk -F'\t' 'NR > 3 && $2 != 51 && $2 != 3074 && $2 != 3090 && $2 != 3394 { print "unexpected custom action: " $0; bad = 1 }
              END { exit bad }' <<<"$actions" >&2 || exit 1

  mv "$work/Tervix.msi" "$msi"
  echo "$msi"
}
build_msi
# ---- end of the Windows Installer package ----------------------------------------------

# ---- The setup program ----------------------------------------------------------------
# Tervix-<version>-setup.exe, from packaging/Tervix.nsi (Debian's NSIS), installs the
# staged files; the winget manifests of packaging/winget/ describe it, with its version
# and SHA-256 filled in, under winget/<version>/ beside it.

# A staged name as NSIS source text: backslashes for Windows, "$" doubled (NSIS's
# variable sign).
nsis_name() { printf '%s' "$1" | sed -e 's/\$/$$/g' -e 's|/|\\|g'; }
nsis_path() { printf '%s' "$1" | sed -e 's/\$/$$/g'; }

# The payload as macros that the script expands once per folder or file.
write_payload_macros() {
  local folders files name
  folders=$(cd "$stage" && find . -mindepth 1 -type d -printf '%P\n' | LC_ALL=C sort)
  files=$(cd "$stage" && find . -mindepth 1 -type f -printf '%P\n' | LC_ALL=C sort)
  printf '; The files of Tervix %s staged in %s, listed by scripts/package.sh.\n' "$version" "$stage"
  printf '!define TVX_STAGE "%s"\n' "$(nsis_path "$stage")"
  for order in TvxPayloadFolders TvxPayloadFoldersDeepestFirst; do
    printf '!macro %s DO\n' "$order"
    if [ "$order" = TvxPayloadFolders ]; then sorted=$folders; else sorted=$(printf '%s\n' "$folders" | LC_ALL=C sort -r); fi
    while IFS= read -r name; do
      [ -n "$name" ] && printf '  !insertmacro ${DO} "%s"\n' "$(nsis_name "$name")"
    done <<<"$sorted"
    printf '!macroend\n'
  done
  printf '!macro TvxPayloadFiles DO\n'
  while IFS= read -r name; do
    [ -n "$name" ] && printf '  !insertmacro ${DO} "%s" "%s"\n' "$(nsis_name "$name")" "$(nsis_path "$name")"
  done <<<"$files"
  printf '!macroend\n'
}

build_setup_program() {
  local work="$build/package-work/setup-$version" setup="$out/Tervix-$version-setup.exe"
  local winget="$out/winget/$version" sha template
  rm -rf "$work" "$winget"
  mkdir -p "$work" "$winget"
  write_payload_macros >"$work/payload.nsh"
  makensis -V2 "-DTVX_VERSION=$version" "-DTVX_PAYLOAD=$work/payload.nsh" "-DTVX_OUTFILE=$setup" \
           "-DTVX_ICON=$root/uninstall/resources/Tervix.ico" "$root/packaging/Tervix.nsi" >"$work/makensis.log" ||
    { cat "$work/makensis.log" >&2; echo "makensis failed" >&2; exit 1; }
  sha=$(sha256sum "$setup" | cut -d' ' -f1 | tr a-f A-F)
  for template in "$root"/packaging/winget/*.yaml; do
    sed -e "s/{{version}}/$version/g" -e "s/{{sha256}}/$sha/g" "$template" >"$winget/$(basename "$template")"
  done
  python3 "$root/packaging/winget/check.py" "$winget" "$setup"
  echo "setup program: $setup ($(stat -c %s "$setup") bytes), winget manifests: $winget"
}
build_setup_program
