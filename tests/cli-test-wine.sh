#!/usr/bin/env bash
# Tries zel-qt-patcher-cli.exe under wine on the MinGW installation of tests/data/mingw, as a user on
# Windows would: a patch --deep to a root typed with backslashes, verify (which runs its qmake.exe), a second
# patch to a root with a Latin-1 letter, a file another program holds open, a read-only file, a file
# with a hard link outside the installation, and an unpatch that gives every byte back; then the same
# patch, verify and unpatch on a Qt 5.3 MinGW installation (tests/data/qt-5.3.1-mingw).
# Usage: tests/cli-test-wine.sh OUT     (OUT: build/windows, as scripts/windows.sh leaves it)
set -euo pipefail
out="$(cd "${1:?usage: cli-test-wine.sh OUT}" && pwd)"
data="$(cd "$(dirname "$0")/data/mingw" && pwd)"
cli="$out/install/bin/zel-qt-patcher-cli.exe"
holdopen="$out/build/tests/holdopen.exe"
work="$out/cli-test"
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
say() { echo "cli test (wine): $*"; }
fail() { echo "cli test (wine): FAIL: $*" >&2; exit 1; }
# What the JSON report says of each file, "file=status[/reasonCode[/cause]]", with the exit code last.
facts() {
    local code=0
    timeout -k 5 60 wine "$cli" --json "$@" >"$work/report.json" 2>/dev/null || code=$?
    python3 - "$work/report.json" "$code" <<'EOF'
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
facts = []
for f in report.get("files", []):
    fact = f["file"] + "=" + f["status"]
    for key in ("reasonCode", "cause"):
        if f.get(key):
            fact += "/" + f[key]
    facts.append(fact)
print(" ".join(facts + ["exit=" + sys.argv[2]]))
EOF
}
expect() {
    local what="$1" expected="$2" actual="$3"
    [[ "$actual" == "$expected" ]] || fail "$what: got '$actual', expected '$expected'"
    say "$what"
}
windows() { echo "Z:${1//\//\\}"; } # the Windows spelling of a Linux path, as wine shows it

rm -rf "$work" && mkdir -p "$work"
qt="$work/qt"
cp -r "$data" "$qt"
all="bin/qmake.exe=changed bin/QtCore4.dll=changed bin/QtCored4.dll=changed lib/libQtCore4.a=changed"
all+=" mkspecs/default/qmake.conf=changed .qmake.cache=changed lib/QtCore4.prl=changed"

expect "a patch to a root typed with backslashes changes every file" "$all exit=0" "$(facts patch --deep "$(windows "$qt")")"
grep -qa "qt_prfxpath=Z:$qt"$'\0' "$qt/bin/QtCore4.dll" || fail "QtCore4.dll does not name Z:$qt"
expect "verify asks qmake.exe and finds it relocated" "exit=0" "$(facts verify "$(windows "$qt")" | sed 's/[^ ]*=relocated //g')"

moved="$work/qté"
mv "$qt" "$moved"
expect "moved to a root with a Latin-1 letter, a second patch starts from the backups" "$all exit=0" \
    "$(facts patch --deep "$(windows "$moved")")"
grep -qa "qt_prfxpath=Z:${moved%qté}qt"$'\xe9\0' "$moved/bin/qmake.exe" || fail "qmake.exe does not name the root in Latin-1"
expect "verify finds the moved installation relocated" "exit=0" "$(facts verify "$(windows "$moved")" | sed 's/[^ ]*=relocated //g')"

