#include "patching/formats/elfrunpath.h"

#include "patching/formats/elfreader.h"
#include "patching/base/limits.h"

#include <QByteArrayList>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
// The zero-terminated run of the string table a search path lies in: where it starts, and its zero byte.
struct StringGroup {
    quint64 start = 0, end = 0;
};

// The distinct string-table offsets of the file's search paths, sorted.
std::vector<quint64> searchPathOffsets(const ElfLayout &layout)
{
    std::vector<quint64> offsets;
    for (const ElfDynamicEntry &entry : layout.dynamic) {
        if (isSearchPathTag(entry.tag))
            offsets.push_back(entry.value);
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    return offsets;
}

// Whether any of the sorted `offsets` lies in [from, to]; the first such, or -1.
qint64 firstIn(const std::vector<quint64> &offsets, quint64 from, quint64 to)
{
    const auto it = std::lower_bound(offsets.cbegin(), offsets.cend(), from);
    return it != offsets.cend() && *it <= to ? qint64(*it) : -1;
}

// The search path at `offsets[i]` of the string table at `table`, in its group, with the room a
// rewrite of it may fill beside the other `names` of the table.
ElfSearchPath searchPathAt(const char *table, const ElfLayout &layout, const StringGroup &group,
                           const std::vector<quint64> &offsets, size_t i, const std::vector<quint64> &names)
{
    const quint64 offset = offsets.at(i);
    ElfSearchPath path;
    path.offset = qint64(layout.stringsOffset + offset);
    path.text = QByteArray(table + offset, int(group.end - offset));
    // Rewritable up to its own zero byte, or the byte before another name that starts inside it;
    // a name that covers its start, or another search path it lies in, forbids any change.
    quint64 last = group.end;
    const qint64 nameInside = group.end > offset + 1 ? firstIn(names, offset + 1, group.end - 1) : -1;
    if (nameInside >= 0)
        last = quint64(nameInside) - 1;
    if (i + 1 < offsets.size() && offsets.at(i + 1) < group.end)
        last = qMin(last, offsets.at(i + 1) - 1);
    path.shared = firstIn(names, group.start, offset) >= 0 || (i > 0 && offsets.at(i - 1) >= group.start);
    path.room = qint64(last - offset) + 1;
    return path;
}

// Reads the search paths at `offsets` (sorted, distinct) into `strings`. The bytes copied are bounded
// by the table's size, so that strings nested in one another cannot make a crafted file costly.
Cause readSearchPathStrings(const QByteArray &elf, const ElfLayout &layout, const std::vector<quint64> &offsets,
                            const std::vector<quint64> &names, QVector<ElfSearchPath> *strings)
{
    const char *const table = elf.constData() + layout.stringsOffset;
    StringGroup group; // the group the last string lies in
    quint64 copied = 0;
    for (size_t i = 0; i < offsets.size(); ++i) {
        const quint64 offset = offsets.at(i);
        if (offset >= layout.stringsSize)
            return Cause::ElfStringOutside;
        if (i == 0 || offset > group.end) {
            const void *zero = std::memchr(table + offset, '\0', size_t(layout.stringsSize - offset));
            if (!zero)
                return Cause::ElfStringOutside;
            group.end = quint64(static_cast<const char *>(zero) - table);
            group.start = offset;
            while (group.start > 0 && table[group.start - 1] != '\0')
                --group.start;
        }
        copied += group.end - offset;
        if (copied > Limits::elfStringBytesBound(layout.stringsSize))
            return Cause::ElfTablesOverlap;
        strings->append(searchPathAt(table, layout, group, offsets, i, names));
    }
    return Cause::None;
}

// The components of an absolute path, "." and ".." resolved as written.
QByteArrayList pathComponents(const QByteArray &path)
{
    QByteArrayList parts;
    for (const QByteArray &part : path.split('/')) {
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (!part.isEmpty() && part != ".") {
            parts.append(part);
        }
    }
    return parts;
}

// `target` as the loader finds it from a file in `directory`, whatever the tree's place.
QByteArray originRelative(const QByteArray &directory, const QByteArray &target)
{
    const QByteArrayList from = pathComponents(directory), to = pathComponents(target);
    int common = 0;
    while (common < from.size() && common < to.size() && from.at(common) == to.at(common))
        ++common;
    QByteArray path = "$ORIGIN";
    for (int i = common; i < from.size(); ++i)
        path += "/..";
    for (int i = common; i < to.size(); ++i)
        path += '/' + to.at(i);
    return path;
}

// One search-path string's entries in the two ways they may be rewritten: from $ORIGIN, and absolute.
struct EntrySpellings {
    QByteArrayList relative, absolute;
    bool relativeUsable = true; // no relative entry holds the separator ':'
    int count = 0;              // entries that name an old root
};

// The entries of `text`, each that names an old root spelled for its place below `newRoot`, the
// others kept as they are.
EntrySpellings spellEntries(const QByteArray &text, const QVector<QByteArray> &oldRoots, const QByteArray &newRoot,
                            const QByteArray &fileDirectory, const PlaceExists &placeExists)
{
    EntrySpellings spellings;
    const QByteArrayList entries = text.split(':');
    spellings.relative = spellings.absolute = entries;
    for (int i = 0; i < entries.size(); ++i) {
        const RootMatch root = longestOldRoot(entries.at(i), oldRoots, newRoot, placeExists);
        if (root.index < 0)
            continue;
        QByteArray place = rootSpelling(newRoot) + (root.place.isEmpty() ? QByteArray() : '/' + root.place);
        if (place.isEmpty())
            place = "/";
        spellings.relative[i] = originRelative(fileDirectory, place);
        spellings.absolute[i] = place;
        spellings.relativeUsable = spellings.relativeUsable && !spellings.relative.at(i).contains(':');
        ++spellings.count;
    }
    return spellings;
}

// The new string that fills `string`'s room: the relative spelling where it fits, else the absolute
// one when `absoluteAllowed`; a failure naming the shortest spelling when none fits.
Reason chooseSpelling(const ElfSearchPath &string, const EntrySpellings &spellings, bool absoluteAllowed,
                      QByteArray *rewritten)
{
    const qsizetype room = qsizetype(string.room) - 1;
    *rewritten = spellings.relativeUsable ? spellings.relative.join(':') : QByteArray();
    if ((!spellings.relativeUsable || rewritten->size() > room) && absoluteAllowed)
        *rewritten = spellings.absolute.join(':');
    if (!rewritten->isEmpty() && rewritten->size() <= room)
        return Reason();
    // The shortest spelling there is, against the room: what a shorter root must save.
    const qsizetype absoluteSize = spellings.absolute.join(':').size();
    const qsizetype shortest = spellings.relativeUsable ? qMin<qsizetype>(spellings.relative.join(':').size(), absoluteSize)
                                                        : absoluteSize;
    return Reason(ReasonCode::RunPathTooLong, {QString::number(shortest), QString::number(room)});
}

SearchPathRewrite failedRewrite(const Reason &why)
{
    SearchPathRewrite result;
    result.failure = why;
    return result;
}
} // namespace

