#!/usr/bin/env bash
# Usage: check-zip-template.sh <write_templates.exe> <wine-run.sh>
# Writes the templates from a copy of the writer in a temporary folder and has
# Python's zipfile open "zipnew.dat" as an archive without entries.
set -euo pipefail
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
cp "$1" "$sandbox/"
"$2" "$sandbox/$(basename "$1")" >/dev/null
python3 - "$sandbox/zipnew.dat" <<'PY'
import sys, zipfile
path = sys.argv[1]
if not zipfile.is_zipfile(path):
    sys.exit(f"{path} is not a ZIP archive")
with zipfile.ZipFile(path) as archive:
    if archive.namelist():
        sys.exit(f"{path} is not empty: {archive.namelist()}")
    if archive.testzip() is not None:
        sys.exit(f"{path} fails its checks")
print(f"{path}: an empty ZIP archive")
PY
