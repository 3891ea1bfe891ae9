#!/usr/bin/env bash
# Configures and builds one Qt variant: scripts/build.sh 6|5  -> build/qt6 or build/qt5.
set -euo pipefail
major="${1:-6}"
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build/qt$major"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_QT_MAJOR="$major" >/dev/null
cmake --build "$dir" -j"$(nproc)"
