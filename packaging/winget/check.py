#!/usr/bin/env python3
"""Checks a filled-in winget manifest set against the rules of winget's manifest schema
1.10.0 (required fields, types, enumerations, patterns, lengths, unknown fields) and
against the setup program it describes.

    check.py <folder with the three manifests> <setup program>

Reads the plain YAML these manifests are written in: mappings, lists of scalars or of
mappings, and single-line scalars. Prints every fault and exits with 1 when there is one.
"""
import hashlib
import os
import re
import sys

LOCALE = r"^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$"
URL = r"^([Hh][Tt][Tt][Pp][Ss]?)://.+$"
SHA256 = r"^[A-Fa-f0-9]{64}$"
IDENTIFIER = r"^[^\.\s\\/:\*\?\"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?\"<>\|\x01-\x1f]{1,32}){1,7}$"
VERSION = r"^[^\\/:\*\?\"<>\|\x01-\x1f]+$"
# The setup program's switch for each scope of winget.
SCOPE_SWITCHES = {"machine": "/ALLUSERS", "user": "/CURRENTUSER"}


def parse_scalar(text):
    text = text.strip()
    if len(text) >= 2 and text[0] == text[-1] and text[0] in "'\"":
        return text[1:-1]
    if re.fullmatch(r"-?[0-9]+", text):
        return int(text)
    return text


def parse(lines, start, indent):
    """Parses the block of lines[start:] indented by `indent`; returns (value, next line)."""
    if lines[start][0] == indent and lines[start][1].startswith("- "):
        items = []
        i = start
        while i < len(lines) and lines[i][0] == indent and lines[i][1].startswith("- "):
            rest = lines[i][1][2:]
            if re.match(r"^[A-Za-z0-9]+:", rest):
                # A mapping whose first key stands on the dash's line.
                sub = [(indent + 2, rest)]
                j = i + 1
                while j < len(lines) and lines[j][0] > indent:
                    sub.append(lines[j])
                    j += 1
                value, _ = parse(sub, 0, indent + 2)
                items.append(value)
                i = j
            else:
                items.append(parse_scalar(rest))
                i += 1
        return items, i
    mapping = {}
    i = start
    while i < len(lines) and lines[i][0] == indent:
        match = re.match(r"^([A-Za-z0-9]+):(.*)$", lines[i][1])
        if not match:
            raise ValueError("cannot read: " + lines[i][1])
        key, rest = match.group(1), match.group(2)
        if key in mapping:
            raise ValueError("field given twice: " + key)
        if rest.strip():
            mapping[key] = parse_scalar(rest)
            i += 1
        elif i + 1 < len(lines) and lines[i + 1][0] > indent:
            mapping[key], i = parse(lines, i + 1, lines[i + 1][0])
        else:
            mapping[key] = None
            i += 1
    return mapping, i


def load(path):
    lines = []
    with open(path, encoding="utf-8") as stream:
        for raw in stream:
            stripped = raw.rstrip("\r\n")
            if not stripped.strip() or stripped.lstrip().startswith("#"):
                continue
            lines.append((len(stripped) - len(stripped.lstrip(" ")), stripped.strip()))
    value, end = parse(lines, 0, 0)
    if end != len(lines):
        raise ValueError("cannot read past: " + lines[end][1])
    return value


# Field rules: type ("str", "int", "list", "map"), and optionally enum, pattern,
# length range, items (a rule for list items), fields (rules of a mapping's fields),
# required (fields a mapping must have).
def text(pattern=None, low=None, high=None, enum=None):
    return {"type": "str", "pattern": pattern, "low": low, "high": high, "enum": enum}


def listing(item, high=None):
    return {"type": "list", "items": item, "high": high}


def mapping(fields, required=()):
    return {"type": "map", "fields": fields, "required": required}


