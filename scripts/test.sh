#!/usr/bin/env bash
# Builds the Qt 6 and the Qt 5 variants and runs every test of both.
# Exits non-zero if either variant fails to build or any test fails.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" || exit 1

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
"$root/scripts/fuzz.sh" 60 || status=1
exit $status