mv "$moved" "$qt"
wine attrib +r "$(windows "$qt/bin/qmake.exe")" >/dev/null 2>&1
ln "$qt/lib/libQtCore4.a" "$work/libQtCore4-elsewhere.a"
cp "$qt/lib/libQtCore4.a" "$work/libQtCore4.a.before"
cp "$qt/bin/QtCore4.dll" "$work/QtCore4.dll.before"
timeout -k 5 60 wine "$holdopen" "$(windows "$qt/bin/QtCore4.dll")" 30 >"$work/held" 2>/dev/null &
holder=$!
trap 'kill "$holder" 2>/dev/null || true' EXIT # a failed step must not leave it holding the DLL
for _ in $(seq 100); do grep -q held "$work/held" && break; sleep 0.1; done
grep -q held "$work/held" || fail "holdopen.exe did not open QtCore4.dll"
report="$(facts patch --deep "$(windows "$qt")")"
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null || true
expect "moved back: a DLL another program holds open fails as busy, a read-only qmake.exe is rewritten" \
    "${all/bin\/QtCore4.dll=changed/bin/QtCore4.dll=failed/file-not-written/busy} exit=1" "$report"
cmp -s "$qt/bin/QtCore4.dll" "$work/QtCore4.dll.before" || fail "the DLL held open was changed"
[[ "$(wine attrib "$(windows "$qt/bin/qmake.exe")" 2>/dev/null)" == *R* ]] || fail "qmake.exe is no longer read-only"
cmp -s "$work/libQtCore4-elsewhere.a" "$work/libQtCore4.a.before" || fail "the hard link outside the installation was written through"
say "the DLL held open is as it was, qmake.exe still read-only, the hard link outside kept its bytes"
up="bin/qmake.exe=left-alone/up-to-date bin/QtCore4.dll=changed bin/QtCored4.dll=left-alone/up-to-date"
up+=" lib/libQtCore4.a=left-alone/up-to-date mkspecs/default/qmake.conf=left-alone/up-to-date"
up+=" .qmake.cache=left-alone/up-to-date lib/QtCore4.prl=left-alone/up-to-date exit=0"
expect "once freed, the next patch rewrites the DLL alone" "$up" "$(facts patch --deep "$(windows "$qt")")"

expect "an unpatch puts every file back, --deep's too" "${all} exit=0" "$(facts unpatch "$(windows "$qt")")"
diff -r -x '*.back' "$data" "$qt" >/dev/null || fail "the unpatched installation differs from the original"
say "every byte is back"

# Qt 5.3 on Windows: qmake.exe and both QtCore DLLs hold 524-byte records, the archive too.
data5="$(cd "$(dirname "$0")/data/qt-5.3.1-mingw" && pwd)"
qt5="$work/qt5"
cp -r "$data5" "$qt5"
all5="bin/qmake.exe=changed bin/Qt5Core.dll=changed bin/Qt5Cored.dll=changed lib/libQt5Core.a=changed"
all5+=" mkspecs/qconfig.pri=left-alone/names-no-old-root lib/Qt5Core.prl=changed bin/qt.conf=left-alone/names-no-old-root"
expect "Qt 5: a plain patch moves every slot and the build metadata" "$all5 exit=0" "$(facts patch "$(windows "$qt5")")"
for file in bin/qmake.exe bin/Qt5Core.dll bin/Qt5Cored.dll; do
    grep -qa "qt_docspath=Z:$qt5/doc"$'\0' "$qt5/$file" || fail "$file does not name Z:$qt5/doc"
done
# Its qmake.exe is no real one: without it verify reads the slots.
mv "$qt5/bin/qmake.exe" "$work/qmake.exe.patched"
expect "Qt 5: verify finds the DLLs relocated" "exit=0" "$(facts verify "$(windows "$qt5")" | sed 's/[^ ]*=relocated //g')"
mv "$work/qmake.exe.patched" "$qt5/bin/qmake.exe"
expect "Qt 5: an unpatch puts every file back" "exit=0" "$(facts unpatch "$(windows "$qt5")" | sed 's/[^ ]*=changed //g')"
diff -r -x '*.back' "$data5" "$qt5" >/dev/null || fail "the unpatched Qt 5 installation differs from the original"
say "Qt 5: every byte is back"
say "passed"