COMMON = {
    "PackageIdentifier": text(IDENTIFIER, high=128),
    "PackageVersion": text(VERSION, high=128),
    "ManifestVersion": text(r"^1\.10\.0$"),
}
VERSION_MANIFEST = mapping(
    dict(COMMON, DefaultLocale=text(LOCALE, high=20), ManifestType=text(enum=["version"])),
    ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"])
LOCALE_MANIFEST = mapping(
    dict(COMMON, PackageLocale=text(LOCALE, high=20), Publisher=text(low=2, high=256),
         PublisherUrl=text(URL, high=2048), PublisherSupportUrl=text(URL, high=2048),
         PrivacyUrl=text(URL, high=2048), Author=text(low=2, high=256), PackageName=text(low=2, high=256),
         PackageUrl=text(URL, high=2048), License=text(low=3, high=512), LicenseUrl=text(URL, high=2048),
         Copyright=text(low=3, high=512), CopyrightUrl=text(URL, high=2048),
         ShortDescription=text(low=3, high=256), Description=text(low=3, high=10000),
         Moniker=text(low=1, high=40), Tags=listing(text(low=1, high=40), 16),
         ReleaseNotes=text(low=1, high=10000), ReleaseNotesUrl=text(URL, high=2048),
         InstallationNotes=text(low=1, high=10000), ManifestType=text(enum=["defaultLocale"])),
    ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName", "License",
     "ShortDescription", "ManifestType", "ManifestVersion"])

RETURN_RESPONSES = ["packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse",
                    "missingDependency", "diskFull", "insufficientMemory", "invalidParameter", "noNetwork",
                    "contactSupport", "rebootRequiredToFinish", "rebootRequiredForInstall", "rebootInitiated",
                    "cancelledByUser", "alreadyInstalled", "downgrade", "blockedByPolicy", "systemNotSupported",
                    "custom"]
RETURN_CODE = {"type": "int", "low": -2147483648, "high": 4294967295, "not": 0}
SWITCH = text(low=1, high=512)
INSTALLER_FIELDS = {
    "InstallerLocale": text(LOCALE, high=20),
    "Platform": listing(text(enum=["Windows.Desktop", "Windows.Universal"]), 2),
    "MinimumOSVersion": text(r"^[0-9]+(\.[0-9]+){0,3}$"),
    "InstallerType": text(enum=["msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa",
                                "portable", "advinstExe", "advinstMsi"]),
    "Scope": text(enum=["user", "machine"]),
    "InstallModes": listing(text(enum=["interactive", "silent", "silentWithProgress"]), 3),
    "InstallerSwitches": mapping({name: SWITCH for name in
                                  ["Silent", "SilentWithProgress", "Interactive", "InstallLocation", "Log",
                                   "Upgrade", "Repair"]} | {"Custom": text(low=1, high=2048)}),
    "InstallerSuccessCodes": listing(RETURN_CODE, 16),
    "ExpectedReturnCodes": listing(mapping({"InstallerReturnCode": RETURN_CODE,
                                            "ReturnResponse": text(enum=RETURN_RESPONSES),
                                            "ReturnResponseUrl": text(URL, high=2048)},
                                           ["InstallerReturnCode", "ReturnResponse"]), 128),
    "UpgradeBehavior": text(enum=["install", "uninstallPrevious", "deny"]),
    "Commands": listing(text(low=1, high=40), 16),
    "FileExtensions": listing(text(VERSION, high=64), 512),
    "ElevationRequirement": text(enum=["elevationRequired", "elevationProhibited", "elevatesSelf"]),
    "UnsupportedArguments": listing(text(enum=["log", "location"])),
    "InstallationMetadata": mapping({"DefaultInstallLocation": text(low=1, high=2048)}),
}
INSTALLER = mapping(dict(INSTALLER_FIELDS, Architecture=text(enum=["x86", "x64", "arm", "arm64", "neutral"]),
                         InstallerUrl=text(URL, high=2048), InstallerSha256=text(SHA256)),
                    ["Architecture", "InstallerUrl", "InstallerSha256"])
