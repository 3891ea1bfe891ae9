#!/usr/bin/env bash
# make-big-cases.sh DIR [LINES] [MIB]: lays out, below DIR, the two installations on which the memory a
# command needs is measured by hand (/usr/bin/time -v), so that no big file is checked in:
#   DIR/prl/qt     the sample installation with a lib/libQtCore.prl of LINES short lines (5 million by
#                  default), one in 64 naming the old root, the others a bare "z" (about 13 MiB in all);
#   DIR/binary/qt  the sample installation whose lib/libQtCore.so.4.8.7 is padded with zeros to MIB
#                  MiB (200 by default), its path slots where the fixture has them.
# Run by hand, never by CI: it measures nothing itself.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
dir="${1:?usage: make-big-cases.sh DIR [LINES] [MIB]}"
lines="${2:-5000000}"
mebibytes="${3:-200}"

"$here/../scripts/make-sample.sh" "$dir/prl/qt" >/dev/null
awk -v lines="$lines" 'BEGIN {
    for (i = 0; i < lines; ++i)
        print (i % 64 == 0 ? "QMAKE_PRL_LIBS = -L/home/builder/qt-4.8.7/lib" : "z")
}' >"$dir/prl/qt/lib/libQtCore.prl"

"$here/../scripts/make-sample.sh" "$dir/binary/qt" >/dev/null
truncate -s "${mebibytes}M" "$dir/binary/qt/lib/libQtCore.so.4.8.7"
ls -l "$dir/prl/qt/lib/libQtCore.prl" "$dir/binary/qt/lib/libQtCore.so.4.8.7"
