#!/usr/bin/env bash
# Builds the window and the CLI, makes a sample Qt 4 installation to try them on, and opens the window.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# A platform left over from the tests (offscreen) would open an invisible window that never ends.
case "${QT_QPA_PLATFORM:-}" in
    offscreen | minimal) unset QT_QPA_PLATFORM ;;
esac
no_display() {
    echo "error: no display ($1); run this from a desktop session, or under xvfb-run" >&2
    exit 1
}
# A local X display whose server is gone would make Qt abort with a core dump.
check_x_display() {
    [[ -n "${DISPLAY:-}" ]] || no_display "DISPLAY is not set"
    if [[ "$DISPLAY" =~ ^:([0-9]+) && ! -S "/tmp/.X11-unix/X${BASH_REMATCH[1]}" ]]; then
        no_display "no X server answers on $DISPLAY"
    fi
}
case "${QT_QPA_PLATFORM:-}" in
    xcb*) check_x_display ;;
    wayland*) [[ -n "${WAYLAND_DISPLAY:-}" ]] || no_display "WAYLAND_DISPLAY is not set" ;;
    "") [[ -n "${WAYLAND_DISPLAY:-}" ]] || check_x_display ;;
    *) ;; # linuxfb, eglfs, vnc, ...: chosen on purpose, no display server needed
esac

"$root/scripts/deps.sh" gui
# Only the two programs: the tests would take most of the time before the window opens.
"$root/scripts/build.sh" 6 zel-qt-patcher zel-qt-patcher-cli

sample="$root/build/sample-qt"
"$root/scripts/make-sample.sh" "$sample"
echo "Sample Qt 4 installation: $sample"

exec "$root/build/qt6/zel-qt-patcher"
