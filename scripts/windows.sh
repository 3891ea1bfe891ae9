#!/usr/bin/env bash
# Builds the Windows programs on Debian with mingw-w64 and a static Qt 5.15, checks what they carry
# and import, packs build/windows/zel-qt-patcher-<version>-windows-x64.zip, then runs the engine's
# tests and drives the window under wine.
# Usage: scripts/windows.sh [build]     (build: stop once the zip is made)
# The static Qt comes from ZEL_QT_MINGW_TARBALL (by default the one in ../shared/toolchains) when it is
# there, else it is built from Debian's source package (about 50 minutes); either way it is kept in
# ${XDG_CACHE_HOME:-~/.cache}/zel-qt-patcher, under a name made from its recipe, for the next run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build/windows"
jobs=$(($(nproc) < 2 ? $(nproc) : 2))
say() { echo "windows: $*"; }
fail() { echo "windows: FAIL: $*" >&2; exit 1; }

"$root/scripts/deps.sh" windows

# The recipe of the static Qt: Debian 12's qtbase source and the configure line of
# ../shared/toolchains/build-qt5-mingw-static.sh, which made the tarball.
qt_source=qtbase-opensource-src
qt_source_version=5.15.8+dfsg-11+deb12u3
qt_configure=(-xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -static -static-runtime -release -opensource -confirm-license -nomake examples -nomake tests
    -opengl no -no-feature-tabletevent -qt-zlib -qt-pcre -qt-libpng -no-libjpeg -qt-freetype -qt-harfbuzz
    -no-dbus -no-icu -no-sql-odbc -no-sql-sqlite -no-feature-sql)
qt_tarball="${ZEL_QT_MINGW_TARBALL:-${root%/*}/shared/toolchains/qt-5.15.8-mingw-w64-x86_64-static.tar.xz}"
qt_tarball_sha256=3d8e849769491c400574fef4b51d16ab5c1c7e4e672522bd1d92b02aa4ebe355
recipe_key="$(printf '%s\n' "$qt_source_version" "${qt_configure[@]}" | sha256sum | cut -c1-16)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/zel-qt-patcher"
qt="$cache/qt-5.15.8-mingw-w64-x86_64-static-$recipe_key"
# Written last: a folder without it is what an interrupted unpack or build left.
qt_complete="$qt/.complete"

as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

unpack_qt_tarball() {
    say "checking $qt_tarball"
    echo "$qt_tarball_sha256  $qt_tarball" | sha256sum -c --quiet - || fail "$qt_tarball is not the expected Qt"
    say "unpacking it into $qt"
    local staging
    staging="$(mktemp -d "$cache/unpack.XXXXXX")"
    tar -xJf "$qt_tarball" -C "$staging"
    [[ -d "$staging/zel-qt5-mingw/lib/cmake/Qt5" ]] || fail "$qt_tarball holds no zel-qt5-mingw/lib/cmake/Qt5"
    mv "$staging/zel-qt5-mingw" "$qt"
    rmdir "$staging"
}

build_qt_from_source() {
    say "no Qt tarball at $qt_tarball: building Qt from Debian's $qt_source $qt_source_version (about 50 minutes)"
    "$root/scripts/deps.sh" qt-mingw-source
    if [[ -z "$(apt-cache showsrc "$qt_source" 2>/dev/null)" ]]; then
        say "adding Debian's source packages to apt (/etc/apt/sources.list.d/zel-qt-source.sources)"
        local uri
        uri="$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources)"
        printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$uri" | as_root tee /etc/apt/sources.list.d/zel-qt-source.sources >/dev/null
        as_root apt-get update -qq
    fi
    local work
    work="$(mktemp -d "${TMPDIR:-/tmp}/zel-qt-mingw.XXXXXX")"
    (
        cd "$work"
        say "downloading the source into $work"
        apt-get source --download-only -qq "$qt_source=$qt_source_version" >/dev/null
        tar -xf qtbase-opensource-src_5.15.8+dfsg.orig.tar.xz
        mkdir build && cd build
        say "configuring Qt (log: $work/configure.log)"
        ../qtbase-everywhere-src-5.15.8/configure -prefix "$qt" "${qt_configure[@]}" >"$work/configure.log" 2>&1 ||
            fail "Qt's configure failed; see $work/configure.log"
        say "compiling Qt with $jobs jobs (log: $work/make.log)"
        make -j"$jobs" >"$work/make.log" 2>&1 || fail "Qt did not build; see $work/make.log"
        make install >"$work/install.log" 2>&1 || fail "Qt did not install; see $work/install.log"
    )
    rm -rf "$work"
}

mkdir -p "$cache"
if [[ -f "$qt_complete" ]]; then
    say "using the static Qt in $qt"
else
    rm -rf "$qt"
    if [[ -f "$qt_tarball" ]]; then unpack_qt_tarball; else build_qt_from_source; fi
    touch "$qt_complete"
fi

build="$out/build"
mkdir -p "$build"
say "configuring the cross build in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEL_QT_MAJOR=5 \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQt5_DIR="$qt/lib/cmake/Qt5" \
    -DQt5LinguistTools_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools >"$out/configure.log" ||
    fail "CMake could not configure the Windows build; see $out/configure.log"
say "compiling the two programs and the engine's tests with $jobs jobs"
cmake --build "$build" -j"$jobs"
