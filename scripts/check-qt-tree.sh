#!/usr/bin/env bash
# Shows what a user's build sees from a Qt 5 or Qt 6 tree in Debian's layout, as
# make-debian-qt-tree.sh makes it (and as it stands after being moved and patched).
#   check-qt-tree.sh 5|6 DIR
# Prints one "key: value" line per fact:
#   qmake-qtconf.*   the tree's qmake with the tree's qt.conf, as Debian's wrapper runs it;
#   qmake.*          the tree's qmake alone; qmake.qtcore is the QtCore the loader gives it;
#   qmake-treecore.* Qt 6's qmake6 alone, given the tree's QtCore through LD_LIBRARY_PATH;
#   wrapper.*        the tree's bin/<triplet>-qmake[6]: the qmake and qt.conf it runs, and its answer;
#   pkgconfig.*      pkg-config reading only the tree's .pc files;
#   cmake.*, build.* a program built with CMake against the tree only: the package folders found,
#                    the qglobal.h compiled and the run path linked in;
#   program.*        that program run without LD_LIBRARY_PATH: the QtCore it loaded, read from
#                    /proc/self/maps, and what QLibraryInfo answers.
# Exits non-zero, naming the step, when a step cannot be done.
set -euo pipefail
here="$(dirname "$(readlink -f "$0")")"
usage="usage: check-qt-tree.sh 5|6 DIR"
major="${1:?$usage}"
dir="$(readlink -f "${2:?$usage}")"
[[ "$major" == 5 || "$major" == 6 ]] || { echo "error: Qt major version must be 5 or 6, not '$major'" >&2; exit 2; }
[[ -d "$dir" ]] || { echo "error: $dir is not a directory" >&2; exit 2; }

triplet="$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -dumpmachine)"
libdir="$dir/lib/$triplet"
if [[ "$major" == 5 ]]; then
    qmake="$dir/lib/qt5/bin/qmake" qtconf="$libdir/qt5/qt.conf" wrapper="$dir/bin/$triplet-qmake"
else
    qmake="$dir/lib/qt6/bin/qmake6" qtconf="$libdir/qt6/qt6.conf" wrapper="$dir/bin/$triplet-qmake6"
fi
work="$(mktemp -d)"
trap 'rm -rf -- "$work"' EXIT

fail() { echo "error: $1" >&2; exit 1; }
inside() { [[ "$(readlink -f "$1")" == "$dir"/* ]] && echo yes || echo no; }
# Every child runs without the caller's library path, so the loader alone decides what it gets.
bounded() { env -u LD_LIBRARY_PATH timeout "$@"; }

# PREFIX FILE: the properties a build reads, from a `qmake -query` listing.
properties() {
    local name value
    for name in QT_INSTALL_PREFIX QT_INSTALL_LIBS QT_INSTALL_HEADERS QT_HOST_PREFIX; do
        value="$(sed -n "s/^$name:\(.*\)$/\1/p" "$2")"
        echo "$1.$name: ${value:-(none)}"
    done
}

[[ -x "$qmake" ]] || fail "qmake: $qmake is missing"
bounded 20 "$qmake" -query -qtconf "$qtconf" > "$work/query-qtconf" || fail "qmake -query -qtconf $qtconf failed"
properties qmake-qtconf "$work/query-qtconf"
bounded 20 "$qmake" -query > "$work/query" || fail "qmake -query failed"
properties qmake "$work/query"
# Qt 5's qmake links no QtCore; Qt 6's qmake6 is a QtCore program with no run path of its own.
qmake_core="$(bounded 20 ldd "$qmake" | sed -n "s/^[[:space:]]*libQt${major}Core[^ ]* => \([^ ]*\).*/\1/p")" \
    || fail "ldd $qmake failed"
echo "qmake.qtcore: $([[ -n "$qmake_core" ]] && readlink -f "$qmake_core" || echo '(none)')"
if [[ -n "$qmake_core" ]]; then
    LD_LIBRARY_PATH="$libdir" timeout 20 "$qmake" -query > "$work/query-treecore" \
        || fail "qmake -query with LD_LIBRARY_PATH=$libdir failed"
    properties qmake-treecore "$work/query-treecore"
fi

[[ -f "$wrapper" ]] || fail "wrapper: $wrapper is missing"
echo "wrapper.runs: $(sed -n 's/^[[:space:]]*exec \([^ ]*\) .*/\1/p' "$wrapper" | sort -u | paste -sd ' ')"
echo "wrapper.qtconf: $(grep -o -- '-qtconf [^ ]*' "$wrapper" | cut -d' ' -f2 | sort -u | paste -sd ' ')"
bounded 20 "$wrapper" -query > "$work/query-wrapper" || fail "$wrapper -query failed"
properties wrapper "$work/query-wrapper"

pcdir="$libdir/pkgconfig"
for variable in prefix libdir includedir; do
    value="$(PKG_CONFIG_PATH="$pcdir" PKG_CONFIG_LIBDIR="$pcdir" bounded 20 env -u PKG_CONFIG_SYSROOT_DIR \
             pkg-config --variable="$variable" "Qt${major}Core")" || fail "pkg-config --variable=$variable Qt${major}Core failed"
    echo "pkgconfig.$variable: $value"
done

generator=(-G "Unix Makefiles")
command -v ninja > /dev/null && generator=(-G Ninja)
bounded 120 cmake -S "$here/check-qt-tree" -B "$work/build" "${generator[@]}" -DQT_MAJOR="$major" \
    -DQT_TREE_CMAKE_DIR="$libdir/cmake" -DQT_TREE_LIBDIR="$libdir" \
    -DCMAKE_PREFIX_PATH="$dir" -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF > "$work/configure.log" 2>&1 \
    || { tail -n 20 "$work/configure.log" >&2; fail "cmake could not configure against $libdir/cmake"; }
cat "$work/build/found.txt"
bounded 300 cmake --build "$work/build" > "$work/build.log" 2>&1 \
    || { tail -n 20 "$work/build.log" >&2; fail "the program did not build against $dir"; }
qglobal="$(grep -m1 -E '^\.+ .*/QtCore/qglobal\.h$' "$work/build.log" | cut -d' ' -f2-)"
[[ -n "$qglobal" ]] || fail "the compiler did not say which qglobal.h it read"
echo "build.qglobal.h: $(readlink -f "$qglobal")"
echo "build.qglobal.h-in-tree: $(inside "$qglobal")"
program="$work/build/check-qt-tree"
runpath="$(bounded 20 readelf -d "$program" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]$/\1 \2/p')" \
    || fail "readelf -d $program failed"
echo "build.runpath: ${runpath:-(none)}"

bounded 20 "$program" > "$work/program.out" || fail "the program built against $dir did not run"
cat "$work/program.out"
core="$(sed -n 's/^program\.qtcore: //p' "$work/program.out")"
echo "program.qtcore-in-tree: $(inside "$core")"