INSTALLER_MANIFEST = mapping(
    dict(COMMON, **INSTALLER_FIELDS, Installers=listing(INSTALLER, 1024),
         ManifestType=text(enum=["installer"])),
    ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"])


def check(value, rule, where, faults):
    kind = rule["type"]
    if kind == "map":
        if not isinstance(value, dict):
            faults.append(f"{where}: not a mapping")
            return
        for name in rule["required"]:
            if value.get(name) is None:
                faults.append(f"{where}: {name} is missing")
        for name, field in value.items():
            if name not in rule["fields"]:
                faults.append(f"{where}: unknown field {name}")
            elif field is not None:
                check(field, rule["fields"][name], f"{where}.{name}", faults)
    elif kind == "list":
        if not isinstance(value, list):
            faults.append(f"{where}: not a list")
            return
        if not value or (rule["high"] and len(value) > rule["high"]):
            faults.append(f"{where}: {len(value)} items")
        if len(set(map(repr, value))) != len(value):
            faults.append(f"{where}: an item is given twice")
        for index, item in enumerate(value):
            check(item, rule["items"], f"{where}[{index}]", faults)
    elif kind == "int":
        if not isinstance(value, int) or value == rule["not"] or not rule["low"] <= value <= rule["high"]:
            faults.append(f"{where}: {value!r} is not an allowed code")
    else:
        value = str(value)
        if rule["enum"] and value not in rule["enum"]:
            faults.append(f"{where}: {value!r} is not one of {', '.join(rule['enum'])}")
        if rule["pattern"] and not re.search(rule["pattern"], value):
            faults.append(f"{where}: {value!r} does not match {rule['pattern']}")
        if (rule["low"] and len(value) < rule["low"]) or (rule["high"] and len(value) > rule["high"]):
            faults.append(f"{where}: {len(value)} characters")


def main(folder, setup):
    faults = []
    identifier = "NorvaneLabs.Tervix"
    manifests = {}
    for kind, rule, name in [("version", VERSION_MANIFEST, identifier + ".yaml"),
                             ("installer", INSTALLER_MANIFEST, identifier + ".installer.yaml"),
                             ("defaultLocale", LOCALE_MANIFEST, identifier + ".locale.en-US.yaml")]:
        path = os.path.join(folder, name)
        try:
            manifests[kind] = load(path)
        except (OSError, ValueError) as error:
            faults.append(f"{name}: {error}")
            continue
        check(manifests[kind], rule, name, faults)
    if len(manifests) == 3 and not faults:
        version = manifests["version"]["PackageVersion"]
        for kind, manifest in manifests.items():
            if manifest["PackageIdentifier"] != identifier or manifest["PackageVersion"] != version:
                faults.append(f"{kind}: another package or version")
        if manifests["defaultLocale"]["PackageLocale"] != manifests["version"]["DefaultLocale"]:
            faults.append("defaultLocale: not the version manifest's default locale")
        with open(setup, "rb") as stream:
            digest = hashlib.sha256(stream.read()).hexdigest()
        scopes = []
        for index, installer in enumerate(manifests["installer"]["Installers"]):
            where = f"installer: Installers[{index}]"
            if installer["InstallerSha256"].lower() != digest:
                faults.append(f"{where}: InstallerSha256 is not that of {setup}")
            if not installer["InstallerUrl"].endswith("/" + os.path.basename(setup)):
                faults.append(f"{where}: InstallerUrl does not name {os.path.basename(setup)}")
            scope = installer.get("Scope", manifests["installer"].get("Scope"))
            scopes.append(scope)
            # The setup program learns the scope only from its own switch.
            custom = (installer.get("InstallerSwitches") or {}).get("Custom", "")
            if SCOPE_SWITCHES.get(scope) not in str(custom).split():
                faults.append(f"{where}: a {scope} installer without {SCOPE_SWITCHES.get(scope)}")
        # The one setup program serves both scopes, each named once.
        if sorted(scopes, key=str) != ["machine", "user"]:
            faults.append(f"installer: scopes {scopes}, not one machine and one user installer")
    for fault in faults:
        print("winget manifest: " + fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
