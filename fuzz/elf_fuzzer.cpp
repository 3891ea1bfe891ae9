// libFuzzer target over the ELF search-path rewrite.
// Input: four lines (the new root, two old roots, the file's directory below the new root), then the file.
// Each invariant is an assert(): scripts/fuzz.sh builds without NDEBUG, and the abort is a finding.
#include "patching/elfrunpath.h"

#include <cassert>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(bytes), int(size));
    QByteArrayList lines;
    qsizetype at = 0;
    for (int i = 0; i < 4; ++i) {
        const qsizetype end = input.indexOf('\n', at);
        if (end < 0)
            return 0;
        lines.append(input.mid(at, end - at).replace('\0', '/'));
        at = end + 1;
    }
    const QByteArray newRoot = '/' + lines.at(0);
    const QVector<QByteArray> oldRoots{lines.at(1), lines.at(2)};
    const QByteArray before = input.mid(at);

    QByteArray after = before;
    const ElfSearchPaths read = readSearchPaths(before);
    const SearchPathRewrite result = rewriteSearchPaths(after, read, oldRoots, newRoot, newRoot + '/' + lines.at(3));
    assert(after.size() == before.size());
    assert(read.error.isNone() || !result.failure.isNone()); // a file that cannot be read is never rewritten
    if (!result.failure.isNone() || result.rewritten == 0) {
        assert(after == before && result.rewritten == 0);
        return 0;
    }
    // Only bytes of the search-path strings change, within the room the reader gave each.
    const QVector<Region> regions = read.regions();
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (before.at(i) == after.at(i))
            continue;
        bool inside = false;
        for (const Region &region : regions)
            inside = inside || (i >= region.offset && i < region.offset + region.size);
        assert(inside);
    }
    // No entry is left to rewrite, unless an old root lies below the new one (where the absolute
    // new paths are themselves below that old root).
    for (const QByteArray &oldRoot : oldRoots) {
        if (oldRoot.startsWith('/') && namesRoot(oldRoot, newRoot))
            return 0;
    }
    const ElfSearchPaths reread = readSearchPaths(after);
    assert(reread.error.isNone());
    for (const QByteArray &entry : reread.entries())
        assert(longestOldRoot(entry, oldRoots, newRoot).index < 0);
    QByteArray again = after;
    const SearchPathRewrite second = rewriteSearchPaths(again, reread, oldRoots, newRoot, newRoot + '/' + lines.at(3));
    assert(second.failure.isNone() && second.rewritten == 0 && again == after);
    return 0;
}
