#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only when missing.
set -euo pipefail
packages=(cmake ninja-build mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 googletest xvfb
          liblnk-utils python3 procps x11-apps x11-utils imagemagick locales wixl msitools nsis)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
