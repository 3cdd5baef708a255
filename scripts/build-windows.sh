#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 and Qt for Windows, packs it as a folder
# that runs on Windows (zipped), and runs its tests under Wine.
#   ZOV_QT_WINDOWS  the Qt for Windows tarball (default: looked for in ../shared/toolchains)
#   ZOV_WINDOWS_DIR where it all goes (default: build-windows)
#   --no-tests      build and pack only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${ZOV_WINDOWS_DIR:-build-windows}
mkdir -p "$out"
out=$(cd "$out" && pwd)

bash scripts/install-deps.sh --windows

tarball=${ZOV_QT_WINDOWS:-}
if [ -z "$tarball" ]; then
    # Beside the work tree, or where this workplace keeps it for clones made elsewhere.
    for d in ../shared/toolchains /work/shared/toolchains; do
        if [ -f "$d/qt6.4.2-mingw-w64-x86_64.tar.xz" ]; then
            tarball=$d/qt6.4.2-mingw-w64-x86_64.tar.xz
            break
        fi
    done
fi
[ -f "$tarball" ] || { echo "Qt for Windows not found: set ZOV_QT_WINDOWS" >&2; exit 1; }
qt=$out/qt6.4.2-mingw-w64-x86_64
if [ ! -f "$qt/.unpacked" ]; then
    rm -rf "$qt"
    tar -xJf "$tarball" -C "$out"
    touch "$qt/.unpacked"
fi
# exiv2 (and TagLib) for Windows, built from Debian's sources, beside Qt.
media=$out/media-mingw-w64-x86_64
if [ ! -f "$media/.unpacked" ]; then
    rm -rf "$media"
    tar -xJf "$(dirname "$tarball")/media-mingw-w64-x86_64.tar.xz" -C "$out"
    touch "$media/.unpacked"
fi

cmake -S . -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOV_BUILD_BENCH=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_ADDITIONAL_PACKAGES_PREFIX_PATH="$media"
cmake --build "$out/build"

# A folder that runs where nothing is installed: the program, Qt's libraries and plugins,
# and the compiler's runtime beside it.
deploy() { # folder, exe...
    local to=$1
    shift
    rm -rf "$to"
    mkdir -p "$to/platforms" "$to/styles" "$to/imageformats"
    cp "$@" "$to/"
    cp "$qt"/bin/Qt6{Core,Gui,Widgets}.dll "$to/"
    cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$to/platforms/"
    cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$to/styles/"
    cp "$qt/plugins/imageformats/qico.dll" "$to/imageformats/"
    cp "$media/bin/libexiv2.dll" "$media/bin/libtag.dll" "$to/"
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$to/"
    done
}
deploy "$out/zov" "$out/build/zov.exe"
# The zip carries the version in its name, and says what it is and under which licences.
version=$(sed -n 's/^project(zov VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
sed "s/@VERSION@/$version/" packaging/README-windows.txt | sed 's/$/\r/' > "$out/zov/README.txt"
sed 's/$/\r/' LICENSE > "$out/zov/LICENSE.txt"
sed 's/$/\r/' packaging/copyright > "$out/zov/copyright.txt"
zip=zov-$version-windows-x86_64.zip
(cd "$out" && rm -f zov-*windows-x86_64.zip && zip -qr "$zip" zov)
echo "Windows program: $out/$zip"

[ "${1:-}" = --no-tests ] && exit 0
deploy "$out/tests" "$out/build/"{zov_win_tests,zov_win_ui_tests,zov}.exe "$qt/bin/Qt6Test.dll"
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
echo "Windows tests under Wine:"
# A test program that dies under Wine (in a thread, or with its heap broken) may still exit 0:
# a run counts only where it wrote its report to the end and the report has no failure.
passed() { # report.xml
    grep -q '<testsuites tests="[1-9][0-9]*" failures="0" disabled="[0-9]*" errors="0"' "$1" ||
        { echo "the tests under Wine did not all pass (no whole report in $1)" >&2; exit 1; }
}
rm -f "$out/tests/"*.xml
# The random folders' test a third of its size: Wine's file calls are slow.
(cd "$out/tests" && ZOV_FOLDERS=50 wine zov_win_tests.exe --gtest_brief=1 \
    --gtest_output=xml:core.xml)
passed "$out/tests/core.xml"
# The window's tests as on Linux, on Qt's offscreen platform.
(cd "$out/tests" && wine zov_win_ui_tests.exe -platform offscreen --gtest_brief=1 \
    --gtest_filter='Window.*' --gtest_output=xml:window.xml)
passed "$out/tests/window.xml"
# The window as the Windows platform draws it, on a display of its own; and the program
# must start from the zip unpacked in a new folder.
rm -rf "$out/unzipped" && mkdir "$out/unzipped" && (cd "$out/unzipped" && unzip -q "../$zip")
cat > "$out/tests/window.sh" <<'END'
set -e
# A Wine server left from the runs before keeps the screen it met first: start anew on this one.
wineserver -k 2>/dev/null || true
wineserver -w
wine zov_win_ui_tests.exe -platform windows --gtest_brief=1 \
    --gtest_filter='WindowsWindow.*:Window.TheWindowGrowsAndNamesStayWhole'
cd ../unzipped/zov
rc=0
timeout 20 wine zov.exe || rc=$?
wineserver -k || true
[ "$rc" -eq 124 ] || { echo "zov.exe did not stay up (exit $rc)" >&2; exit 1; }
echo "zov.exe started from the unpacked zip"
END
# A screen larger than the window at 1280 × 900, which the Windows platform keeps within it.
(cd "$out/tests" && xvfb-run -a -s "-screen 0 1600x1200x24" bash window.sh)
