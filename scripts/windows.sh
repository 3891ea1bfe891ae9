#!/usr/bin/env bash
# Builds the Windows programs on Debian with mingw-w64 and a static Qt 5.15, checks what they carry
# and import, packs build/windows/zel-qt-patcher-<version>-windows-x64.zip, then runs the engine's
# tests and drives the window under wine.
# Usage: scripts/windows.sh [build]     (build: stop once the zip is made)
# The static Qt comes from ZEL_QT_MINGW_TARBALL (by default the one in ../shared/toolchains) when it is
# there, else it is built from Debian's source package (about 95 minutes on two busy cores); either way it is kept in
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
    say "no Qt tarball at $qt_tarball: building Qt from Debian's $qt_source $qt_source_version (about 95 minutes on two busy cores)"
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
    chmod 755 "$work" # apt downloads as its own user, who must reach the folder
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

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
zip_name="zel-qt-patcher-$version-windows-x64"
# The same bytes from the same commit: strip dates the programs, and zip its entries, by it.
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}"
say "installing the programs stripped into $out/install"
rm -rf "${out:?}/$zip_name" "$out/$zip_name.zip" "$out/install"
cmake --install "$build" --prefix "$out/install" --strip >/dev/null
# What goes into the zip: the installed programs, stripped.
programs=("$out/install/bin/zel-qt-patcher.exe" "$out/install/bin/zel-qt-patcher-cli.exe")
for program in "${programs[@]}"; do
    name="${program##*/}"
    say "checking what $name carries and imports"
    # Only Windows' own DLLs: a DLL of Qt or of the compiler would be missing on a user's machine.
    imports="$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z')"
    foreign="$(grep -vxE 'msvcrt|advapi32|comdlg32|dwmapi|gdi32|imm32|kernel32|netapi32|ole32|oleaut32|shell32|shlwapi|user32|userenv|uxtheme|version|winmm|ws2_32|wtsapi32|mpr|crypt32|winspool|setupapi|d3d9|dxgi|opengl32|ntdll' <<<"${imports//.dll/}" || true)"
    [[ -z "$foreign" ]] || fail "$name imports DLLs that are not part of Windows: $foreign"
    # The resource types at the top of .rsrc: icon (3), icon group (14), version (16), manifest (24).
    types="$(x86_64-w64-mingw32-objdump -p "$program" | sed -n '/The .rsrc Resource Directory/,$p' |
        sed -nE 's/^[0-9a-f]{3}   Entry: ID: 0x0*([0-9a-f]+),.*/\1/p' | paste -sd' ')"
    [[ "$types" == "3 e 10 18" ]] || fail "$name has the resource types '$types', not icon, icon group, version and manifest"
    x86_64-w64-mingw32-objcopy -O binary --only-section=.rsrc "$program" "$out/resources.bin"
    grep -q 'level="asInvoker"' "$out/resources.bin" && grep -q 'Microsoft.Windows.Common-Controls" version="6' "$out/resources.bin" ||
        fail "$name's manifest does not ask for the invoking user's rights and common controls 6"
    strings -e l "$out/resources.bin" | grep -x "$version" >/dev/null || fail "$name's version resource does not say $version"
    rm "$out/resources.bin"
done

say "packing $out/$zip_name.zip"
mkdir "$out/$zip_name"
cp "$out/install/bin/zel-qt-patcher.exe" "$out/install/bin/zel-qt-patcher-cli.exe" "$out/$zip_name/"
sed "s/@VERSION@/$version/" "$root/packaging/windows/README.txt" >"$out/$zip_name/README.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$out/$zip_name" "$out/$zip_name"/*
# -X: no extra attributes (owner, Unix times).
(cd "$out" && TZ=UTC zip -qX -r "$zip_name.zip" "$zip_name" -x "$zip_name/README.txt" &&
    TZ=UTC zip -qX -l "$zip_name.zip" "$zip_name/README.txt") # -l: CR LF line endings, as Notepad expects

[[ "${1:-}" == build ]] && { say "built $out/$zip_name.zip"; exit 0; }

export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    say "making the wine prefix $WINEPREFIX (about 20 s)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >"$out/wineboot.log" 2>&1 || fail "wine could not make its prefix; see $out/wineboot.log"
    timeout 60 wineserver -w || true # until what wineboot started has ended
fi

cli="$out/install/bin/zel-qt-patcher-cli.exe"
say "asking zel-qt-patcher-cli.exe under wine for its version and, in English, its help"
[[ "$(wine "$cli" --version 2>/dev/null | tr -d '\r')" == "zel-qt-patcher-cli $version" ]] || fail "zel-qt-patcher-cli.exe --version does not say $version"
help="$(env LC_ALL=en_US.UTF-8 wine "$cli" --help 2>/dev/null)"
[[ "$help" == "Usage: zel-qt-patcher-cli"* ]] || fail "zel-qt-patcher-cli.exe does not speak English"

# wine hides every QT_* variable from the programs, so the window's tests are told their platform
# on the command line.
status=0
mkdir -p "$out/tests"
# A program that leaves no report at all did not get through wine (once in many CI runs, never again
# by hand): what it said is shown and it is run once more, so that a hiccup of wine is told from a
# failing test, which a report always names.
run_test() {
    local program="$1" report="$out/tests/$1.txt" errors="$out/tests/$1.stderr"
    shift
    local try code
    for try in 1 2; do
        rm -f "$report"
        say "running $program under wine"
        code=0
        (cd "$build/tests" && LC_ALL=C.UTF-8 timeout -k 10 300 wine "$program.exe" "$@" \
            -o "Z:$report,txt" 2>"$errors") || code=$?
        [[ -s "$report" ]] && break
        echo "  no report from $program (exit status $code); what it wrote to stderr, last lines:"
        grep -v 'Read access denied for device' "$errors" | tail -n 10 | sed 's/^/    /' || true
        [[ $try -eq 1 ]] && echo "  running $program once more"
    done
    [[ -s "$report" ]] || { status=1; return; }
    [[ $code -eq 0 ]] || status=1
    sed -n 's/^Totals: /  /p' "$report"
    grep -E '^(FAIL!|SKIP) ' "$report" | sed 's/^/  /' || true
}
run_test tst_engine
run_test tst_metadata
run_test tst_elf
run_test tst_window -platform offscreen
[[ $status -eq 0 ]] || fail "a test failed under wine; the reports are in $out/tests"

say "trying the command line under wine on a MinGW installation (tests/cli-test-wine.sh)"
timeout -k 10 300 "$root/tests/cli-test-wine.sh" "$out" || fail "the command-line test failed under wine"
say "driving the window under wine (tests/window-test-wine.sh)"
timeout -k 10 300 "$root/tests/window-test-wine.sh" "$out" || fail "the window test failed under wine"
say "passed; the zip is $out/$zip_name.zip"
