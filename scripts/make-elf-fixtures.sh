#!/usr/bin/env bash
# Builds every library of tests/data/elf/ again from scripts/fixtures/elf/, with Debian's gcc and
# binutils and a PowerPC binutils (installed when missing), and writes them over the checked-in ones.
# Usage: scripts/make-elf-fixtures.sh
# With Debian 12's gcc 12.2 and binutils 2.40 the files come out byte for byte as checked in; another
# version may lay them out otherwise, so run tst_elf after it.
set -euo pipefail

tests=$(cd "$(dirname "$0")/../tests" && pwd)
src=$tests/../scripts/fixtures/elf
out=$tests/data/elf
"$tests/../scripts/deps.sh" elf-fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Stripped and without a build id, so that the bytes depend on the sources and the tools alone.
common=(-shared -s --build-id=none --enable-new-dtags)

# libtiny.so.1: x86-64 little-endian. Segments packed on 16 bytes keep it at 1600 bytes, its section
# headers past byte 800 (the tests cut it there). The RUNPATH ends with "extra", the symbol's name.
gcc -Os -fPIC -c "$src/extra.c" -o "$work/extra.o"
ld "${common[@]}" -soname libtiny.so.1 -rpath /opt/oldqt-4.8.7-build/lib:/usr/lib/extra \
    -z max-page-size=16 -z noseparate-code --hash-style=gnu --eh-frame-hdr \
    -o "$out/libtiny.so.1" "$work/extra.o"

# libtiny-nosections.so.1: the same bytes, the header no longer saying where the sections are.
python3 "$src/hand-edit.py" drop-section-headers "$out/libtiny.so.1" "$out/libtiny-nosections.so.1"

# libbig.so.1: 32-bit PowerPC, big-endian, its version "lib" (big.map) stored inside "/opt/oldqt/lib".
# No RELRO segment; the writable segment is also executable, as the 32-bit PowerPC .got (which holds
# an instruction) makes it, so ld's warning about that is silenced.
powerpc-linux-gnu-as -o "$work/big.o" "$src/big.s"
powerpc-linux-gnu-ld "${common[@]}" -soname libbig.so.1 -rpath /opt/oldqt/lib --version-script="$src/big.map" \
    -z max-page-size=16 -z noseparate-code -z norelro --no-warn-rwx-segments --hash-style=sysv \
    -o "$out/libbig.so.1" "$work/big.o"
# ld writes RUNPATH alone when given --enable-new-dtags; an older link's RPATH beside it, on the same
# string, is the case where one rewrite serves two entries.
python3 "$src/hand-edit.py" add-rpath "$out/libbig.so.1"
# The version's own symbol would name the string's tail too; without it only the version definition does.
python3 "$src/hand-edit.py" unname-symbol "$out/libbig.so.1" lib

# libi386.so.1: 32-bit x86, linked by the gcc driver as a library is. Segments are page-aligned and
# the writable one sits a page above its file offset. -z noseparate-code gives the two-segment layout
# of the linkers Qt 4 was built with (binutils before 2.31), at little more than a third of the size.
gcc -m32 -Os -fPIC -shared -nostdlib -s -Wl,-soname,libi386.so.1,--enable-new-dtags \
    -Wl,-rpath,/opt/oldqt-4.8.7-build/lib,-z,noseparate-code -o "$out/libi386.so.1" "$src/extra.c"

ls -l "$out"/*.so.1
