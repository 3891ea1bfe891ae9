#!/usr/bin/env bash
# make-sample.sh DIR: lays out a Linux-shaped Qt 4 installation in DIR, copied from the
# test files in tests/data, so that the tool can be tried (and tested) without a real one.
set -euo pipefail
data="$(cd "$(dirname "$0")/../tests/data/qt-4.8.7" && pwd)"
dir="${1:?usage: make-sample.sh DIR}"
marker="$dir/.zel-sample"

# Never delete a directory this script did not make.
if [[ -e "$dir" && -n "$(ls -A "$dir")" ]]; then
    [[ -f "$marker" ]] || { echo "error: $dir is not empty and holds no earlier sample; not touching it" >&2; exit 1; }
    rm -rf -- "$dir"
fi
mkdir -p "$dir"
cp -R "$data/." "$dir/"
ln -s libQtCore.so.4.8.7 "$dir/lib/libQtCore.so.4"
ln -s libQtCore.so.4.8.7 "$dir/lib/libQtCore.so"
ln -s linux-g++ "$dir/mkspecs/default"
echo "Made by scripts/make-sample.sh; its next run replaces this whole directory." >"$marker"