QVector<QByteArray> ElfSearchPaths::entries() const
{
    QVector<QByteArray> all;
    for (const ElfSearchPath &string : strings) {
        for (const QByteArray &entry : string.text.split(':')) {
            if (!entry.isEmpty())
                all.append(entry);
        }
    }
    return all;
}

QVector<Region> ElfSearchPaths::regions() const
{
    QVector<Region> all;
    for (const ElfSearchPath &string : strings) {
        // Strings nested in one another share bytes: the outer one's region covers them.
        if (!all.isEmpty() && string.offset < all.last().offset + all.last().size)
            all.last().size = qMax(all.last().size, string.offset + string.room - all.last().offset);
        else
            all.append({string.offset, string.room});
    }
    return all;
}

ElfSearchPaths readSearchPaths(const QByteArray &elf)
{
    ElfSearchPaths result;
    const ElfLayout layout = readElfLayout(elf);
    if (layout.malformed != Cause::None) {
        result.error = Reason(ReasonCode::ElfMalformed, layout.malformed);
        return result;
    }
    result.sectionsKnown = layout.stringSection >= 0;
    const std::vector<quint64> offsets = searchPathOffsets(layout);
    if (offsets.empty())
        return result;
    std::vector<quint64> names;
    Cause fault = result.sectionsKnown ? collectOtherNames(elf, layout, &names) : Cause::None;
    if (fault == Cause::None)
        fault = readSearchPathStrings(elf, layout, offsets, names, &result.strings);
    if (fault != Cause::None)
        result.error = Reason(ReasonCode::ElfMalformed, fault);
    return result;
}

SearchPathRewrite rewriteSearchPaths(QByteArray &elf, const ElfSearchPaths &paths, const QVector<QByteArray> &oldRoots,
                                     const QByteArray &newRoot, const QByteArray &fileDirectory,
                                     const PlaceExists &placeExists)
{
    if (!paths.error.isNone())
        return failedRewrite(paths.error);
    // The loader would read ':' as a separator and '$' as a variable in an absolute new path.
    const bool absoluteAllowed = !newRoot.contains(':') && !newRoot.contains('$');
    QVector<QPair<qint64, QByteArray>> writes; // file offset, bytes
    SearchPathRewrite result;
    for (const ElfSearchPath &string : paths.strings) {
        const EntrySpellings spellings = spellEntries(string.text, oldRoots, newRoot, fileDirectory, placeExists);
        if (spellings.count == 0)
            continue;
        if (!paths.sectionsKnown)
            return failedRewrite(Reason(ReasonCode::ElfWithoutSections));
        if (string.shared)
            return failedRewrite(Reason(ReasonCode::RunPathShared));
        QByteArray rewritten;
        const Reason tooLong = chooseSpelling(string, spellings, absoluteAllowed, &rewritten);
        if (!tooLong.isNone())
            return failedRewrite(tooLong);
        writes.append({string.offset, rewritten + QByteArray(qsizetype(string.room) - rewritten.size(), '\0')});
        result.rewritten += spellings.count;
    }
    // Written only once every string is known to fit: on a failure the file is left as it was.
    for (const auto &write : writes) {
        if (std::memcmp(elf.constData() + write.first, write.second.constData(), size_t(write.second.size())) == 0)
            continue;
        result.changes.append({write.first, elf.mid(write.first, write.second.size())});
        std::memcpy(elf.data() + write.first, write.second.constData(), size_t(write.second.size()));
    }
    return result;
}
