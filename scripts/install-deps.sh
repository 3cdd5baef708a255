#!/usr/bin/env bash
set -euo pipefail
# Installs what building and running need, from Debian's packages; with --tests also what
# the tests need, with --package what making and checking the Debian package needs, with
# --windows what the Windows build and its tests under Wine need.
packages=(cmake ninja-build g++ qt6-base-dev libgl-dev libexiv2-dev libtag1-dev pkg-config
          libgtest-dev googletest tzdata)
# For the tests: fusefat and dosfstools (a FAT volume through FUSE), ntfs-3g, e2fsprogs and
# attr (loop-mounted volumes), samba, smbclient and python3-samba (Samba reads what ZOV writes),
# ExifTool, id3v2 and flac (the photo and song tags read what they write), with Qt's image
# formats and heif-enc to make the pictures.
# For the Debian package: dpkg-dev (the libraries it needs), and the checks of its metadata
# and of the package itself.
# For the Windows build: mingw-w64 and Qt's host tools, zip, and Wine with Xvfb to run it
# (GoogleTest's source is the googletest package above).
# For the fuzz targets (tests/fuzz/run.sh): clang with its libFuzzer and sanitizer runtimes.
case "${1:-}" in
--tests) packages+=(fusefat dosfstools ntfs-3g e2fsprogs attr samba smbclient python3-samba
                    libimage-exiftool-perl id3v2 flac qt6-image-formats-plugins
                    libheif-examples python3-pyatspi at-spi2-core dbus-daemon xvfb xauth
                    libfuse3-dev fuse3) ;;
--package) packages+=(dpkg-dev file appstream desktop-file-utils lintian xvfb xauth) ;;
--fuzz) packages+=(clang libclang-rt-14-dev) ;;
--windows) packages+=(g++-mingw-w64-x86-64-posix qt6-base-dev-tools wine wine64 zip unzip xz-utils
                      xvfb xauth fonts-dejavu-core) ;;
esac
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
