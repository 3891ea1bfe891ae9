#!/usr/bin/env bash
# Builds the Debian package of one Qt variant into build/package-qt6 (or -qt5) and checks it:
# the menu entry with desktop-file-validate, the French and English manual pages with man, the
# package with lintian.
# Usage: scripts/package.sh [6|5]
set -euo pipefail
major="${1:-6}"
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build/package-qt$major"
"$root/scripts/deps.sh" package

# Debian's own compiler and linker flags (hardening included), as a Debian build would use them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DZEL_QT_MAJOR="$major" >/dev/null
# Only what the package holds; the tests are built and run by scripts/test.sh.
cmake --build "$dir" --target zel-qt-patcher zel-qt-patcher-cli zel-compressed-docs
(cd "$dir" && cpack -G DEB >/dev/null)
deb="$(ls "$dir"/zel-qt-patcher_*.deb)"

desktop-file-validate "$root/packaging/zel-qt-patcher.desktop"
for page in "$dir"/packaging/*.1 "$dir"/packaging/en/*.1; do
    LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$page" >/dev/null
done
lintian --fail-on error,warning "$deb"
echo "$deb"
