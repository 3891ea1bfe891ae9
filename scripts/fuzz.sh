#!/usr/bin/env bash
# Builds the rewrite-rule fuzzers with clang (libFuzzer, ASan, UBSan) and runs each for its share of the time:
# scripts/fuzz.sh SECONDS [SEED RUNS]   -> build/fuzz; exits non-zero on any finding.
# With SEED and RUNS each target runs the same RUNS inputs from the seeds on every machine (CI's run, so
# that a red run is reproducible and a green one stays green); without, it explores at random.
set -euo pipefail
seconds="${1:-60}"
fixed=()
[[ $# -ge 3 ]] && fixed=(-seed="$2" -runs="$3")
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build/fuzz"
common=(patching/base/fileoutcome.cpp patching/formats/rootrule.cpp)
# The slot keys are a Qt generation's: its table comes in with the slot rule.
slotandline=(fuzz/slotandline_fuzzer.cpp patching/qt/qt4.cpp patching/qt/qt5.cpp patching/formats/pathslots.cpp patching/formats/textlines.cpp
             patching/formats/configlinerule.cpp patching/formats/textrules.cpp patching/formats/lineindex.cpp patching/formats/wholepathrule.cpp)
elf=(fuzz/elf_fuzzer.cpp patching/formats/elfreader.cpp patching/formats/elfrunpath.cpp)
build() { # name sources...
    local name="$1"; shift
    mkdir -p "$out/$name-corpus"
    (cd "$root" && clang++ -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$root" $(pkg-config --cflags Qt6Core) "$@" "${common[@]}" $(pkg-config --libs Qt6Core) -o "$out/$name")
}
# A finding of an earlier run is not this run's; a fixed run starts from the seeds alone.
rm -f "$out"/*-{crash,leak,oom,timeout,slow-unit}-*
[[ ${#fixed[@]} -gt 0 ]] && rm -rf "$out"/*-corpus
build slotandline "${slotandline[@]}"
build elf "${elf[@]}"
# Seeds: a slot, and configuration lines in both line endings.
printf '\x05/new\0qt_prfxpath=/old/root\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' > "$out/slotandline-corpus/seed-slot"
printf '\x04/new\0QMAKESPEC = /old/mkspecs/linux-g++\r\nQT_BUILD_TREE=/old\n# QT_SOURCE_TREE=x\n' > "$out/slotandline-corpus/seed-text"
# Seeds: the test libraries, behind the roots and the directory they are relocated with.
for file in "$root"/tests/data/elf/*.so.*; do
    { printf 'new\n/opt/oldqt-4.8.7-build\n/opt/oldqt\nplugins/sqldrivers\n'; cat "$file"; } > "$out/elf-corpus/seed-${file##*/}"
done
# Seeds: inputs that once found a fault, in the code or in a fuzzer's own checks, named for their fuzzer.
for seed in "$root"/fuzz/seeds/*; do
    name="${seed##*/}"
    cp "$seed" "$out/${name%%-*}-corpus/seed-$name"
done
share=$(( seconds / 2 > 0 ? seconds / 2 : 1 ))
for name in slotandline elf; do
    echo "== $name: ${share} s"
    "$out/$name" -max_total_time="$share" "${fixed[@]}" -print_final_stats=1 -artifact_prefix="$out/$name-" "$out/$name-corpus" 2>&1 | tail -n 15
done
echo "fuzz: ${seconds} s, no finding"
