#!/usr/bin/env bash
# Runs the known-fault scenarios against a build of the command-line front end, each on fresh
# installations made by make-trial-qt.sh whose old prefix never exists here:
#   scripts/trial-faults.sh CLI OUTDIR [NN...]
# and writes one transcript per scenario, OUTDIR/NN-name.txt: the commands as a user types them,
# their output and exit status, the facts checked afterwards, and a last line
# "VERDICT: FAULT: ...", "VERDICT: OK: ..." or "VERDICT: NOT SET UP: ...". A scenario that fails,
# hangs or cannot be set up does not stop the others. OUTDIR/summary.txt lists the verdicts.
# Run as root: scenarios mount a directory and run the tool as a member of the tree's group. It
# writes below a temporary directory and OUTDIR only, and in /t for scenario 13 when /t is absent.
set -uo pipefail
scripts="$(cd "$(dirname "$0")" && pwd)"
OLD=/usr/local/Trolltech/Qt-4.8.7
scenarios=(01:copy-without-links 02:edit-after-patch 03:backup-through-link 04:fifo-hang
           05:crafted-elf 06:large-metadata 07:other-file-systems 08:unreadable-names
           09:earlier-place-without-backups 10:plain-patch-after-deep 11:plugindir-layout
           12:root-qmake-cannot-carry 13:slot-old-tail 14:final-newline 15:dotdot-after-link
           16:below-back-directory 17:runpath-climbing-out)

# --- Transcript helpers -----------------------------------------------------------------------

say() { printf '\n# %s\n' "$*"; }
# Sets and exports a variable the transcript's commands use, printed as a user would set it.
show_var() { printf -v "$1" '%s' "$2"; export "${1?}"; printf '$ %s=%q\n' "$1" "$2"; }
# Prints a command as typed, runs it, prints its output (long output shortened) and its exit
# status. Leaves the status in $rc and the whole output in $RUN/out.
run() {
    printf '$ %s\n' "$1"
    eval "$1" > "$RUN/out" 2>&1
    rc=$?
    local lines
    lines=$(wc -l < "$RUN/out")
    if (( lines > 60 )); then
        head -n 40 "$RUN/out" | cut -c1-400
        printf '... (%d lines left out)\n' $((lines - 50))
        tail -n 10 "$RUN/out" | cut -c1-400
    else
        cut -c1-400 "$RUN/out"
    fi
    printf '[exit %d]\n' "$rc"
}
# run, under "timeout LIMIT" and /usr/bin/time -v; sets $seconds and $peak_kb.
measured() {
    run "/usr/bin/time -v -o \"\$RUN/time\" timeout $1 $2"
    seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$RUN/time" |
              awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; print s }')
    peak_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$RUN/time")
    printf '(%s s elapsed, peak memory %s KB)\n' "${seconds:-?}" "${peak_kb:-?}"
}
last_line() { tail -n 1 "$RUN/out" | cut -c1-200; }

