#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages.
set -euo pipefail
# fusefat and dosfstools: the tests rename on a FAT volume through FUSE.
packages=(cmake ninja-build g++ qt6-base-dev libgl-dev libgtest-dev googletest tzdata fusefat
    dosfstools)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
