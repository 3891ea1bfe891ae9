#!/usr/bin/env bash
# Relocates copies of Debian's own Qt 5 and Qt 6 (scripts/make-debian-qt-tree.sh) as their user would,
# with the CLI:
# - to a root longer than the 4 bytes their QtCore reads its prefix with: QtCore is refused with both
#   lengths and left whole, everything else moves (qmake run as the wrapper runs it, and pkg-config,
#   answer the new place);
# - as root, to a root of at most 4 bytes: QtCore takes it padded with "/", verify says relocated, and a
#   program built by CMake from the tree with a run path loads the tree's QtCore and reports the new prefix;
# and unpatches each byte for byte.
#   tests/debian-qt-test.sh CLI
set -euo pipefail
cli="$(readlink -f "${1:?usage: debian-qt-test.sh CLI}")"
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
short=""
trap 'rm -rf -- "$work" ${short:+"$short"}' EXIT
failed=0
check() { # what, then the command that must succeed
    local what="$1"; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
quiet() { "$@" >/dev/null; }
fact() { grep -m1 "^$2: " <<<"$1" | cut -d' ' -f2-; }

for major in 5 6; do
    pristine="$work/pristine-$major"
    "$root/scripts/make-debian-qt-tree.sh" "$major" "$pristine" >/dev/null
    core="$(cd "$pristine" && ls lib/*/libQt${major}Core.so.${major}.*.*)"
    # The tree is as it was, the tool's backups aside.
    unpatched() { "$cli" unpatch "$1" >/dev/null && diff -r --no-dereference -x '*.back' "$pristine" "$1" >/dev/null; }

    long="$work/a-longer-root-$major"
    cp -a "$pristine" "$long"
    status=0
    report="$("$cli" patch --json "$long")" || status=$?
    check "Qt $major: patch to a longer root fails on QtCore alone" \
        test "$status:$(grep -c '"status": "failed"' <<<"$report")" = 1:1
    check "Qt $major: QtCore's refusal names both lengths" \
        grep -qF "\"reasonArgs\":[\"${#long}\",\"4\"],\"reasonCode\":\"prefix-length-fixed\"" <<<"$(tr -d ' \n' <<<"$report")"
    check "Qt $major: QtCore is left byte for byte" cmp -s "$pristine/$core" "$long/$core"
    seen="$("$root/scripts/check-qt-tree.sh" "$major" "$long")"
    for key in wrapper.QT_INSTALL_PREFIX qmake-qtconf.QT_INSTALL_PREFIX pkgconfig.prefix; do
        check "Qt $major: $key answers the new place" test "$(fact "$seen" "$key")" = "$long"
    done
    check "Qt $major: unpatch gives the tree back" unpatched "$long"

    if [[ "$(id -u)" != 0 ]]; then
        echo "skipped: Qt $major to a root of at most 4 bytes needs root, to make it beside /"
        continue
    fi
    short="$(mktemp -d /XXX)"
    cp -a "$pristine/." "$short"
    check "Qt $major: patch to a root of ${#short} bytes succeeds" quiet "$cli" patch "$short"
    check "Qt $major: QtCore's prefix is the root padded to 4 bytes" \
        grep -qaF "qt_prfxpath=$(printf '%-4s' "$short" | tr ' ' /)" "$short/$core"
    check "Qt $major: verify says relocated" quiet "$cli" verify "$short"
    seen="$("$root/scripts/check-qt-tree.sh" "$major" "$short")"
    check "Qt $major: the program loads the tree's QtCore" test "$(fact "$seen" program.qtcore-in-tree)" = yes
    check "Qt $major: the program's prefix is the new root" test "$(fact "$seen" program.PrefixPath | sed 's,/*$,,')" = "$short"
    check "Qt $major: unpatch gives the tree back" unpatched "$short"
    rm -rf -- "$short"
    short=""
done
exit "$failed"
