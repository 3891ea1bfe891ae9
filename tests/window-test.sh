#!/usr/bin/env bash
# Drives the installed window in a real X server (Xvfb) with xdotool, as a person would: "...",
# the directory typed in the dialog, "patcher", the end box, "unpatcher", then a directory
# without lib. A screenshot of each step goes to BUILD_DIR/window-test; a failure names the last.
# Usage: tests/window-test.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: window-test.sh BUILD_DIR}" && pwd)"
work="$build/window-test"
rm -rf "$work" && mkdir -p "$work/orig"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
qt="$(mktemp -d /tmp/qt4.XXXXXX)"
pids=()
# The window and the X server are stopped whatever happens, and awaited: an X server still
# dying can answer on its display number when the next run has taken it again.
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$qt"' EXIT
last="none taken yet"

fail() { echo "window test: FAIL: $1; last screenshot: $last; the window's output: $work/app.log" >&2; exit 1; }
shot() { last="$work/$1.png"; import -window root "$last" 2>/dev/null || last+=" (not taken)"; }
# A dialog or box is shot once up, and must lie wholly on the screen, where a person can read it.
seen() {
    shot "$1"
    eval "$(xdotool getwindowfocus getwindowgeometry --shell)"
    ((X >= 0 && Y >= 0 && X + WIDTH <= 800 && Y + HEIGHT <= 600)) || fail "the window of $1 lies off the screen"
}
# Bounded waits: a window that never comes must fail the test, never hang it.
wait_for() {
    local what="$1"; shift
    for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
    shot timeout; fail "no $what after 20 s"
}
windows() { xdotool search --onlyvisible --class zel-qt-patcher 2>/dev/null | sort -n; }
count_is() { [[ $(windows | wc -l) -eq $1 ]]; }
# N windows are up and the newest, found by its window since an end box has no title, has the focus.
box_up() { count_is "$1" && [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$(windows | tail -1)" ]]; }
focus_named() { [[ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" == "$1" ]]; }
# Without a window manager nobody gives the main window the focus back after a dialog;
# the script does, as a click on its frame would.
keys() { xdotool windowfocus "$main"; xdotool key --delay 50 "$@"; }
close_box() { xdotool key Return; wait_for "closing of the box" count_is 1; }
# The focus moves on from the last button pressed to the next one, which runs its command.
next_command() { keys Tab space; wait_for "end box of $1" box_up 3; seen "$2"; }
# The sample installation, twice: one to patch, one to compare with.
make_qt() { "$(dirname "$0")/../scripts/make-sample.sh" "$1"; }
# TABS lead the focus from where it is to "..."; the path is typed over the dialog's field.
choose() {
    keys $2 space
    wait_for "directory dialog" focus_named "Qt path"
    xdotool key ctrl+a type --delay 10 "$3"
    seen "$1"
    xdotool key Return
}

make_qt "$qt" && make_qt "$work/orig" && cd "$work" # where the first directory dialog opens
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" & pids+=($!)
wait_for "X server" test -s "$work/display"
# The French texts are the ones the script waits for, whatever the locale it runs in.
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= LC_ALL=C.UTF-8
"$work/prefix/bin/zel-qt-patcher" >"$work/app.log" 2>&1 & pids+=($!)
wait_for "main window" count_is 1
main="$(windows)"
shot 01-start
choose 02-dialog Tab "$qt"
wait_for "accepted directory" count_is 1
shot 03-chosen

next_command patcher 04-patched
grep -qa "qt_prfxpath=$qt" "$qt/bin/qmake" && cmp -s "$qt/bin/qmake.back" "$work/orig/bin/qmake" || fail "bin/qmake is not patched beside its backup"
close_box

next_command unpatcher 05-unpatched
diff -r --no-dereference -x '*.back' "$work/orig" "$qt" >&2 || fail "the unpatched installation differs from the original"
close_box

mkdir -p "$qt/nolib/bin"
choose 06-dialog-nolib "Tab Tab" "$qt/nolib"
wait_for '"repertoire incorect" box' focus_named "repertoire incorect"
seen 07-rejected
close_box
kill -0 "${pids[1]}" || fail "the window ended on its own"
echo "window test: passed; screenshots in $work"
