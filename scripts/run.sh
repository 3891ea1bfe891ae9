#!/usr/bin/env bash
# Builds the tool, makes a sample Qt 4 installation to try it on, and opens the window.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "error: no display (DISPLAY is not set); run this from a desktop session, or under xvfb-run" >&2
    exit 1
fi

"$root/scripts/deps.sh" gui
"$root/scripts/build.sh" 6

sample="$root/build/sample-qt"
if [[ -x "$root/build/qt6/tests/fixtures/zel-make-sample" ]]; then
    "$root/build/qt6/tests/fixtures/zel-make-sample" "$sample"
    echo "Sample Qt 4 installation: $sample"
fi

exec "$root/build/qt6/zel-qt-patcher"
