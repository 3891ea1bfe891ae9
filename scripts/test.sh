#!/usr/bin/env bash
# Builds the Qt 6 and the Qt 5 variants and runs every test of both, then drives the
# installed Qt 6 window in a real X server (tests/window-test.sh); last, cross-builds the Windows
# programs and runs their tests and their window under wine (scripts/windows.sh).
# Exits non-zero if any variant fails to build or any test fails.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" window || exit 1

export QT_QPA_PLATFORM=offscreen
status=0
for major in 6 5; do
    echo "=== Qt $major ==="
    if ! "$root/scripts/build.sh" "$major"; then
        echo "Qt $major: build failed"
        status=1
        continue
    fi
    if ! (cd "$root/build/qt$major" && ctest --output-on-failure --timeout 300); then
        status=1
    fi
done

echo "=== Real window (Qt 6, installed layout) ==="
# The script bounds each of its waits; the timeout is the last guard against a hang.
if ! timeout -k 10 120 "$root/tests/window-test.sh" "$root/build/qt6"; then
    echo "real-window test failed"
    status=1
fi

echo "=== Fuzzing the slot and line rules ==="
"$root/scripts/fuzz.sh" 60 || status=1

echo "=== Windows (cross-built, under wine) ==="
# Each of its steps is bounded; building the static Qt when no tarball is there takes about 95 minutes on two busy cores.
if ! "$root/scripts/windows.sh"; then
    echo "Windows build or tests failed"
    status=1
fi
exit $status
