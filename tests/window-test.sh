#!/usr/bin/env bash
# Drives the installed window in a real X server (Xvfb) with xdotool, as a person would: "...",
# the directory typed in the dialog, "patcher", the end box, "unpatcher", then a directory
# without lib, then "patcher" on a Qt 5 installation. A screenshot of each step goes to BUILD_DIR/window-test; a failure names the last.
# Usage: tests/window-test.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: window-test.sh BUILD_DIR}" && pwd)"
work="$build/window-test"
rm -rf "$work" && mkdir -p "$work/orig"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
qt="$(mktemp -d /tmp/qt4.XXXXXX)"
data5="$(cd "$(dirname "$0")/data/qt-5.1.1" && pwd)"
pids=()
# The window and the X server are stopped whatever happens, and awaited: an X server still
# dying can answer on its display number when the next run has taken it again.
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$qt"' EXIT
label="window test" class=zel-qt-patcher screen=800x600 settle=0 tenths=200
source "$(dirname "$0")/window-driver.sh"
focus_named() { [[ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" == "$1" ]]; }
# Without a window manager nobody gives the main window the focus back after a dialog;
# the script does, as a click on its frame would.
keys() { xdotool windowfocus "$main"; xdotool key --delay 50 "$@"; }
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
start_x
# The French texts are the ones the script waits for, whatever the locale it runs in.
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= LC_ALL=C.UTF-8
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

# A Qt 5 installation: "patcher" moves its slots and its build metadata, as the command line's patch does.
qt5="$work/qt5" && cp -a "$data5" "$qt5"
choose 08-dialog-qt5 "" "$qt5"
wait_for "accepted directory" count_is 1
next_command patcher 09-qt5-patched
strings -a "$qt5/lib/libQt5Core.so.5.1.1" | grep -qx "qt_docspath=$qt5/doc" && grep -qx "prefix=$qt5" "$qt5/lib/pkgconfig/Qt5Core.pc" \
    || fail "the Qt 5 installation is not patched whole"
close_box
kill -0 "${pids[1]}" || fail "the window ended on its own"
echo "window test: passed; screenshots in $work"
