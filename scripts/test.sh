#!/usr/bin/env bash
# Builds the Qt 6 and the Qt 5 variants and runs every test of both, relocates copies of Debian's
# own Qt 5 and Qt 6 (tests/debian-qt-test.sh), then drives the
# installed Qt 6 window in a real X server (tests/window-test.sh); last, cross-builds the Windows
# programs and runs their tests and their window under wine (scripts/windows.sh).
# Exits non-zero if any variant fails to build or any test fails; the last lines then name each step
# that failed, and the tests or the fuzzer's input behind it, so that the tail of a log is enough.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" window || exit 1

export QT_QPA_PLATFORM=offscreen
failures=()
for major in 6 5; do
    echo "=== Qt $major === (at ${SECONDS} s)"
    if ! "$root/scripts/build.sh" "$major"; then
        failures+=("Qt $major: build failed")
        continue
    fi
    failed_log="$root/build/qt$major/Testing/Temporary/LastTestsFailed.log"
    rm -f "$failed_log" # ctest leaves it behind a green run
    if ! (cd "$root/build/qt$major" && ctest --output-on-failure --timeout 300); then
        failures+=("Qt $major: tests failed: $(tr '\n' ' ' 2>/dev/null <"$failed_log")")
    fi
done

echo "=== Debian's own Qt 5 and Qt 6, copied and relocated with the CLI === (at ${SECONDS} s)"
if ! timeout -k 10 300 "$root/tests/debian-qt-test.sh" "$root/build/qt6/cli/zel-qt-patcher-cli"; then
    failures+=("Debian's Qt 5 and Qt 6 relocated: failed (see the lines starting with FAILED:)")
fi

echo "=== Real window (Qt 6, installed layout) === (at ${SECONDS} s)"
# The script bounds each of its waits; the timeout is the last guard against a hang.
if ! timeout -k 10 120 "$root/tests/window-test.sh" "$root/build/qt6"; then
    failures+=("real window (Qt 6): failed; screenshots in build/qt6/window-test")
fi

echo "=== Fuzzing the slot and line rules === (at ${SECONDS} s)"
if ! "$root/scripts/fuzz.sh" 60 1 150000; then
    failures+=("fuzzing failed; any finding's input, in hex:")
    for input in "$root"/build/fuzz/*-{crash,leak,oom,timeout,slow-unit}-*; do
        [[ -f "$input" ]] && failures+=("  ${input##*/}: $(head -c 2048 "$input" | od -An -tx1 -v | tr -d ' \n')")
    done
fi

echo "=== Windows (cross-built, under wine) === (at ${SECONDS} s)"
# Each of its steps is bounded; building the static Qt when no tarball is there takes about 95 minutes on two busy cores.
if ! "$root/scripts/windows.sh"; then
    failures+=("Windows: build or tests failed (see the lines starting with windows:)")
fi
if [[ ${#failures[@]} -gt 0 ]]; then
    echo "=== Failed === (at ${SECONDS} s)"
    printf '%s\n' "${failures[@]}"
    exit 1
fi
echo "=== Every step passed === (at ${SECONDS} s)"
