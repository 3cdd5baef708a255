#!/usr/bin/env bash
# Builds the Debian package, checks its metadata and the package itself, installs it,
# starts the installed program, and removes it again, checking that no file is left.
# Installs and removes the system package zov: as root, or with sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/package.sh
deb=$(ls "${ZOV_BUILD_DIR:-build}"/zov_*.deb)
appstreamcli validate --no-net app/io.github.zovrenamer.zov.metainfo.xml
desktop-file-validate app/io.github.zovrenamer.zov.desktop
echo "lintian:"
lintian --fail-on error --tag-display-limit 0 "$deb"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "./$deb"
files=$(dpkg -L zov)
[ "$(/usr/bin/zov --version)" = "zov $(dpkg-query -W -f='${Version}' zov)" ]
/usr/bin/zov --help | grep -q '^Usage: zov \[FOLDER\]'
# The window shows: the program stays up on a display of its own until it is stopped.
rc=0
xvfb-run -a timeout 10 /usr/bin/zov /usr/share/doc/zov || rc=$?
[ "$rc" -eq 124 ] || { echo "the installed zov did not stay up (exit $rc)" >&2; exit 1; }
"${sudo[@]}" dpkg -r zov
left=()
while read -r f; do
    if [ -f "$f" ] || [ -L "$f" ]; then
        left+=("$f")
    fi
done <<<"$files"
[ ${#left[@]} -eq 0 ] || { echo "left behind by dpkg -r: ${left[*]}" >&2; exit 1; }
echo "The package installs, starts and goes away cleanly: $deb"
