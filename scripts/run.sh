#!/usr/bin/env bash
# Builds the tool, makes a sample Qt 4 installation to try it on, and opens the window.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# A platform left over from the tests (offscreen) would open an invisible window that never ends.
case "${QT_QPA_PLATFORM:-}" in
    offscreen*|minimal*) unset QT_QPA_PLATFORM ;;
esac
no_display() {
    echo "error: no display ($1); run this from a desktop session, or under xvfb-run" >&2
    exit 1
}
# Other platforms chosen on purpose (linuxfb, eglfs, vnc, ...) need no X or Wayland display.
case "${QT_QPA_PLATFORM:-xcb}" in
    xcb*|wayland*)
        if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
            no_display "DISPLAY is not set"
        fi
        # A local X display whose server is gone would make Qt abort with a core dump.
        if [[ -z "${WAYLAND_DISPLAY:-}" && "${DISPLAY:-}" =~ ^:([0-9]+) && ! -S "/tmp/.X11-unix/X${BASH_REMATCH[1]}" ]]; then
            no_display "no X server answers on $DISPLAY"
        fi
        ;;
esac

"$root/scripts/deps.sh" gui
"$root/scripts/build.sh" 6

sample="$root/build/sample-qt"
if [[ -x "$root/build/qt6/tests/fixtures/zel-make-sample" ]]; then
    "$root/build/qt6/tests/fixtures/zel-make-sample" "$sample"
    echo "Sample Qt 4 installation: $sample"
fi

exec "$root/build/qt6/zel-qt-patcher"
