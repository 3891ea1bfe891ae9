#!/usr/bin/env bash
# Kills the command-line tool with SIGKILL at random moments during patch and unpatch of an
# installation holding a 64 MiB QtCore library, N times: scripts/crashcheck.sh N
# After each kill: every file is its old or its new content, none is missing, every backup is
# whole; then the command is run again to completion and the result checked.
# Every third round runs as a member of the installation's group (user 65534, group 100), who may
# not replace root's files, so they are written in place: there a kill may leave a mix of old and
# new records, which is counted apart and must be repaired by the re-run. Every other round, the
# library has a hard link outside the tree, which must keep its bytes whatever happens.
set -uo pipefail
rounds="${1:-200}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="$root/build/qt6/cli/zel-qt-patcher-cli"
[[ -x "$cli" ]] || { echo "build first: scripts/build.sh 6" >&2; exit 2; }
work="$root/build/crashcheck"
qt="$work/qt"
rm -rf "$work" && mkdir -p "$qt/bin" "$qt/lib" "$qt/mkspecs/default" "$work/ref"
files=(bin/qmake lib/libQtCore.so mkspecs/default/qmake.conf .qmake.cache)

slot() { printf 'qt_%spath=/old/root' "$1"; head -c $((256 - 17 - 9)) /dev/zero; }
make_binary() { # $1 file, $2 size in MiB: random bytes with path slots at the start, middle and end
    head -c "$(($2 * 1048576))" /dev/urandom | tr -d '\000' | head -c "$(($2 * 1048576))" > "$1"
    local at
    for at in 4096 $(($2 * 524288)) $(($2 * 1048576 - 8192)); do
        { slot prfx; slot libs; slot plug; } | dd of="$1" bs=1 seek="$at" conv=notrunc status=none
    done
}
make_binary "$qt/bin/qmake" 1
make_binary "$qt/lib/libQtCore.so" 64
printf 'QMAKESPEC = /old/root/mkspecs/linux-g++\n' > "$qt/mkspecs/default/qmake.conf"
printf 'QT_BUILD_TREE = /old/root\nQT_SOURCE_TREE = /old/root\n' > "$qt/.qmake.cache"
chown -R 0:100 "$qt" && chmod -R g+w "$qt"

sums() { (cd "$qt" && md5sum "${files[@]}" 2>&1); }
declare -A old new
while read -r sum f; do old[$f]=$sum; done < <(sums)
"$cli" patch "$qt" >/dev/null || { echo "reference patch failed" >&2; exit 1; }
while read -r sum f; do new[$f]=$sum; done < <(sums)
"$cli" unpatch "$qt" >/dev/null || { echo "reference unpatch failed" >&2; exit 1; }

lost=0 mixed=0 kills=0 temps=0
# Checks every file after a kill; $1 = "in place" when mixed records are expected.
check_after_kill() {
    local f sum
    for f in "${files[@]}"; do
        if [[ ! -e "$qt/$f" ]]; then echo "round $round: $f missing"; ((lost++)); continue; fi
        sum=$(md5sum < "$qt/$f" | cut -d' ' -f1)
        if [[ $sum != "${old[$f]}" && $sum != "${new[$f]}" ]]; then
            if [[ $1 == "in place" ]]; then ((mixed++)); else echo "round $round: $f torn"; ((lost++)); fi
        fi
        if [[ -e "$qt/$f.back" && $(md5sum < "$qt/$f.back" | cut -d' ' -f1) != "${old[$f]}" ]]; then
            echo "round $round: backup of $f not whole"; ((lost++))
        fi
    done
    # Temporary files of an interrupted write stay beside their file until the next run removes them.
    temps=$((temps + $(find "$qt" -name '*.zeltmp' | wc -l)))
}
check_after_rerun() {
    if [[ -n $(find "$qt" -name '*.zeltmp') ]]; then echo "round $round: temporary file left after the re-run"; ((lost++)); fi
    if [[ -e "$work/hardlink" && $(md5sum < "$work/hardlink" | cut -d' ' -f1) != "$linked" ]]; then
        echo "round $round: the hard link outside was written"; ((lost++))
    fi
}
check_complete() { # $1: old or new
    local f
    local -n want=$1
    for f in "${files[@]}"; do
        if [[ $(md5sum < "$qt/$f" | cut -d' ' -f1) != "${want[$f]}" ]]; then
            echo "round $round: $f wrong after the re-run"; ((lost++))
        fi
    done
}

ms() { date +%s%3N; }
# Brings the installation to the state a round starts from: unpatched without backups (a first
# patch), unpatched with backups (a patch from them) or patched (an unpatch).
prepare() {
    case $1 in
        first) "$cli" unpatch "$qt" >/dev/null; find "$qt" -name '*.back' -delete ;;
        again) "$cli" unpatch "$qt" >/dev/null ;;
        unpatch) "$cli" patch "$qt" >/dev/null ;;
    esac
}

for ((round = 1; round <= rounds; round++)); do
    mode="replace" as=()
    rm -f "$work/hardlink"
    if ((round % 3 == 0)); then mode="in place" as=(setpriv --reuid=65534 --regid=65534 --groups=100 --); fi
    case $((round % 4)) in
        0|1) start=first command=patch want=new ;;
        2) start=again command=patch want=new ;;
        3) start=unpatch command=unpatch want=old ;;
    esac
    # The kill falls at a random moment within the time a whole run from the same state takes.
    prepare "$start"; t0=$(ms); "${as[@]}" "$cli" "$command" "$qt" >/dev/null; took=$(($(ms) - t0 + 1)); prepare "$start"
    if ((round % 3 != 0)); then ln "$qt/lib/libQtCore.so" "$work/hardlink"; linked=$(md5sum < "$work/hardlink" | cut -d' ' -f1); fi
    "${as[@]}" "$cli" "$command" "$qt" >/dev/null &
    pid=$!
    delay=$(((RANDOM * 32768 + RANDOM) % took))
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    (($? == 137)) && ((kills++))
    check_after_kill "$mode"
    "${as[@]}" "$cli" "$command" "$qt" >/dev/null || { echo "round $round: re-run of $command failed"; ((lost++)); }
    check_complete "$want"
    check_after_rerun
done
echo "crashcheck: $rounds rounds, $kills killed mid-run (the others ended first), $temps temporary files left by a kill (each removed by the re-run)," \
     "$mixed in-place files left mixed and repaired, $lost files lost, torn or written through another name"
((lost == 0))
