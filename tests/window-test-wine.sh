#!/usr/bin/env bash
# Drives the Windows window (zel-qt-patcher.exe) under wine in a private X server run by openbox,
# with xdotool from the keyboard, as a person would: "...", the path of a Windows-shaped installation
# typed into the directory dialog as Z:\..., "patch", the end box closed, "unpatch", its box closed;
# then "patch" on a Windows-shaped Qt 5 installation.
# It checks the files on disk after each command; a screenshot of each step goes to OUT/window-test.
# Usage: tests/window-test-wine.sh OUT     (build/windows of scripts/windows.sh: install/ and wineprefix/)
set -euo pipefail
out="$(cd "${1:?usage: window-test-wine.sh OUT}" && pwd)"
data="$(cd "$(dirname "$0")/data/mingw" && pwd)"
data5="$(cd "$(dirname "$0")/data/qt-5.3.1-mingw" && pwd)"
program="$out/install/bin/zel-qt-patcher.exe"
work="$out/window-test"

export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A wine server that earlier programs of this prefix left running keeps their desktop, made without
# a display, and no window of this one would ever show.
wineserver -k 2>/dev/null || true
rm -rf "$work" && mkdir -p "$work"
pids=()
# The window, wine's server, the window manager and the X server are stopped whatever happens,
# and awaited: an X server still dying can answer on its display number when the next run takes it.
trap 'kill "${pids[@]}" 2>/dev/null; wineserver -k 2>/dev/null; wait' EXIT
# wine names its X windows' class after the program; its own helper windows are never mapped.
label="window test (wine)" class=zel-qt-patcher.exe screen=1024x768 settle=0.5
source "$(dirname "$0")/window-driver.sh"
# What is on disk after a command.
file_check() {
    local what="$1"; shift
    "$@" || fail "file check: $what"
    echo "$label: file check passed: $what"
}
keys() { xdotool windowactivate --sync "$main" key --delay 80 "$@"; }
# A Qt 4 installation built with MinGW-w64, as in tests/data/mingw.
lay_out() { cp -r "$data" "$1"; }
# The folder dialog gives the path with forward slashes, and so it is written into the slots.
binaries_patched() {
    local binary
    for binary in bin/qmake.exe bin/QtCore4.dll bin/QtCored4.dll lib/libQtCore4.a; do
        grep -qa "qt_prfxpath=Z:$qt"$'\0' "$qt/$binary" && cmp -s "$qt/$binary.back" "$work/orig/$binary" || return 1
    done
}
# Drive Z: is the Linux root.
windows_path() { echo "Z:${1//\//\\}"; }

qt="$work/qt" && lay_out "$qt" && lay_out "$work/orig"
start_x
openbox >"$work/openbox.log" 2>&1 & pids+=($!)
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
wait_for "window manager" wm_up

# English, the translation embedded in the program, is the language the script waits for.
(cd "$work" && exec env LC_ALL=en_US.UTF-8 wine "$program") >"$work/app.log" 2>&1 & pids+=($!)
# The first program a new prefix shows waits for wine to set up its desktop and fonts, much longer
# on a loaded machine.
tenths=1200 wait_for "main window" count_is 1
main="$(windows)"
seen 01-start

keys Tab space
# wine's folder dialog has a title of its own ("Select Folder"): it is the second window.
wait_for "directory dialog" box_up 2
xdotool type --delay 20 "$(windows_path "$qt")"
seen 02-dialog
xdotool key Return
wait_for "accepted directory" count_is 1
sleep 0.5
shot 03-chosen

next_command patch 04-patched
file_check "qmake.exe, both DLLs and libQtCore4.a name Z:$qt beside their backups" binaries_patched
close_box

next_command unpatch 05-unpatched
file_check "every file is back as it was" diff -r -x '*.back' "$work/orig" "$qt"
close_box

# A Qt 5.3 installation built with MinGW (tests/data/qt-5.3.1-mingw): "patch" moves every path slot of
# qmake.exe and both DLLs, and its .prl. From "unpatch" the focus goes on to the path, then to "...".
qt5="$work/qt5" && cp -r "$data5" "$qt5"
keys Tab Tab space
wait_for "directory dialog" box_up 2
xdotool type --delay 20 "$(windows_path "$qt5")"
seen 06-dialog-qt5
xdotool key Return
wait_for "accepted directory" count_is 1
sleep 0.5
next_command patch 07-qt5-patched
qt5_patched() {
    local binary
    for binary in bin/qmake.exe bin/Qt5Core.dll bin/Qt5Cored.dll; do
        grep -qa "qt_docspath=Z:$qt5/doc"$'\0' "$qt5/$binary" || return 1
    done
    grep -q -- "-LZ:$qt5/lib" "$qt5/lib/Qt5Core.prl"
}
file_check "qmake.exe, both Qt 5 DLLs and the .prl name Z:$qt5" qt5_patched
close_box
kill -0 "${pids[2]}" || fail "the window ended on its own"
echo "window test (wine): passed; screenshots in $work"
