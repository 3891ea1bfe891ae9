#!/usr/bin/env bash
# Relocates a copy of Debian's own Qt 5 (scripts/make-debian-qt-tree.sh) as its user would, with the CLI:
# - to a root longer than the 4 bytes its QtCore reads its prefix with: QtCore is refused with both
#   lengths and left whole, everything else moves (qmake, its wrapper and pkg-config answer the new place);
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
# The tree is as it was, the tool's backups aside.
unpatched() { "$cli" unpatch "$1" >/dev/null && diff -r --no-dereference -x '*.back' "$work/pristine" "$1" >/dev/null; }

"$root/scripts/make-debian-qt-tree.sh" 5 "$work/pristine" >/dev/null
core="$(cd "$work/pristine" && ls lib/*/libQt5Core.so.5.*.*)"

long="$work/a-longer-root"
cp -a "$work/pristine" "$long"
status=0
report="$("$cli" patch --deep --json "$long")" || status=$?
check "patch to a longer root fails on QtCore alone" test "$status:$(grep -c '"status": "failed"' <<<"$report")" = 1:1
check "QtCore's refusal names both lengths" grep -qF "\"reasonArgs\":[\"${#long}\",\"4\"],\"reasonCode\":\"prefix-length-fixed\"" <<<"$(tr -d ' \n' <<<"$report")"
check "QtCore is left byte for byte" cmp -s "$work/pristine/$core" "$long/$core"
seen="$("$root/scripts/check-qt-tree.sh" 5 "$long")"
for key in qmake.QT_INSTALL_PREFIX wrapper.QT_INSTALL_PREFIX qmake-qtconf.QT_INSTALL_PREFIX pkgconfig.prefix; do
    check "$key answers the new place" test "$(fact "$seen" "$key")" = "$long"
done
check "unpatch gives the tree back" unpatched "$long"

if [[ "$(id -u)" == 0 ]]; then
    # A root of at most 4 bytes: only root can make one beside /.
    short="$(mktemp -d /XXX)"
    cp -a "$work/pristine/." "$short"
    check "patch to a root of ${#short} bytes succeeds" quiet "$cli" patch --deep "$short"
    check "QtCore's prefix is the root padded to 4 bytes" grep -qaF "qt_prfxpath=$(printf '%-4s' "$short" | tr ' ' /)" "$short/$core"
    check "verify says relocated" quiet "$cli" verify "$short"
    seen="$("$root/scripts/check-qt-tree.sh" 5 "$short")"
    check "the program loads the tree's QtCore" test "$(fact "$seen" program.qtcore-in-tree)" = yes
    check "the program's prefix is the new root" test "$(fact "$seen" program.PrefixPath | sed 's,/*$,,')" = "$short"
    check "unpatch gives the tree back" unpatched "$short"
else
    echo "skipped: a root of at most 4 bytes needs root, to make it beside /"
fi
exit "$failed"
