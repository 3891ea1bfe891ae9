#!/usr/bin/env bash
# Remakes the README's pictures in docs/: the real-window test shoots every step under Xvfb;
# two of its shots, cut to the windows, are kept (the directory chosen, the end of a patch).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" window
"$root/scripts/build.sh" 6 >/dev/null
"$root/tests/window-test.sh" "$root/build/qt6"
shots="$root/build/qt6/window-test"
mkdir -p "$root/docs"
# The screen around the windows is black: a black border lets -trim cut it all away.
# -strip drops the time stamps, so an unchanged picture gives the same bytes.
for pair in 03-chosen:window 04-patched:patch-done; do
    convert "$shots/${pair%%:*}.png" -bordercolor black -border 1 -trim +repage -strip \
        "$root/docs/${pair#*:}.png"
done
ls -l "$root/docs"
