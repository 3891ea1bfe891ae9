#!/usr/bin/env bash
# Builds the binaries of tests/data/mingw/, a Qt 4.8.7 built with MinGW-w64 for C:/Qt/4.8.7, from
# scripts/fixtures/mingw/ with Debian's cross g++ (installed when missing), and makes mkspecs/default
# from mkspecs/win32-g++ as Qt's configure does on Windows, where it cannot be a link.
# Usage: scripts/make-mingw-fixtures.sh
# The sources lie outside the installation, so that a copy of tests/data/mingw is one and nothing more.
set -euo pipefail

tests=$(cd "$(dirname "$0")/../tests" && pwd)
src=$tests/../scripts/fixtures/mingw
out=$tests/data/mingw
"$tests/../scripts/deps.sh" mingw-fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cxx=x86_64-w64-mingw32-g++
mkdir -p "$out/bin" "$out/lib" "$out/mkspecs/default"

# Without the C runtime (-nostdlib, an entry point of their own) each binary is its slots and little
# more; without a time stamp (--no-insert-timestamp) it comes out the same at every run.
for dll in QtCore4 QtCored4; do
    $cxx -Os -s -DQT_CORE_DLL -shared -nostdlib -Wl,--entry,QtCoreEntry,--no-insert-timestamp \
        -o "$out/bin/$dll.dll" "$src/qconfig.cpp" "$src/qtcore.cpp"
done
$cxx -Os -s -nostdlib -Wl,--entry,qmakeEntry,--subsystem,console,--no-insert-timestamp \
    -o "$out/bin/qmake.exe" "$src/qconfig.cpp" "$src/qmake.cpp" -lkernel32

# The library the linker is given: here one object holding the slots, as a static build's would.
$cxx -Os -c -o "$work/qconfig.o" "$src/qconfig.cpp"
rm -f "$out/lib/libQtCore4.a"
x86_64-w64-mingw32-ar rcsD "$out/lib/libQtCore4.a" "$work/qconfig.o"

# The default mkspec is the one the build used, said first (with CR LF, as the rest of the file).
{
    printf 'QMAKESPEC_ORIGINAL=C:/Qt/4.8.7/mkspecs/win32-g++\r\n\r\n'
    cat "$out/mkspecs/win32-g++/qmake.conf"
} > "$out/mkspecs/default/qmake.conf"

ls -l "$out/bin" "$out/lib" "$out/mkspecs/default"
