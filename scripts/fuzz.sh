#!/usr/bin/env bash
# Builds the rewrite-rule fuzzer with clang (libFuzzer, ASan, UBSan) and runs it:
# scripts/fuzz.sh SECONDS   -> build/fuzz; exits non-zero on any finding.
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build/fuzz"
mkdir -p "$out/corpus"
sources=(fuzz/slotandline_fuzzer.cpp patching/pathslots.cpp patching/textpatcher.cpp
         patching/backuppatch.cpp patching/filestore.cpp patching/fileoutcome.cpp)
(cd "$root" && clang++ -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" $(pkg-config --cflags Qt6Core) "${sources[@]}" $(pkg-config --libs Qt6Core) -o "$out/fuzzer")
# Seeds: a slot, and configuration lines in both line endings.
printf '\x05/new\0qt_prfxpath=/old/root\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' > "$out/corpus/seed-slot"
printf '\x04/new\0QMAKESPEC = /old/mkspecs/linux-g++\r\nQT_BUILD_TREE=/old\n# QT_SOURCE_TREE=x\n' > "$out/corpus/seed-text"
"$out/fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus" 2>&1 | tail -n 15
echo "fuzz: ${seconds} s, no finding"
