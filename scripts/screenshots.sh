#!/usr/bin/env bash
# Remakes the pictures of docs/fr and docs/en in a private X server run by a window manager, so
# that windows have their title bars: the window with an installation chosen (window.png), the end
# of a patch with its box beside the window (patch-done.png), the warning that lists the files that
# failed (patch-failed.png); and a terminal session of verify, patch --deep and verify (session.md).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" window
"$root/scripts/build.sh" 6 zel-qt-patcher zel-qt-patcher-cli >/dev/null
build="$root/build/qt6"
# A fixed place, so that the same pictures come out of every run; make-sample.sh guards it.
work=/tmp/zel-screenshots
mkdir -p "$work"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait' EXIT

fail() { echo "screenshots: $1" >&2; exit 1; }
wait_for() {
    local what="$1"; shift
    for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
    fail "no $what after 20 s (windows: $(windows | tr '\n' ' '))"
}
windows() { xdotool search --onlyvisible --class zel-qt-patcher 2>/dev/null | sort -n; }
count_is() { [[ $(windows | wc -l) -eq $1 ]]; }
focus_named() { [[ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" == "$1" ]]; }
# The screen is black around the windows (Xvfb -br): trimming the black keeps every window whole,
# title bar included; the black left around and between them, reached from a margin put back, is
# painted grey. -strip drops the time stamps.
shoot() {
    sleep 0.5 # the window manager draws the frames after the windows map
    import -window root "$work/screen.png"
    convert "$work/screen.png" -bordercolor black -border 1 -trim +repage -border 16 \
        -fill '#d8d8d8' -draw 'color 0,0 floodfill' -strip "$1"
}
# The end box comes over the busy dialog, which stays up until the box is closed, and the window
# manager centres both over the window, which they would hide: the busy dialog is moved below
# the window and the box beside it.
boxes_beside_window() {
    local busy box
    busy="$(windows | sed -n 2p)" box="$(windows | sed -n 3p)"
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool windowmove "$busy" "$X" $((Y + HEIGHT + 48)) windowmove "$box" $((X + WIDTH + 24)) "$Y"
}
press_patcher() { # from the directory button, or from patcher itself once its box is closed
    xdotool windowactivate --sync "$main" key --delay 50 "$@" space
    wait_for "end box" count_is 3
    boxes_beside_window
}

Xvfb -displayfd 3 -screen 0 2400x1200x24 -br -nolisten tcp 3>"$work/display" 2>/dev/null & pids+=($!)
wait_for "X server" test -s "$work/display"
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME=
openbox >/dev/null 2>&1 & pids+=($!)
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
wait_for "window manager" wm_up

for language in fr:fr_FR.UTF-8 en:en_US.UTF-8; do
    docs="$root/docs/${language%%:*}"
    export LC_ALL="${language#*:}"
    mkdir -p "$docs"
    qt="$work/qt-4.8.7"
    "$root/scripts/make-sample.sh" "$qt"

    (cd "$work" && exec "$build/zel-qt-patcher") >"$work/app.log" 2>&1 & pids+=($!)
    wait_for "main window" count_is 1
    main="$(windows)"
    # Widened, as a person would, for the whole path to show.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool windowsize --sync "$main" 420 "$HEIGHT"
    # The directory button is the first the focus reaches; its dialog takes the path typed.
    xdotool windowactivate --sync "$main" key --delay 50 Tab space
    wait_for "directory dialog" focus_named "Qt path"
    xdotool key ctrl+a type --delay 5 "$qt"
    xdotool key Return
    wait_for "accepted directory" count_is 1
    shoot "$docs/window.png"

    press_patcher Tab
    shoot "$docs/patch-done.png"
    xdotool key Return
    wait_for "closing of the box" count_is 1

    # Two files the patch cannot treat: a library whose slots are too small for the path (with its
    # backup, as if patched before; without one it would be a file added since the patch), and a
    # qmake whose backup was cut short.
    cp "$root/tests/data/windows/QtCore4.dll" "$qt/bin/"
    cp "$qt/bin/QtCore4.dll" "$qt/bin/QtCore4.dll.back"
    truncate -s 4096 "$qt/bin/qmake.back"
    press_patcher
    shoot "$docs/patch-failed.png"
    xdotool key Return
    wait_for "closing of the box" count_is 1
    kill "${pids[-1]}" && wait "${pids[-1]}" 2>/dev/null || true

    # The terminal session, on a copy of the Qt 4.8-shaped installation of the tests.
    session="$work/session/qt-4.8.7"
    rm -rf "$work/session" && mkdir -p "$work/session"
    cp -a "$root/tests/data/metadata/qt-4.8.7" "$session"
    title="verify, patch --deep, verify"
    {
        echo "# $title"
        echo
        if [[ ${language%%:*} == fr ]]; then
            echo "Sur une copie de \`tests/data/metadata/qt-4.8.7\`, une installation construite dans"
            echo "\`/usr/local/Trolltech/Qt-4.8.7\` (refait par \`scripts/screenshots.sh\`) :"
        else
            echo "On a copy of \`tests/data/metadata/qt-4.8.7\`, an installation built in"
            echo "\`/usr/local/Trolltech/Qt-4.8.7\` (made again by \`scripts/screenshots.sh\`):"
        fi
        echo
        echo '```'
        for command in verify "patch --deep" verify; do
            echo "\$ zel-qt-patcher-cli $command $session; echo \$?"
            # shellcheck disable=SC2086 # the command is two words
            "$build/cli/zel-qt-patcher-cli" $command "$session" && echo 0 || echo $?
        done
        echo '```'
    } >"$docs/session.md"
done
rm -f "$root/docs/window.png" "$root/docs/patch-done.png"
ls -l "$root/docs/fr" "$root/docs/en"
