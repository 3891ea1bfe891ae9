#!/usr/bin/env bash
# Brings translations/zel-qt-patcher_en.ts up to date with the texts of the sources, keeping every
# English text already written: a new source text comes in marked "unfinished" until its English
# is written (in Qt Linguist, or by hand between <translation> and </translation>).
# An entry whose source text has left the sources is kept, marked "vanished", as a model for the
# text that replaced it; -no-obsolete (or any other lupdate option given) drops it.
# With --check it changes nothing, and fails listing them if any source text lacks its English
# text or any entry's source text has left the sources; ctest runs it so, as "translations".
# Usage: scripts/update-translations.sh [--check | lupdate options]   LUPDATE names the lupdate
# to run (Qt 6's by default).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
lupdate="${LUPDATE:-$(qtpaths6 --query QT_HOST_BINS)/lupdate}"
ts="$root/translations/zel-qt-patcher_en.ts"
check=false
if [[ "${1:-}" == --check ]]; then
    check=true
    shift
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    cp "$ts" "$work/" && ts="$work/$(basename "$ts")"
fi
# Without line numbers, a change elsewhere in a source leaves the .ts as it is.
(cd "$root" && "$lupdate" -silent -I . -locations none app cli patching restoring -ts "$ts" "$@")
$check || exit 0

# lupdate marks an entry "unfinished" (no English yet), "vanished" or "obsolete" (its source
# text is gone); a translation left empty is no better. Each is named by its first line.
problems="$(awk '
    /<source>/ { source = $0; sub(/.*<source>/, "", source); if (!sub(/<\/source>.*/, "", source)) source = source "..." }
    /<translation/ {
        state = match($0, /type="[a-z]+"/) ? substr($0, RSTART + 6, RLENGTH - 7) : ""
        if (state == "" && $0 ~ /<translation><\/translation>/) state = "empty"
        if (state != "") print "  " state ": " source
    }' "$ts")"
if [[ -n "$problems" ]]; then
    echo "translations: entries of translations/zel-qt-patcher_en.ts to settle (scripts/update-translations.sh" \
         "brings them in, then write their English or drop them):" >&2
    echo "$problems" >&2
    exit 1
fi
echo "translations: every source text has its English text, and every entry its source text"
