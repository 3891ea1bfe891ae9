#!/usr/bin/env bash
# Builds the binaries of four small Qt 5 installations under tests/data/ from scripts/fixtures/qt5/,
# with Debian's gcc and MinGW-w64 cross compiler (installed when missing), and makes the library links.
# Their text files (mkspecs, .pc, .la, .prl, qt.conf, placeholders) are checked in as they are.
# Usage: scripts/make-qt5-fixtures.sh
#
# Each tree holds the slots of its generation and little else:
#   qt-5.1.1/        Linux x86-64 installer tree for /opt/Qt5.1.1/5.1.1/gcc_64: qmake with 21 records
#                    of 268 bytes back to back (19 paths, 2 mkspec names), QtCore with the 14 first
#                    paths; qt_datapath ends with a slash; qt_stngpath=/etc/xdg is a system place to
#                    keep; QtCore has an absolute RPATH (DT_RPATH, as linkers wrote it then); the .la
#                    names the prefix after a "=".
#   qt-5.3.1-mingw/  MinGW tree for C:/Qt/Qt5.3.1/5.3/mingw482_32: records of 524 bytes, no settings
#                    record (Windows), the flag qt_ssrtfpfx=y beside qmake's paths; the binaries are
#                    64-bit PE (Debian has no 32-bit MinGW here; the slots are the same); the .prl,
#                    qmake.conf and qt.conf end lines with CR LF, qconfig.pri with LF.
#   qt-5.7-cross/    a board kit installed in /opt/kits/rpi/qt5pi for the device prefix /usr/local/qt5pi
#                    and the sysroot /opt/kits/rpi/sysroot: qmake holds three prefix records, each
#                    followed by zeros to a 32-byte boundary and then other bytes ("ZEL-END"), so the
#                    zero run after a record reaches past it; the sysroot and the mkspec names are
#                    plain strings; QtCore holds the device prefix alone and the RUNPATH $ORIGIN
#                    (relative_qt_rpath); the .pc and .la name the kit's place, not the device's, as
#                    a real 5.7 kit has them (the .la after "=="); the .prl names a folder of the
#                    sysroot; qmodule.pri names the sysroot with a doubled slash, as configure joined
#                    it, and the host's own /usr/include/dbus-1.0, no place of the kit's; no
#                    bin/qt.conf, as `make install` leaves none.
#   qt-5.15.2/       Linux tree for /opt/qt515 (10 bytes) without the relocatable feature: QtCore's
#                    prefix record is the only slot; qmake has none (it finds its prefix from its place).
#
# Stripped, without a build id, a compiler stamp (-fno-ident) or a PE time stamp, and compiled from
# names relative to the sources, the files come out byte for byte the same at every run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
src=$root/scripts/fixtures/qt5
data=$root/tests/data
"$root/scripts/deps.sh" mingw-fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$src"

# -fno-toplevel-reorder keeps the arrays in the order the sources declare them.
cflags=(-Os -fno-ident -fno-asynchronous-unwind-tables -fno-toplevel-reorder)
# Without the C library each binary is its slots and a few hundred bytes of code; one segment
# (noseparate-code) keeps an ELF file to a few KiB.
elf_link=(-nostdlib -s -Wl,--build-id=none,-z,noseparate-code)

# An x86-64 program that exits with status 1: OUT [SOURCE OR COMPILER OPTION]...
elf_program() {
    local out=$1
    shift
    gcc "${cflags[@]}" -static -no-pie "${elf_link[@]}" -o "$out" exit.c "$@"
}

# An x86-64 QtCore for a prefix: DIR VERSION SOURCE [LINKER OPTION]..., then its three links.
elf_qtcore() {
    local dir=$1 version=$2 source=$3
    shift 3
    local name=libQt5Core.so.$version
    gcc "${cflags[@]}" -fPIC -shared "${elf_link[@]}" -Wl,-soname,libQt5Core.so.5 "$@" \
        -o "$dir/$name" "$source"
    ln -sfn "$name" "$dir/libQt5Core.so"
    ln -sfn "$name" "$dir/libQt5Core.so.5"
    ln -sfn "$name" "$dir/libQt5Core.so.${version%.*}"
}

# qt-5.1.1
out=$data/qt-5.1.1
mkdir -p "$out/bin" "$out/lib"
elf_program "$out/bin/qmake" qconfig-5.1.c -DQT_BUILD_QMAKE
elf_qtcore "$out/lib" 5.1.1 qconfig-5.1.c \
    -Wl,-rpath,/opt/Qt5.1.1/5.1.1/gcc_64/lib,--disable-new-dtags

# qt-5.3.1-mingw
out=$data/qt-5.3.1-mingw
mkdir -p "$out/bin" "$out/lib"
mingw=x86_64-w64-mingw32
$mingw-gcc "${cflags[@]}" -DQT_BUILD_QMAKE -s -nostdlib \
    -Wl,--entry,qmakeEntry,--subsystem,console,--no-insert-timestamp \
    -o "$out/bin/qmake.exe" windows-qmake.c qconfig-5.3-windows.c -lkernel32
for dll in Qt5Core Qt5Cored; do
    $mingw-gcc "${cflags[@]}" -shared -s -nostdlib -Wl,--entry,QtCoreEntry,--no-insert-timestamp \
        -o "$out/bin/$dll.dll" windows-qtcore.c qconfig-5.3-windows.c
done
# The library the linker is given: here one object holding the slots, as a static build's would.
$mingw-gcc "${cflags[@]}" -c -o "$work/qconfig.o" qconfig-5.3-windows.c
rm -f "$out/lib/libQt5Core.a"
(cd "$work" && $mingw-ar rcsD "$out/lib/libQt5Core.a" qconfig.o)

# qt-5.7-cross: qmake runs on the build machine; the QtCore stands for the board's (x86-64 will do).
out=$data/qt-5.7-cross
mkdir -p "$out/bin" "$out/lib"
elf_program "$out/bin/qmake" qconfig-5.7.c -DQT_BUILD_QMAKE
elf_qtcore "$out/lib" 5.7.0 qconfig-5.7.c -Wl,-rpath,'$ORIGIN',--enable-new-dtags

# qt-5.15.2
out=$data/qt-5.15.2
mkdir -p "$out/bin" "$out/lib"
elf_program "$out/bin/qmake"
elf_qtcore "$out/lib" 5.15.2 qconfig-5.15.c

ls -l "$data"/qt-5.1.1/{bin,lib} "$data"/qt-5.3.1-mingw/{bin,lib} "$data"/qt-5.7-cross/{bin,lib} \
    "$data"/qt-5.15.2/{bin,lib}