faults=() goods=() skips=()
# Verdicts name the scenario's paths from the temporary directory on: …/s15/qt.
fault() { local text="${*//"$WORK"\//…/}"; faults+=("$text"); printf '=> FAULT: %s\n' "$text"; }
good() { local text="${*//"$WORK"\//…/}"; goods+=("$text"); printf '=> ok: %s\n' "$text"; }
skipped() { skips+=("$*"); printf '=> not set up: %s\n' "$*"; }
verdict() {
    local joined
    if (( ${#faults[@]} )); then
        printf -v joined '%s; ' "${faults[@]}" "${skips[@]}"
        echo "VERDICT: FAULT: ${joined%; }"
    elif (( ${#goods[@]} )); then
        printf -v joined '%s; ' "${goods[@]}" "${skips[@]}"
        echo "VERDICT: OK: ${joined%; }"
    else
        printf -v joined '%s; ' "${skips[@]}"
        echo "VERDICT: NOT SET UP: ${joined%; }"
    fi
}

# --- Facts ------------------------------------------------------------------------------------

# The files below $1 that still name the old root, backups aside. The build directory a .prl
# records (QMAKE_PRL_BUILD_DIR) is not below the new root, so it rightly keeps naming the old one.
stale_files() { grep -rlaP --exclude='*.back' -- "(?<!QMAKE_PRL_BUILD_DIR = )\\Q$OLD\\E" "$1"; }
names_old() { grep -qaF -- "$OLD" "$1"; }
runpath_of() { readelf -d "$1" 2>/dev/null | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p' | head -n 1; }
fresh() { # VAR [PRISTINE_VAR]: a copy of a trial installation at the path $VAR holds
    mkdir -p "$(dirname "${!1}")"
    run "cp -a \"\$${2:-PRISTINE}\" \"\$$1\""
}
# After "run verify": a fault when it exits 0 while a file below $1 still names the old root.
judge_verify() {
    local stale
    stale=$(stale_files "$1" | head -n 1)
    if [[ $rc == 0 && -n $stale ]]; then
        fault "$2verify exits 0 while ${stale#"$1"/} names $OLD"
    elif [[ $rc == 0 ]]; then
        good "$2verify exits 0 and no file names the old root"
    elif [[ -n $stale ]]; then
        good "$2verify exits $rc and files still name the old root"
    else
        good "$2verify exits $rc (no file names the old root)"
    fi
}
# After "run make-trial-qt.sh --check-program $1".
judge_check_program() {
    if (( rc != 0 )); then
        fault "$2the check program fails: $(grep -v '^gcc ' "$RUN/out" | tail -n 1 | cut -c1-120)"
    elif ! grep -qxF "prefix: $1" "$RUN/out"; then
        fault "$2the check program's libQtCore reports the prefix $(sed -n 's/^prefix: //p' "$RUN/out")"
    elif ! grep -qF "libQtCore: $1/lib/" "$RUN/out"; then
        fault "$2the check program loads $(sed -n 's/^libQtCore: //p' "$RUN/out")"
    else
        good "$2the check program runs and reports the new prefix"
    fi
}

# --- Scenarios --------------------------------------------------------------------------------

# After patch --deep on a copy made without links: which of the libQtCore files keep old slots.
judge_copies() { # DIR LABEL
    local f old_slots=() old_runpaths=()
    for f in "$1"/lib/libQtCore.so "$1"/lib/libQtCore.so.4 "$1"/lib/libQtCore.so.4.8 "$1"/lib/libQtCore.so.4.8.7; do
        [[ -f $f ]] || continue
        grep -qaF "qt_prfxpath=$OLD" "$f" && old_slots+=("${f#"$1"/lib/}")
        [[ $(runpath_of "$f") == *"$OLD"* ]] && old_runpaths+=("${f#"$1"/lib/}")
    done
    (( ${#old_slots[@]} )) && fault "$2patch --deep leaves qt_prfxpath=$OLD in ${old_slots[*]}"
    (( ${#old_runpaths[@]} )) && fault "$2patch --deep leaves RUNPATH $OLD/lib in ${old_runpaths[*]}"
    (( ${#old_slots[@]} + ${#old_runpaths[@]} )) || good "$2every libQtCore file was patched"
}

scenario_01() {
    say "1. A copy made without links (cp -rL): every libQtCore.so* is a file of its own."
    show_var Q "$T/qt-4.8.7"
    run 'cp -rL "$PRISTINE" "$Q"'
    run 'ls -l "$Q/lib" | grep libQtCore'
    run 'zel-qt-patcher-cli patch --deep "$Q"'
    run 'for f in "$Q"/lib/libQtCore.so*; do echo "$f: $(readelf -d "$f" | grep RUNPATH)"; done'
    run 'for f in "$Q"/lib/libQtCore.so*; do echo "$f: $(strings "$f" | grep qt_prfxpath)"; done'
    judge_copies "$Q" ""
    run 'zel-qt-patcher-cli verify "$Q"'
    judge_verify "$Q" ""
    run 'make-trial-qt.sh --check-program "$Q"'
    judge_check_program "$Q" ""

    say "The same copy, with lib/libQtCore.so deleted (the name the window looks for)."
    show_var Q2 "$T/without-so/qt-4.8.7"
    mkdir -p "$T/without-so"
    run 'cp -rL "$PRISTINE" "$Q2" && rm "$Q2/lib/libQtCore.so"'
    run 'zel-qt-patcher-cli patch --deep "$Q2"'
    run 'for f in "$Q2"/lib/libQtCore.so*; do echo "$f: $(readelf -d "$f" | grep RUNPATH) $(strings "$f" | grep qt_prfxpath)"; done'
    judge_copies "$Q2" "without lib/libQtCore.so: "
    run 'zel-qt-patcher-cli verify "$Q2"'
    judge_verify "$Q2" "without libQtCore.so: "
    run 'make-trial-qt.sh --check-program "$Q2"'
    judge_check_program "$Q2" "without libQtCore.so: "
}

# An edit made to FILE after a patch, then a second patch (ARGS: --deep or none), then unpatch.
edit_after_patch() { # FILE LABEL MOVE
    local file="$1" label="$2" move="${3:-}"
    show_var EDIT 'QMAKE_CXXFLAGS += -DMY_FLAG'
    run "zel-qt-patcher-cli patch${DEEP:+ $DEEP} \"\$Q\""
    run "echo \"\$EDIT\" >> \"\$Q/$file\""
    if [[ $move == move ]]; then
        show_var MOVED "$T/moved/qt-4.8.7"
        run 'mkdir -p "$T/moved" && mv "$Q" "$MOVED"'
        show_var Q "$MOVED"
        run "zel-qt-patcher-cli patch${DEEP:+ $DEEP} \"\$MOVED\""
    else
        run "zel-qt-patcher-cli patch${DEEP:+ $DEEP} \"\$Q\""
    fi
    local patch_rc=$rc
    grep -F "$file" "$RUN/out" | sed 's/^/   the report said: /'
    run "grep -nF \"\$EDIT\" \"\$Q/$file\""
    local kept_by_patch=$(( rc == 0 ))
    (( kept_by_patch )) || fault "$label: the second patch (exit $patch_rc) drops the line added after the first"
    run "zel-qt-patcher-cli unpatch${DEEP:+ $DEEP} \"\$Q\""
    local unpatch_rc=$rc
    run "grep -nF \"\$EDIT\" \"\$Q/$file\""
    if (( kept_by_patch && rc != 0 && unpatch_rc == 0 )); then
        fault "$label: unpatch exits 0 and the line added after the patch is gone"
    elif (( kept_by_patch && rc != 0 )); then
        good "$label: unpatch exits $unpatch_rc and says so, the added line is gone"
    elif (( kept_by_patch )); then
        good "$label: the added line survives the second patch and the unpatch"
    fi
}

scenario_02() {
    say "2. An edit made after a patch: mkspecs/default/qmake.conf, plain patch."
    show_var Q "$T/qt-4.8.7"
    fresh Q
    DEEP='' edit_after_patch mkspecs/default/qmake.conf "qmake.conf"
    say "The same with mkspecs/qconfig.pri and --deep, the tree moved between the two patches."
    show_var Q "$T/deep/qt-4.8.7"
    fresh Q
    DEEP='--deep' edit_after_patch mkspecs/qconfig.pri "qconfig.pri, --deep after a move" move
}

scenario_03() {
    say "3. A backup written through a link: lib/libQtCoreX.so leads to bin/qmake.back."
    show_var Q "$T/qt-4.8.7"
    fresh Q
    run 'zel-qt-patcher-cli patch "$Q"'
    run 'ln -s ../bin/qmake.back "$Q/lib/libQtCoreX.so" && echo "any content" > "$Q/lib/libQtCoreX.so.back"'
    run 'md5sum "$PRISTINE/bin/qmake" "$Q/bin/qmake.back"'
    run 'zel-qt-patcher-cli unpatch "$Q"'
    run 'md5sum "$PRISTINE/bin/qmake" "$Q/bin/qmake.back" "$Q/bin/qmake"; ls -l "$Q/lib/libQtCoreX.so"'
    if ! cmp -s "$PRISTINE/bin/qmake" "$Q/bin/qmake.back"; then
        fault "unpatch wrote through lib/libQtCoreX.so: bin/qmake.back is no longer the original qmake"
    else
        good "bin/qmake.back is still the original"
    fi
    cmp -s "$PRISTINE/bin/qmake" "$Q/bin/qmake" || fault "after unpatch, bin/qmake is not the original"

    say "A link to a copy kept in saved.backup, a directory whose name holds .back."
    show_var Q2 "$T/saved/qt-4.8.7"
    fresh Q2
    run 'mkdir "$Q2/saved.backup" && cp "$Q2/lib/libQtCore.so.4.8.7" "$Q2/saved.backup/"'
    run 'ln -s ../saved.backup/libQtCore.so.4.8.7 "$Q2/lib/libQtCoreSaved.so"'
    run 'ls -lA "$Q2/saved.backup"; md5sum "$Q2/saved.backup/"*'
    local before
    before=$(cd "$Q2/saved.backup" && ls -A && md5sum ./*)
    run 'zel-qt-patcher-cli patch "$Q2"'
    run 'ls -lA "$Q2/saved.backup"; md5sum "$Q2/saved.backup/"*'
    if [[ "$(cd "$Q2/saved.backup" && ls -A && md5sum ./*)" != "$before" ]]; then
        fault "patch wrote in saved.backup (a directory whose name holds .back)"
    else
        good "nothing was written in saved.backup"
    fi
}

scenario_04() {
    say "4. A named pipe behind a library name, with a backup beside it."
    show_var Q "$T/qt-4.8.7"
    fresh Q
    run 'zel-qt-patcher-cli patch "$Q"'
    run 'mkfifo "$Q/lib/pipe" && ln -s pipe "$Q/lib/libQtCoreP.so" && touch "$Q/lib/libQtCoreP.so.back"'
    run 'timeout 20 zel-qt-patcher-cli unpatch "$Q"'
    if (( rc == 124 )); then
        fault "unpatch hangs on lib/libQtCoreP.so -> pipe (killed after 20 s)"
    else
        good "unpatch exits $rc within 20 s"
    fi
    [[ -p $Q/lib/pipe ]] || fault "lib/pipe is no longer a named pipe"
    run 'find "$Q" -name "*.zeltmp"'
    run 'strings "$Q/lib/libQtCore.so.4.8.7" | grep qt_prfxpath'
    names_old "$Q/lib/libQtCore.so.4.8.7" || fault "the unpatch did not restore lib/libQtCore.so.4.8.7"
    run 'timeout 20 zel-qt-patcher-cli patch "$Q"'
    if (( rc == 124 )); then fault "patch hangs on the pipe (killed after 20 s)"; else good "patch exits $rc within 20 s"; fi
}

write_elf_generator() {
    cat > "$T/crafted-elf.py" <<'EOF'
# crafted-elf.py sections|runpaths FILE OLDROOT: ELF files that are valid enough to be taken for
# shared libraries and costly to walk naively.
import struct, sys

kind, path, old = sys.argv[1:4]
ELFCLASS64, ELFDATA2LSB, EV_CURRENT, ET_DYN, EM_X86_64 = 2, 1, 1, 3, 62
SHT_STRTAB, SHT_DYNAMIC, SHT_DYNSYM = 3, 6, 11
PT_LOAD, PT_DYNAMIC = 1, 2
DT_NULL, DT_STRTAB, DT_STRSZ, DT_RUNPATH = 0, 5, 10, 29
EHDR_SIZE, PHDR_SIZE, SHDR_SIZE, DYN_SIZE, SYM_SIZE = 64, 56, 64, 16, 24

def elf_header(phnum, shoff, shnum, shstrndx=0):
    ident = b"\x7fELF" + bytes([ELFCLASS64, ELFDATA2LSB, EV_CURRENT]) + bytes(9)
    return ident + struct.pack("<HHIQQQIHHHHHH", ET_DYN, EM_X86_64, EV_CURRENT, 0,
                               EHDR_SIZE if phnum else 0, shoff, 0, EHDR_SIZE, PHDR_SIZE, phnum,
                               SHDR_SIZE, shnum, shstrndx)

def section(sh_type, offset, size, link=0, entsize=0, name=0):
    return struct.pack("<IIQQQQIIQQ", name, sh_type, 0, offset, offset, size, link, 0, 8, entsize)

def segment(p_type, offset, size):
    return struct.pack("<IIQQQQQQ", p_type, 4, offset, offset, offset, size, size, 8)

if kind == "sections":
    size, count = 768 * 1024, 12000
    data = elf_header(0, EHDR_SIZE, count)
    data += section(SHT_DYNSYM, 0, size, 0, SYM_SIZE) * count
    data += bytes(size - len(data))
else:
    count = 400000
    strtab = b"\0" + old.encode() + b"/lib\0"
    strtab_offset = EHDR_SIZE + 2 * PHDR_SIZE
    dynamic_offset = (strtab_offset + len(strtab) + 7) & ~7
    dynamic = struct.pack("<qQ", DT_STRTAB, strtab_offset) + struct.pack("<qQ", DT_STRSZ, len(strtab))
    dynamic += struct.pack("<qQ", DT_RUNPATH, 1) * count + struct.pack("<qQ", DT_NULL, 0)
    names = b"\0.dynstr\0.dynamic\0.shstrtab\0"
    names_offset = dynamic_offset + len(dynamic)
    shoff = (names_offset + len(names) + 7) & ~7
    end = shoff + 4 * SHDR_SIZE
    data = elf_header(2, shoff, 4, 3) + segment(PT_LOAD, 0, end) + segment(PT_DYNAMIC, dynamic_offset, len(dynamic))
    data += strtab + bytes(dynamic_offset - strtab_offset - len(strtab)) + dynamic
    data += names + bytes(shoff - names_offset - len(names))
    data += section(0, 0, 0) + section(SHT_STRTAB, strtab_offset, len(strtab), name=names.index(b".dynstr"))
    data += section(SHT_DYNAMIC, dynamic_offset, len(dynamic), 1, DYN_SIZE, names.index(b".dynamic"))
    data += section(SHT_STRTAB, names_offset, len(names), name=names.index(b".shstrtab"))
with open(path, "wb") as out:
    out.write(data)
EOF
}

# A fault when a measured command was killed, crashed, or went past the limits a file of a few
# megabytes should never reach.
judge_cost() { # LABEL
    : "${peak_kb:=0}" "${seconds:=0}"
    if (( rc == 124 || rc == 137 )); then
        fault "$1 is killed by timeout"
    elif (( rc >= 128 )); then
        fault "$1 dies with signal $((rc - 128))"
    elif (( ${peak_kb:-0} > 1048576 )); then
        fault "$1 peaks at $((peak_kb / 1024)) MB"
    elif awk -v s="${seconds:-0}" 'BEGIN { exit !(s > 30) }'; then
        fault "$1 takes $seconds s"
    else
        good "$1 exits $rc in $seconds s, peak $((peak_kb / 1024)) MB"
    fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }'; }

scenario_05() {
    say "5. Crafted ELF files in plugins/: 12,000 SHT_DYNSYM sections spanning a 768 KB file, and 400,000 DT_RUNPATH entries."
    show_var Q "$T/qt-4.8.7"
    fresh Q
    say "First the plain tree, for comparison."
    measured 120 'zel-qt-patcher-cli patch --deep "$Q" > /dev/null'
    local base_patch_s=$seconds base_patch_kb=$peak_kb
    measured 120 'zel-qt-patcher-cli verify "$Q" > /dev/null'
    local base_verify_s=$seconds base_verify_kb=$peak_kb
    show_var Q "$T/crafted/qt-4.8.7"
    fresh Q
    write_elf_generator
    say "The generator, $T/crafted-elf.py:"
    sed 's/^/    /' "$T/crafted-elf.py"
    run 'python3 "$T/crafted-elf.py" sections "$Q/plugins/bearer/libqsections.so" "$OLD"'
    run 'python3 "$T/crafted-elf.py" runpaths "$Q/plugins/codecs/libqrunpaths.so" "$OLD"'
    run 'ls -l "$Q/plugins/bearer/libqsections.so" "$Q/plugins/codecs/libqrunpaths.so"; readelf -d "$Q/plugins/codecs/libqrunpaths.so" | grep -c RUNPATH'
    measured 120 'zel-qt-patcher-cli patch --deep "$Q"'
    echo "(patch --deep: $(ratio "$seconds" "$base_patch_s") times the plain tree's time, $(ratio "$peak_kb" "$base_patch_kb") times its memory)"
    judge_cost "patch --deep"
    measured 120 'zel-qt-patcher-cli verify "$Q"'
    echo "(verify: $(ratio "$seconds" "$base_verify_s") times the plain tree's time, $(ratio "$peak_kb" "$base_verify_kb") times its memory)"
    judge_cost "verify"
    run 'readelf -d "$Q/plugins/codecs/libqrunpaths.so" | grep -m 2 RUNPATH; readelf -d "$Q/lib/libQtCore.so.4.8.7" | grep RUNPATH'
}

scenario_06() {
    say "6. Large metadata: a 5 MB lib/libQtFoo.prl full of =OLDROOT/, and a lib/pkgconfig/QtFoo.pc of 20,000 prefix= lines."
    show_var Q "$T/plain/qt-4.8.7"
    fresh Q
    measured 120 'zel-qt-patcher-cli inspect "$Q" > "$T/inspect-plain.txt"'
    local base_lines base_s=$seconds base_kb=$peak_kb
    base_lines=$(wc -l < "$T/inspect-plain.txt")
    measured 120 'zel-qt-patcher-cli patch --deep "$Q" > /dev/null'
    local base_patch_s=$seconds base_patch_kb=$peak_kb
    echo "(the plain tree's inspect prints $base_lines lines)"
    local variant
    for variant in prl pc-identical pc-distinct; do
        say "Variant $variant."
        show_var Q "$T/$variant/qt-4.8.7"
        fresh Q
        case $variant in
        prl) run 'awk -v r="=$OLD/" "BEGIN { printf \"QMAKE_PRL_LIBS \"; while (n < 5242880) { printf \"%s\", r; n += length(r) }; print \"\" }" > "$Q/lib/libQtFoo.prl"; ls -l "$Q/lib/libQtFoo.prl"' ;;
        pc-identical) run 'awk -v p="prefix=$OLD" "BEGIN { for (i = 0; i < 20000; ++i) print p }" > "$Q/lib/pkgconfig/QtFoo.pc"' ;;
        pc-distinct) run 'seq -f "prefix=/opt/qt-4.8.%.0f" 20000 > "$Q/lib/pkgconfig/QtFoo.pc"' ;;
        esac
        measured 120 'zel-qt-patcher-cli patch --deep "$Q" > "$T/patch-$variant.txt"'
        echo "(patch --deep: $(ratio "$seconds" "$base_patch_s") times the plain tree's time, $(ratio "$peak_kb" "$base_patch_kb") times its memory; last line: $(tail -n 1 "$T/patch-$variant.txt" | cut -c1-200))"
        judge_cost "$variant: patch --deep"
        measured 120 'zel-qt-patcher-cli inspect "$Q" > "$T/inspect-$variant.txt"'
        judge_cost "$variant: inspect"
        local lines bytes
        lines=$(wc -l < "$T/inspect-$variant.txt")
        bytes=$(wc -c < "$T/inspect-$variant.txt")
        echo "(inspect: $(ratio "$seconds" "$base_s") times the plain tree's time, $(ratio "$peak_kb" "$base_kb") times its memory, $lines lines and $bytes bytes against $base_lines lines)"
        run "sed -n '1,8p;\$p' \"\$T/inspect-$variant.txt\" | cut -c1-160"
        # The plain tree's report is a screenful; one line per recorded root floods it.
        if (( bytes > 1048576 || lines > 10 * base_lines + 1000 )); then
            fault "$variant: inspect prints $lines lines ($bytes bytes) where the plain tree gives $base_lines"
        fi
    done
}

scenario_07() {
    say "7. Other file systems and trees without Qt."
    say "verify / (the kernel log must stay untouched; /proc/kmsg must not be read)."
    local before_log="" after_log=""
    run 'dmesg | wc -l'
    (( rc == 0 )) && before_log=$(tail -n 1 "$RUN/out")
    run 'strace -f -qq -e trace=open,openat -o "$T/verify-root.strace" timeout 60 zel-qt-patcher-cli verify /'
    local verify_rc=$rc
    run 'dmesg | wc -l'
    (( rc == 0 )) && after_log=$(tail -n 1 "$RUN/out")
    run 'grep "/proc/kmsg" "$T/verify-root.strace"; grep -oE "open(at)?\(AT_FDCWD, \"/(proc|sys|dev)/[^\"]*" "$T/verify-root.strace" | cut -d\" -f2 | grep -vE "^/proc/self/|^/sys/devices/system/cpu/|^/dev/(null|tty|urandom)$" | sort -u | head -n 20'
    run 'grep -vE "\+\+\+|---" "$T/verify-root.strace" | tail -n 3'
    local kmsg pseudo last_open problems=()
    kmsg=$(grep -m1 '"/proc/kmsg"' "$T/verify-root.strace")
    pseudo=$(grep -oE 'open(at)?\(AT_FDCWD, "/(proc|sys|dev)/[^"]*' "$T/verify-root.strace" | cut -d'"' -f2 |
             grep -vcE '^/proc/self/|^/sys/devices/system/cpu/|^/dev/(null|tty|urandom)$')
    last_open=$(grep -vE '\+\+\+|---' "$T/verify-root.strace" | tail -n 1 | grep -oE '"[^"]*"' | head -n 1)
    [[ -n $kmsg ]] && problems+=("opens /proc/kmsg (${kmsg##*= })")
    (( pseudo > 0 )) && problems+=("opens $pseudo files below /proc, /sys or /dev")
    (( verify_rc == 124 )) && problems+=("is still running after 60 s, its last open being $last_open")
    (( verify_rc == 0 )) && problems+=("exits 0 on a tree without Qt")
    if (( ${#problems[@]} )); then
        local joined
        printf -v joined '%s, ' "${problems[@]}"
        fault "verify / ${joined%, }"
    else
        good "verify / exits $verify_rc within 60 s: $(last_line)"
    fi
    # dmesg reads the log without taking from it, as a read of /proc/kmsg does: only a log that
    # was cleared shows here.
    if [[ -n $before_log && -n $after_log ]] && (( after_log < before_log )); then
        fault "the kernel log lost lines during verify / ($before_log, then $after_log)"
    fi

    say "A bind mount below DIR: lib/extra shows a directory outside the tree."
    show_var Q "$T/qt-4.8.7"
    fresh Q
    run 'mkdir "$T/outside" "$Q/lib/extra" && cp "$Q/lib/libQtCore.so.4.8.7" "$T/outside/"'
    run 'mount --bind "$T/outside" "$Q/lib/extra"'
    if (( rc != 0 )); then
        skipped "mount --bind is not permitted here"
    else
        trap 'umount "$Q/lib/extra" 2>/dev/null' EXIT
        run 'zel-qt-patcher-cli patch --deep "$Q"'
        run 'umount "$Q/lib/extra"; ls -l "$T/outside"; strings "$T/outside/libQtCore.so.4.8.7" | grep qt_prfxpath; readelf -d "$T/outside/libQtCore.so.4.8.7" | grep RUNPATH'
        trap - EXIT
        if ! cmp -s "$PRISTINE/lib/libQtCore.so.4.8.7" "$T/outside/libQtCore.so.4.8.7" || [[ $(ls -A "$T/outside") != libQtCore.so.4.8.7 ]]; then
            fault "patch --deep wrote into the bind mount (the directory lives outside the tree)"
        else
            good "nothing was written through the bind mount"
        fi
    fi

    say "A tree without Qt: /usr/local, dry run."
    run 'touch "$T/stamp"; find /usr/local -newer "$T/stamp" | wc -l'
    local newer_before
    newer_before=$(tail -n 1 "$RUN/out")
    run 'timeout 300 zel-qt-patcher-cli patch --deep --dry-run /usr/local | tail -n 3'
    local dry_rc=$rc dry_last
    dry_last=$(last_line)
    run 'find /usr/local -newer "$T/stamp" | wc -l'
    if (( $(tail -n 1 "$RUN/out") > newer_before )); then
        fault "patch --deep --dry-run /usr/local changed files"
    elif (( dry_rc == 124 )); then
        fault "patch --deep --dry-run /usr/local is still running after 300 s"
    elif grep -qE '[1-9][0-9]* (files? would be changed|fichiers? seraient? modifiés?)' <<< "$dry_last"; then
        fault "patch --deep --dry-run /usr/local would change files of a tree without Qt (exit $dry_rc): $dry_last"
    else
        good "patch --deep --dry-run /usr/local exits $dry_rc: $dry_last"
    fi
}

scenario_08() {
    say "8. Files it cannot name or read."
    say "As root: a plugin named in Latin-1, and one in a Latin-1 directory."
    show_var Q "$T/latin1/qt-4.8.7"
    fresh Q
    show_var E $'\xe9'
    run 'cp "$Q/plugins/codecs/libqcncodecs.so" "$Q/plugins/codecs/libqcn${E}codecs.so"'
    run 'mkdir "$Q/plugins/caf$E" && cp "$Q/plugins/codecs/libqcncodecs.so" "$Q/plugins/caf$E/libqcafe.so"'
    run 'zel-qt-patcher-cli patch --deep "$Q" | tail -n 4'
    local patch_rc=$rc patch_last
    patch_last=$(last_line)
    run 'zel-qt-patcher-cli verify "$Q" | tail -n 4'
    local verify_rc=$rc
    run 'ls -b "$Q/plugins/codecs" "$Q/plugins/caf$E"; readelf -d "$Q/plugins/codecs/libqcn${E}codecs.so" "$Q/plugins/caf$E/libqcafe.so" | grep RUNPATH'
    local f unnamed=0
    for f in "$Q/plugins/codecs/libqcn${E}codecs.so" "$Q/plugins/caf$E/libqcafe.so"; do
        names_old "$f" && unnamed=$((unnamed + 1))
    done
    if (( unnamed && (patch_rc == 0 || verify_rc == 0) )); then
        fault "patch --deep exits $patch_rc and verify $verify_rc while $unnamed Latin-1 named plugins keep RUNPATH $OLD/lib, unreported"
    fi
    run "find \"\$Q\" -name \"*\$(printf '\\357\\277\\275')*\""
    [[ -s $RUN/out ]] && fault "files named with U+FFFD appeared: $(head -n 1 "$RUN/out")"
    (( unnamed )) || good "the Latin-1 named plugins were patched ($patch_last)"

    say "As a member of the tree's group (user 65534, group 100): a plugin directory and a library it cannot read."
    show_var Q "$T/shared/qt-4.8.7"
    fresh Q
    run 'chgrp -R 100 "$Q" && chmod -R g+w "$Q" && chmod 0 "$Q/plugins/sqldrivers" "$Q/lib/libQtDBus.so.4.8.7"'
    run 'setpriv --reuid=65534 --regid=65534 --groups=100 zel-qt-patcher-cli patch --deep "$Q" | tail -n 6'
    patch_rc=$rc
    run 'setpriv --reuid=65534 --regid=65534 --groups=100 zel-qt-patcher-cli verify "$Q" | tail -n 6'
    verify_rc=$rc
    run 'readelf -d "$Q/lib/libQtDBus.so.4.8.7" "$Q/plugins/sqldrivers/libqsqlite.so" | grep RUNPATH'
    unnamed=0
    for f in "$Q/lib/libQtDBus.so.4.8.7" "$Q/plugins/sqldrivers/libqsqlite.so"; do
        names_old "$f" && unnamed=1
    done
    if (( unnamed && (patch_rc == 0 || verify_rc == 0) )); then
        fault "as a group member, patch --deep exits $patch_rc and verify $verify_rc while the unreadable lib/libQtDBus.so.4.8.7 and plugins/sqldrivers/ keep $OLD, unreported"
    elif (( unnamed )); then
        good "as a group member, patch --deep exits $patch_rc and verify $verify_rc"
    else
        good "as a group member, the unreadable files were patched anyway"
    fi
}

scenario_09() {
    say "9. An earlier place whose backups are gone: patch --deep, two backups deleted, the tree moved, patch --deep again."
    show_var A "$T/a/qt-4.8.7"
    show_var B "$T/b/qt-4.8.7"
    fresh A
    run 'zel-qt-patcher-cli patch --deep "$A" | tail -n 1'
    run 'rm "$A/mkspecs/qconfig.pri.back" "$A/lib/libQtCore.prl.back"'
    run 'mkdir "$T/b" && mv "$A" "$B" && rmdir "$T/a"'
    run 'zel-qt-patcher-cli patch --deep "$B"'
    local patch_rc=$rc
    run 'grep QMAKE_RPATHDIR "$B/mkspecs/qconfig.pri"; grep QMAKE_PRL_LIBS "$B/lib/libQtCore.prl"'
    local earlier
    earlier=$(grep -lF "$A" "$B/mkspecs/qconfig.pri" "$B/lib/libQtCore.prl")
    if [[ -n $earlier && $patch_rc == 0 ]]; then
        fault "patch --deep exits 0 while $(echo "${earlier//"$B"\//}" | paste -sd' ') still name the earlier place"
    elif [[ -n $earlier ]]; then
        good "patch --deep exits $patch_rc and says the files without backups still name the earlier place"
    fi
    run 'zel-qt-patcher-cli verify "$B"'
    if [[ $rc == 0 && -n $earlier ]]; then
        fault "verify exits 0 while qconfig.pri names the earlier place $A"
    fi
    local verify_rc=$rc
    run 'make-trial-qt.sh --check-program "$B"'
    if (( rc != 0 && patch_rc != 0 && verify_rc != 0 )); then
        good "the check program fails, as patch --deep and verify said it would"
    else
        judge_check_program "$B" ""
    fi
    run 'zel-qt-patcher-cli unpatch --deep "$B"'
    local unpatch_rc=$rc
    run 'grep QMAKE_RPATHDIR "$B/mkspecs/qconfig.pri"; diff -r --no-dereference -x "*.back" "$PRISTINE" "$B"'
    if (( rc != 0 && unpatch_rc == 0 )); then
        fault "unpatch --deep exits 0 but the tree is not the original"
    elif (( rc != 0 )); then
        good "unpatch --deep exits $unpatch_rc: the files without backups cannot be restored"
    else
        good "unpatch --deep gives back the original tree"
    fi
}

scenario_10() {
    say "10. A plain patch after --deep."
    show_var Q "$T/qt-4.8.7"
    fresh Q
    run 'zel-qt-patcher-cli patch --deep "$Q" | tail -n 1'
    run 'readelf -d "$Q/lib/libQtCore.so" "$Q/bin/qmake" | grep RUNPATH; grep -E "^(libdir|dependency_libs)=" "$Q/lib/libQtCore.la"'
    run 'zel-qt-patcher-cli patch "$Q"'
    run 'readelf -d "$Q/lib/libQtCore.so" "$Q/bin/qmake" | grep RUNPATH; grep -E "^(libdir|dependency_libs)=" "$Q/lib/libQtCore.la"'
    local back=()
    [[ $(runpath_of "$Q/lib/libQtCore.so") == *"$OLD"* ]] && back+=("libQtCore's RUNPATH")
    [[ $(runpath_of "$Q/bin/qmake") == *"$OLD"* ]] && back+=("bin/qmake's RUNPATH")
    names_old "$Q/lib/libQtCore.la" && back+=("lib/libQtCore.la")
    if (( ${#back[@]} )); then
        local joined
        printf -v joined '%s, ' "${back[@]}"
        fault "a plain patch after --deep puts $OLD back into ${joined%, }"
    fi
    run 'zel-qt-patcher-cli verify "$Q"'
    judge_verify "$Q" ""
    run 'make-trial-qt.sh --check-program "$Q"'
    judge_check_program "$Q" ""
}

scenario_11() {
    say "11. A non-default layout: plugins in OLDROOT/lib/qt4/plugins."
    show_var Q "$T/qt-4.8.7"
    fresh Q PRISTINE_QT4
    run 'strings "$Q/lib/libQtCore.so.4.8.7" | grep qt_plugpath'
    run 'zel-qt-patcher-cli patch --deep "$Q" | tail -n 3'
    run '"$Q/bin/qmake" -query QT_INSTALL_PLUGINS'
    local plugins
    plugins=$(tail -n 1 "$RUN/out")
    if [[ $plugins != "$Q/lib/qt4/plugins" ]]; then
        fault "after a patch, qmake -query QT_INSTALL_PLUGINS says $plugins instead of $Q/lib/qt4/plugins"
    else
        good "qmake -query QT_INSTALL_PLUGINS says $Q/lib/qt4/plugins"
    fi
    run 'zel-qt-patcher-cli verify "$Q"'
    if [[ $rc == 0 && $plugins != "$Q/lib/qt4/plugins" ]]; then
        fault "verify exits 0 while the plugin path is $plugins"
    elif [[ $rc != 0 && $plugins == "$Q/lib/qt4/plugins" ]] && [[ -z $(stale_files "$Q") ]]; then
        fault "verify exits $rc on a tree relocated everywhere"
    fi
    run 'for f in "$Q"/lib/qt4/plugins/*/*.so; do echo "$f: $(readelf -d "$f" | grep RUNPATH)"; ldd "$f" | grep QtCore; done'
    grep -q 'not found' "$RUN/out" && fault "a plugin in lib/qt4/plugins no longer finds libQtCore"
}

scenario_12() {
    say "12. Roots holding a character qmake cannot carry unquoted."
    local label char
    for label in hash dollar double-quote single-quote backslash; do
        case $label in
        hash) char='#' ;; dollar) char='$' ;; double-quote) char='"' ;; single-quote) char="'" ;; backslash) char='\' ;;
        esac
        say "Root with $label ($char)."
        show_var D "$T/$label/Qt${char}4.8.7"
        fresh D
        run 'zel-qt-patcher-cli patch --deep "$D" | tail -n 2'
        if (( rc == 2 )); then
            if [[ -n $(find "$D" -name '*.back' -print -quit) ]]; then
                fault "$label: the CLI rejects the root but wrote backups"
            else
                good "$label: the CLI rejects the root ($(last_line))"
            fi
            continue
        fi
        local patch_rc=$rc
        run 'zel-qt-patcher-cli verify "$D" | tail -n 2'
        local verify_rc=$rc
        run '"$D/bin/qmake" -query QT_INSTALL_PREFIX'
        show_var P "$T/$label-pro"
        run 'mkdir "$P" && cp "$D/mkspecs/qconfig.pri" "$D/lib/libQtCore.prl" "$P/" && cp "$D/.qmake.cache" "$P/qmake-cache.pri"'
        cat > "$P/t.pro" <<'EOF'
TEMPLATE = aux
include(qconfig.pri)
message(QMAKE_RPATHDIR=$$QMAKE_RPATHDIR)
include(libQtCore.prl)
message(QMAKE_PRL_LIBS=$$QMAKE_PRL_LIBS)
include(qmake-cache.pri)
message(QT_BUILD_TREE=$$QT_BUILD_TREE)
EOF
        run 'cat "$P/t.pro"'
        run '(cd "$P" && /usr/lib/qt5/bin/qmake t.pro)'
        local read_rpath read_libs read_tree
        read_rpath=$(sed -n 's/^Project MESSAGE: QMAKE_RPATHDIR=//p' "$RUN/out")
        read_libs=$(sed -n 's/^Project MESSAGE: QMAKE_PRL_LIBS=//p' "$RUN/out")
        read_tree=$(sed -n 's/^Project MESSAGE: QT_BUILD_TREE=//p' "$RUN/out")
        local wrong=()
        # Anything qmake says besides the messages asked for is a complaint about the files.
        local complaint
        complaint=$(grep -vE '^(Project MESSAGE: |Info: creating stash file )' "$RUN/out" | head -n 1)
        [[ -n $complaint ]] && wrong+=("qmake says '${complaint##*: }'")
        [[ $read_rpath == "$D/lib" ]] || wrong+=("QMAKE_RPATHDIR reads as '${read_rpath//"$T"\//…/}'")
        [[ $read_libs == "-L$D/lib -lpthread" ]] || wrong+=("QMAKE_PRL_LIBS reads as '${read_libs//"$T"\//…/}'")
        [[ $read_tree == "$D" ]] || wrong+=("QT_BUILD_TREE reads as '${read_tree//"$T"\//…/}'")
        if (( ${#wrong[@]} )); then
            local joined
            printf -v joined '%s, ' "${wrong[@]}"
            fault "$label: the CLI accepts the root (patch exit $patch_rc, verify exit $verify_rc) but ${joined%, }"
        else
            good "$label: accepted, and qmake reads the patched values whole"
        fi
    done
}

scenario_13() {
    say "13. Slots patched to a much shorter root: what is left after the new value."
    local short=/t/q
    if [[ -e /t ]]; then
        short="$T/q"
        say "/t exists on this machine and is not touched; $short stands in for /t/q."
    else
        trap 'rm -rf /t' EXIT
    fi
    show_var Q "$short"
    fresh Q
    run 'zel-qt-patcher-cli patch "$Q" | tail -n 1'
    run 'xxd -s "$(grep -obaF qt_prfxpath= "$Q/lib/libQtCore.so.4.8.7" | head -n 1 | cut -d: -f1)" -l 64 "$Q/lib/libQtCore.so.4.8.7"'
    run 'strings "$Q/lib/libQtCore.so.4.8.7" | grep -A1 qt_prfxpath'
    local key offset tails=()
    for key in prfx docs hdrs libs bins plug imps data trns xmpl demo; do
        offset=$(grep -obaF "qt_${key}path=" "$Q/lib/libQtCore.so.4.8.7" | head -n 1 | cut -d: -f1)
        [[ -n $offset ]] || continue
        # A slot is its key, the value, and NULs up to its 524 bytes; more strings are an old tail.
        if (( $(dd if="$Q/lib/libQtCore.so.4.8.7" bs=1 skip="$offset" count=524 status=none | tr '\0' '\n' | grep -c .) > 1 )); then
            tails+=("qt_${key}path=")
        fi
    done
    if (( ${#tails[@]} )); then
        fault "${#tails[@]} of 11 slots keep the old value's tail after the new one's NUL (${tails[0]}...)"
    else
        good "every slot is NUL after the new value"
    fi
}

scenario_14() {
    say "14. The final newline of .qmake.cache, and a qmake.conf that names no path."
    show_var Q "$T/qt-4.8.7"
    fresh Q
    run 'grep -c / "$Q/mkspecs/default/qmake.conf"; tail -c 20 "$Q/.qmake.cache" | xxd'
    run 'zel-qt-patcher-cli patch "$Q"'
    grep -F 'qmake.conf' "$RUN/out" | sed 's/^/   the report said: /'
    if ! cmp -s "$PRISTINE/mkspecs/linux-g++/qmake.conf" "$Q/mkspecs/linux-g++/qmake.conf" || [[ -e $Q/mkspecs/linux-g++/qmake.conf.back ]]; then
        fault "the first patch rewrote (and backed up) a qmake.conf that names no path"
    else
        good "the qmake.conf that names no path is left alone"
    fi
    run 'tail -c 20 "$Q/.qmake.cache" | xxd; tail -c 1 "$Q/mkspecs/default/qmake.conf" | xxd'
    local unterminated=()
    [[ $(tail -c 1 "$Q/.qmake.cache" | xxd -p) == 0a ]] || unterminated+=(.qmake.cache)
    [[ $(tail -c 1 "$Q/mkspecs/linux-g++/qmake.conf" | xxd -p) == 0a ]] || unterminated+=(qmake.conf)
    run 'echo "X = 1" >> "$Q/.qmake.cache"; tail -n 2 "$Q/.qmake.cache"'
    if (( ${#unterminated[@]} )); then
        fault "the patch drops the final newline of ${unterminated[*]}, so a line appended with echo ends up as '$(tail -n 1 "$Q/.qmake.cache")'"
    fi
    run 'zel-qt-patcher-cli patch "$Q" | tail -n 1'
    run 'tail -c 20 "$Q/.qmake.cache" | xxd; grep -n "X = 1" "$Q/.qmake.cache"'
    if ! grep -q 'X = 1' "$Q/.qmake.cache"; then
        fault "the second patch drops the appended 'X = 1'"
    elif ! grep -qx 'X = 1' "$Q/.qmake.cache"; then
        fault "after the second patch, 'X = 1' is still glued to another line"
    fi
}

scenario_15() {
    say "15. '..' after a link: LINK/../qt, where the system resolves LINK/.. to other/dir."
    show_var T "$T"
    run 'mkdir -p "$T/other/dir/sub" && ln -s "$T/other/dir/sub" "$T/LINK"'
    run 'cp -a "$PRISTINE" "$T/other/dir/qt" && cp -a "$PRISTINE" "$T/qt"'
    run 'readlink -f "$T/LINK/../qt"'
    run '(cd "$T" && zel-qt-patcher-cli patch LINK/../qt)'
    local patch_rc=$rc
    run 'ls "$T"/qt/lib/*.back "$T"/other/dir/qt/lib/*.back; strings "$T/qt/lib/libQtCore.so.4.8.7" "$T/other/dir/qt/lib/libQtCore.so.4.8.7" | grep qt_prfxpath'
    if ! cmp -s "$PRISTINE/lib/libQtCore.so.4.8.7" "$T/qt/lib/libQtCore.so.4.8.7"; then
        fault "patch LINK/../qt (exit $patch_rc) patched $T/qt, not $T/other/dir/qt where the system resolves it"
    elif grep -qaF "qt_prfxpath=$T/qt" "$T/other/dir/qt/lib/libQtCore.so.4.8.7"; then
        fault "patch LINK/../qt patched $T/other/dir/qt with the root $T/qt"
    elif grep -qaF "qt_prfxpath=$T/other/dir/qt" "$T/other/dir/qt/lib/libQtCore.so.4.8.7"; then
        good "patch LINK/../qt patched $T/other/dir/qt for its own path"
    else
        good "patch LINK/../qt exits $patch_rc and patches neither tree"
    fi
}

scenario_16() {
    say "16. DIR below a directory whose name holds .back: app.backend."
    show_var Q "$T/srv/app.backend/qt"
    fresh Q
    run 'zel-qt-patcher-cli patch "$Q"'
    local patch_rc=$rc patch_last
    patch_last=$(last_line)
    run 'strings "$Q/lib/libQtCore.so.4.8.7" | grep qt_prfxpath'
    if (( patch_rc != 0 )) || ! grep -qaF "qt_prfxpath=$Q" "$Q/lib/libQtCore.so.4.8.7"; then
        fault "patch below app.backend exits $patch_rc and leaves libQtCore naming $OLD: $patch_last"
    else
        good "patch below app.backend works: $patch_last"
    fi
}

scenario_17() {
    say "17. An ELF search path that climbs out with '..': OLDROOT/../../usr/lib, in a plugin and in a .prl."
    show_var Q "$T/x/qt-4.8.7"
    fresh Q
    # The place the climbing path reaches from the new root exists, so that a test of existence
    # alone would take it for a path below the installation.
    run 'mkdir -p "$T/usr/lib"'
    run 'gcc -shared -fPIC -I"$Q/include" -DQT_PLUGIN="\"libqclimb\"" -Wl,-rpath,"$OLD/../../usr/lib" -Wl,--enable-new-dtags -o "$Q/plugins/codecs/libqclimb.so" "$SOURCES/plugin.c" -L"$Q/lib" -lQtCore'
    run 'sed -i "s|^QMAKE_PRL_LIBS = .*|& -L$OLD/../../usr/lib|" "$Q/lib/libQtCore.prl"; grep QMAKE_PRL_LIBS "$Q/lib/libQtCore.prl"'
    run 'zel-qt-patcher-cli patch --deep "$Q" | tail -n 1'
    run 'readelf -d "$Q/plugins/codecs/libqclimb.so" | grep RUNPATH; grep QMAKE_PRL_LIBS "$Q/lib/libQtCore.prl"'
    local meant written
    meant=$(realpath -m "$OLD/../../usr/lib")
    written=$(runpath_of "$Q/plugins/codecs/libqclimb.so")
    written=$(realpath -m "${written//\$ORIGIN/$Q/plugins/codecs}")
    if [[ $written != "$meant" ]]; then
        fault "patch --deep turns the plugin's RUNPATH $OLD/../../usr/lib ($meant) into $written"
    else
        good "the plugin's climbing RUNPATH still leads to $meant"
    fi
    local climbing
    climbing=$(grep '^QMAKE_PRL_LIBS' "$Q/lib/libQtCore.prl" | tr ' ' '\n' | grep -- '^-L.*usr/lib$' | cut -c3-)
    if [[ -n $climbing && $(realpath -m "$climbing") != "$meant" ]]; then
        fault "patch --deep turns -L$OLD/../../usr/lib in libQtCore.prl into -L$climbing ($(realpath -m "$climbing"))"
    elif [[ -n $climbing ]]; then
        good "the .prl's climbing -L still leads to $meant"
    fi
}

# --- One scenario, in a process of its own ----------------------------------------------------

if [[ ${1:-} == --scenario ]]; then
    n="$2"
    T="$WORK/s$n" RUN="$WORK/s$n.run"
    mkdir -p "$T" "$RUN"
    cd "$T" || exit 1
    printf '# Transcript of scenario %s, %s. Old root %s (absent). Commands run as %s, LANG=%s.\n' \
        "$n" "$(date -u +%FT%TZ)" "$OLD" "$(id -un)" "$LANG"
    printf '# zel-qt-patcher-cli is %s (%s).\n' "$CLI" "$("$CLI" --version 2>&1 | head -n 1)"
    printf '# PRISTINE: made by make-trial-qt.sh PRISTINE; PRISTINE_QT4: make-trial-qt.sh --plugindir lib/qt4/plugins.\n'
    printf '$ PRISTINE=%q\n$ PRISTINE_QT4=%q\n$ OLD=%q\n' "$PRISTINE" "$PRISTINE_QT4" "$OLD"
    "scenario_$n"
    echo
    verdict
    exit 0
fi

# --- All of them ------------------------------------------------------------------------------

cli="$(readlink -f "${1:?usage: trial-faults.sh CLI OUTDIR [NN...]}")"
out="${2:?usage: trial-faults.sh CLI OUTDIR [NN...]}"
shift 2
[[ -x $cli ]] || { echo "error: $cli is not an executable" >&2; exit 2; }
[[ $(id -u) == 0 ]] || { echo "error: run as root (bind mounts, a user of the tree's group)" >&2; exit 2; }
# The scenarios rely on the old root being absent, as on a machine the installation was copied to.
[[ ! -e $OLD ]] || { echo "error: $OLD exists; the scenarios need it absent" >&2; exit 2; }
"$scripts/deps.sh" trial || exit 2
mkdir -p "$out" && out="$(cd "$out" && pwd)" || exit 2

WORK="$(mktemp -d /tmp/zel-trial.XXXXXX)" || exit 2
# The user of scenario 8 must reach the trees and the tool.
chmod 755 "$WORK"
cleanup() {
    # A bind mount left by a killed scenario must go before the tree, or rm would empty its source.
    findmnt -rn -o TARGET | grep -F "$WORK/" | sort -r | while read -r target; do umount -l "$target"; done
    rm -rf -- "$WORK"
}
trap cleanup EXIT
mkdir "$WORK/bin"
ln -s "$cli" "$WORK/bin/zel-qt-patcher-cli"
ln -s "$scripts/make-trial-qt.sh" "$WORK/bin/make-trial-qt.sh"
export PATH="$WORK/bin:$PATH" WORK CLI="$cli" OLD SOURCES="$scripts/trial-qt" LANG=en_US.UTF-8 LC_ALL=
export PRISTINE="$WORK/pristine/qt-4.8.7" PRISTINE_QT4="$WORK/pristine-qt4/qt-4.8.7"
"$scripts/make-trial-qt.sh" "$PRISTINE" && "$scripts/make-trial-qt.sh" --plugindir lib/qt4/plugins "$PRISTINE_QT4" || exit 2

selected=("$@")
: > "$out/summary.txt"
for entry in "${scenarios[@]}"; do
    n="${entry%%:*}"
    if (( ${#selected[@]} )) && [[ " ${selected[*]} " != *" $n "* ]]; then continue; fi
    transcript="$out/${entry/:/-}.txt"
    timeout -k 10 1200 "$scripts/trial-faults.sh" --scenario "$n" > "$transcript" 2>&1
    status=$?
    if ! tail -n 1 "$transcript" | grep -q '^VERDICT:'; then
        echo "VERDICT: NOT SET UP: the scenario stopped before its verdict (exit $status$( ((status == 124)) && echo ', after 1200 s'))" >> "$transcript"
    fi
    printf '%s  %s\n' "${entry/:/-}" "$(tail -n 1 "$transcript")" | tee -a "$out/summary.txt"
done
