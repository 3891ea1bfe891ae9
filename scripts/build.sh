#!/usr/bin/env bash
# Configures and builds one Qt variant: scripts/build.sh 6|5 [TARGET...] -> build/qt6 or build/qt5.
# Without targets it builds everything, the tests included.
set -euo pipefail
major="${1:-6}"
shift || true
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build/qt$major"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_QT_MAJOR="$major" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${1:+--target "$@"}
