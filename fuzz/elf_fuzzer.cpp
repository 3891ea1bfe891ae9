// libFuzzer target over the ELF search-path rewrite.
// Input: four lines (the new root, two old roots, the file's directory below the new root), then the file.
// Each invariant is an assert(): scripts/fuzz.sh builds without NDEBUG, and the abort is a finding.
#include "patching/formats/elfrunpath.h"

#include <elf.h>

#include <cassert>
#include <cstdint>
#include <vector>

namespace {
// The file offsets of the names that the dynamic entries (but the search paths) and the symbol tables
// give, read here independently of the reader under test: a rewrite must change no byte of them.
std::vector<quint64> otherNames(const QByteArray &elf)
{
    std::vector<quint64> found;
    if (elf.size() < 64 || (elf.at(EI_CLASS) != ELFCLASS32 && elf.at(EI_CLASS) != ELFCLASS64))
        return found;
    const bool wide = elf.at(EI_CLASS) == ELFCLASS64, big = elf.at(EI_DATA) == ELFDATA2MSB;
    const auto get = [&](quint64 at, int size) -> quint64 {
        if (at + quint64(size) > quint64(elf.size()))
            return 0;
        quint64 v = 0;
        for (int i = 0; i < size; ++i)
            v = v << 8 | quint8(elf.at(qsizetype(at) + (big ? i : size - 1 - i)));
        return v;
    };
    const quint64 table = get(wide ? 40 : 32, wide ? 8 : 4), entry = get(wide ? 58 : 46, 2), count = get(wide ? 60 : 48, 2);
    const auto section = [&](quint64 i, int field) { // 0 type, 1 link, 2 offset, 3 size
        const quint64 at = table + i * entry;
        const int offsets[2][4] = {{4, 24, 16, 20}, {4, 40, 24, 32}};
        return get(at + quint64(offsets[wide][field]), field >= 2 && wide ? 8 : 4);
    };
    if (table == 0 || entry == 0 || count > 4096)
        return found;
    for (quint64 d = 0; d < count; ++d) {
        if (section(d, 0) != SHT_DYNAMIC)
            continue;
        const quint64 strings = section(section(d, 1), 2), link = section(d, 1);
        // Whole entries only, as the loader reads them.
        for (quint64 at = section(d, 2); at + (wide ? 16 : 8) <= section(d, 2) + section(d, 3) && at < quint64(elf.size());
             at += wide ? 16 : 8) {
            const quint64 tag = get(at, wide ? 8 : 4);
            if (tag == DT_NULL) // the loader reads no entry past it
                break;
            if (tag == DT_NEEDED || tag == DT_SONAME)
                found.push_back(strings + get(at + (wide ? 8 : 4), wide ? 8 : 4));
        }
        for (quint64 s = 0; s < count; ++s) {
            if ((section(s, 0) != SHT_DYNSYM && section(s, 0) != SHT_SYMTAB) || section(s, 1) != link)
                continue;
            for (quint64 at = section(s, 2); at + (wide ? 24 : 16) <= section(s, 2) + section(s, 3) && at < quint64(elf.size())
                 && found.size() < 100000; at += wide ? 24 : 16)
                found.push_back(strings + get(at, 4));
        }
        break;
    }
    return found;
}
} // namespace

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
    // No byte of another name changes.
    for (const quint64 name : otherNames(before)) {
        for (quint64 i = name; i < quint64(before.size()) && before.at(qsizetype(i)) != '\0'; ++i)
            assert(before.at(qsizetype(i)) == after.at(qsizetype(i)));
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
