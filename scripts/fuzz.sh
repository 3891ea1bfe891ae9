#!/usr/bin/env bash
# Builds the rewrite-rule fuzzers with clang (libFuzzer, ASan, UBSan) and runs each for its share of the time:
# scripts/fuzz.sh SECONDS [SEED RUNS]   -> build/fuzz; exits non-zero on any finding.
# Without SEED, each target explores at random from the corpus its earlier runs left. With SEED and RUNS
# (CI's run), each starts from the seeds alone, with libFuzzer's seed fixed, for at most RUNS inputs
# within its time: about the same draw on every run of the same code, not a new one each time. libFuzzer
# is not wholly deterministic, and other code draws other inputs.
set -euo pipefail
[[ $# -le 1 || $# -eq 3 ]] || { echo "usage: scripts/fuzz.sh SECONDS [SEED RUNS]" >&2; exit 2; }
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build/fuzz"
fixed=()
corpora="$out"
if [[ $# -eq 3 ]]; then
    fixed=(-seed="$2" -runs="$3")
    corpora="$out/fixed"
fi
common=(patching/base/fileoutcome.cpp patching/formats/rootrule.cpp)
# The slot keys are a Qt generation's: its table comes in with the slot rule.
slotandline=(fuzz/slotandline_fuzzer.cpp patching/qt/qt4.cpp patching/qt/qt5.cpp patching/formats/pathslots.cpp patching/formats/textlines.cpp
             patching/formats/configlinerule.cpp patching/formats/textrules.cpp patching/formats/lineindex.cpp patching/formats/wholepathrule.cpp)
elf=(fuzz/elf_fuzzer.cpp patching/formats/elfreader.cpp patching/formats/elfrunpath.cpp)
build() { # name sources...
    local name="$1"; shift
    mkdir -p "$corpora/$name-corpus"
    (cd "$root" && clang++ -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$root" $(pkg-config --cflags Qt6Core) "$@" "${common[@]}" $(pkg-config --libs Qt6Core) -o "$out/$name")
}
# A finding of an earlier run is not this run's; a fixed run starts from the seeds alone, in a corpus of its own.
rm -f "$out"/*-{crash,leak,oom,timeout,slow-unit}-*
[[ ${#fixed[@]} -gt 0 ]] && rm -rf "$corpora"
build slotandline "${slotandline[@]}"
build elf "${elf[@]}"
# Seeds: a slot, and configuration lines in both line endings.
printf '\x05/new\0qt_prfxpath=/old/root\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' > "$corpora/slotandline-corpus/seed-slot"
printf '\x04/new\0QMAKESPEC = /old/mkspecs/linux-g++\r\nQT_BUILD_TREE=/old\n# QT_SOURCE_TREE=x\n' > "$corpora/slotandline-corpus/seed-text"
# Seeds: the test libraries, behind the roots and the directory they are relocated with.
for file in "$root"/tests/data/elf/*.so.*; do
    { printf 'new\n/opt/oldqt-4.8.7-build\n/opt/oldqt\nplugins/sqldrivers\n'; cat "$file"; } > "$corpora/elf-corpus/seed-${file##*/}"
done
# Seeds: inputs that once found a fault, in the code or in a fuzzer's own checks, named for their fuzzer.
for seed in "$root"/fuzz/seeds/*; do
    name="${seed##*/}"
    cp "$seed" "$corpora/${name%%-*}-corpus/seed-$name"
done
share=$(( seconds / 2 > 0 ? seconds / 2 : 1 ))
for name in slotandline elf; do
    echo "== $name: ${share} s"
    "$out/$name" -max_total_time="$share" "${fixed[@]}" -print_final_stats=1 -artifact_prefix="$out/$name-" "$corpora/$name-corpus" 2>&1 | tail -n 15
done
echo "fuzz: ${seconds} s, no finding"
