#include "patching/elfrunpath.h"

#include "patching/fileoutcome.h"

#include <QByteArrayList>
#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

namespace {
// Values of the ELF format and of its GNU extensions.
constexpr quint32 ShtSymtab = 2, ShtStrtab = 3, ShtDynamic = 6, ShtDynsym = 11;
constexpr quint32 ShtGnuLiblist = 0x6ffffff7, ShtGnuVerdef = 0x6ffffffd, ShtGnuVerneed = 0x6ffffffe;
constexpr quint32 PtLoad = 1, PtDynamic = 2;
constexpr quint64 DtNull = 0, DtStrtab = 5, DtStrsz = 10, DtRpath = 15, DtRunpath = 29;

// The dynamic tags whose value is an offset into the dynamic string table: NEEDED, SONAME, RPATH,
// RUNPATH, CONFIG, DEPAUDIT, AUDIT, AUXILIARY, USED, FILTER.
bool isStringTag(quint64 tag)
{
    static const quint64 tags[] = {1, 14, 15, 29, 0x6ffffefa, 0x6ffffefb, 0x6ffffefc, 0x7ffffffd, 0x7ffffffe, 0x7fffffff};
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

// Reads fields of either width and byte order; a field past the end reads as 0, so that no
// read leaves the data, while the callers check each table against the file and say what is wrong.
class FieldReader
{
public:
    explicit FieldReader(const QByteArray &data)
        : m_data(data), wide(data.size() > 4 && data.at(4) == 2), bigEndian(data.size() > 5 && data.at(5) == 2)
    {
    }
    bool fits(quint64 offset, quint64 size) const
    {
        const quint64 total = quint64(m_data.size());
        return offset <= total && size <= total - offset;
    }
    quint64 field(quint64 offset, int size) const
    {
        if (!fits(offset, quint64(size)))
            return 0;
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | quint8(m_data.at(qsizetype(offset) + (bigEndian ? i : size - 1 - i)));
        return value;
    }
    quint64 word(quint64 offset) const { return field(offset, wide ? 8 : 4); }

private:
    const QByteArray &m_data;

public:
    const bool wide;
    const bool bigEndian;
};

struct Section {
    quint32 name = 0, type = 0, link = 0;
    quint64 offset = 0, size = 0;
};

struct Segment {
    quint32 type = 0;
    quint64 offset = 0, address = 0, fileSize = 0;
};

struct DynamicEntry {
    quint64 tag = 0, value = 0;
};

// Where the dynamic entries and their string table lie.
struct ElfLayout {
    QString malformed; // what is wrong with the file, empty when it could be read
    QVector<Section> sections;
    QVector<Segment> segments;
    qint64 sectionNamesIndex = -1;
    qint64 stringSection = -1; // -1 when the strings were found through the segments alone
    quint64 stringsOffset = 0, stringsSize = 0;
    QVector<DynamicEntry> dynamic;
};

ElfLayout malformed(const char *what)
{
    ElfLayout layout;
    layout.malformed = QCoreApplication::translate("Reason", what);
    return layout;
}

// The file offset the loader reads at `address`, through the loaded segments.
bool fileOffsetOf(const QVector<Segment> &segments, quint64 address, quint64 *offset)
{
    for (const Segment &segment : segments) {
        const quint64 delta = address - segment.address;
        if (segment.type == PtLoad && address >= segment.address && delta < segment.fileSize
            && segment.offset <= std::numeric_limits<quint64>::max() - delta) {
            *offset = segment.offset + delta;
            return true;
        }
    }
    return false;
}

ElfLayout readLayout(const QByteArray &data)
{
    if (!isElf(data))
        return malformed(QT_TRANSLATE_NOOP("Reason", "signature absente"));
    const FieldReader r(data);
    if (data.size() < 6 || (data.at(4) != 1 && data.at(4) != 2) || (data.at(5) != 1 && data.at(5) != 2))
        return malformed(QT_TRANSLATE_NOOP("Reason", "classe ou ordre des octets inconnu"));
    const bool w = r.wide;
    if (!r.fits(0, w ? 64 : 52))
        return malformed(QT_TRANSLATE_NOOP("Reason", "en-tête incomplet"));
    ElfLayout elf;
    const quint64 sectionTable = r.word(w ? 40 : 32), sectionSize = r.field(w ? 58 : 46, 2);
    quint64 sectionCount = r.field(w ? 60 : 48, 2);
    elf.sectionNamesIndex = qint64(r.field(w ? 62 : 50, 2));
    if (sectionTable != 0) {
        if (sectionSize < (w ? 64u : 40u) || !r.fits(sectionTable, sectionSize))
            return malformed(QT_TRANSLATE_NOOP("Reason", "table des sections hors du fichier"));
        // Past 0xff00 sections, their count and the index of their names are kept in the first one.
        if (sectionCount == 0)
            sectionCount = r.word(sectionTable + (w ? 32 : 20));
        if (elf.sectionNamesIndex == 0xffff)
            elf.sectionNamesIndex = qint64(r.field(sectionTable + (w ? 40 : 24), 4));
        if (sectionCount > (quint64(data.size()) - sectionTable) / sectionSize)
            return malformed(QT_TRANSLATE_NOOP("Reason", "table des sections hors du fichier"));
        for (quint64 at = sectionTable; at < sectionTable + sectionCount * sectionSize; at += sectionSize) {
            elf.sections.append({quint32(r.field(at, 4)), quint32(r.field(at + 4, 4)),
                                 quint32(r.field(at + (w ? 40 : 24), 4)), r.word(at + (w ? 24 : 16)),
                                 r.word(at + (w ? 32 : 20))});
        }
    }
    const quint64 segmentTable = r.word(w ? 32 : 28), segmentSize = r.field(w ? 54 : 42, 2);
    const quint64 segmentCount = r.field(w ? 56 : 44, 2);
    if (segmentTable != 0 && segmentCount != 0) {
        if (segmentSize < (w ? 56u : 32u) || !r.fits(segmentTable, segmentSize * segmentCount))
            return malformed(QT_TRANSLATE_NOOP("Reason", "table des segments hors du fichier"));
        for (quint64 at = segmentTable; at < segmentTable + segmentCount * segmentSize; at += segmentSize) {
            elf.segments.append({quint32(r.field(at, 4)), r.word(at + (w ? 8 : 4)), r.word(at + (w ? 16 : 8)),
                                 r.word(at + (w ? 32 : 16))});
        }
    }

    const auto dynamicSection = std::find_if(elf.sections.cbegin(), elf.sections.cend(),
                                             [](const Section &s) { return s.type == ShtDynamic; });
    const auto dynamicSegment = std::find_if(elf.segments.cbegin(), elf.segments.cend(),
                                             [](const Segment &s) { return s.type == PtDynamic; });
    quint64 dynamicOffset = 0, dynamicSize = 0;
    if (dynamicSection != elf.sections.cend()) {
        dynamicOffset = dynamicSection->offset;
        dynamicSize = dynamicSection->size;
        // The loader reads the segment: rewriting what the section describes elsewhere would change nothing.
        if (dynamicSegment != elf.segments.cend() && dynamicSegment->offset != dynamicOffset)
            return malformed(QT_TRANSLATE_NOOP("Reason", "section et segment dynamiques en désaccord"));
    } else if (dynamicSegment != elf.segments.cend() && dynamicSegment->fileSize != 0) {
        // (a separate debug file keeps the segment with nothing of it in the file)
        dynamicOffset = dynamicSegment->offset;
        dynamicSize = dynamicSegment->fileSize;
    } else {
        return elf; // loads no library
    }
    if (!r.fits(dynamicOffset, dynamicSize))
        return malformed(QT_TRANSLATE_NOOP("Reason", "section dynamique hors du fichier"));
    const quint64 entrySize = w ? 16 : 8;
    quint64 stringsAddress = 0;
    bool stringsAddressGiven = false;
    for (quint64 at = dynamicOffset; entrySize <= dynamicOffset + dynamicSize - at; at += entrySize) {
        const DynamicEntry entry{r.word(at), r.word(at + entrySize / 2)};
        if (entry.tag == DtNull)
            break;
        if (entry.tag == DtStrtab) {
            stringsAddress = entry.value;
            stringsAddressGiven = true;
        } else if (entry.tag == DtStrsz) {
            elf.stringsSize = entry.value;
        }
        elf.dynamic.append(entry);
    }

    quint64 loadedStrings = 0;
    const bool stringsLoaded = stringsAddressGiven && fileOffsetOf(elf.segments, stringsAddress, &loadedStrings);
    if (dynamicSection != elf.sections.cend()) {
        const quint32 link = dynamicSection->link;
        if (link >= quint32(elf.sections.size()) || elf.sections.at(int(link)).type != ShtStrtab)
            return malformed(QT_TRANSLATE_NOOP("Reason", "section dynamique sans table des chaînes"));
        elf.stringSection = link;
        elf.stringsOffset = elf.sections.at(int(link)).offset;
        elf.stringsSize = elf.sections.at(int(link)).size;
        const bool loads = std::any_of(elf.segments.cbegin(), elf.segments.cend(),
                                       [](const Segment &s) { return s.type == PtLoad; });
        if (loads && stringsAddressGiven && (!stringsLoaded || loadedStrings != elf.stringsOffset))
            return malformed(QT_TRANSLATE_NOOP("Reason", "table des chaînes et section des chaînes en désaccord"));
    } else if (stringsLoaded) {
        elf.stringsOffset = loadedStrings;
    } else {
        elf.stringsSize = 0; // no string can be read
    }
    if (!r.fits(elf.stringsOffset, elf.stringsSize))
        return malformed(QT_TRANSLATE_NOOP("Reason", "table des chaînes hors du fichier"));
    // A string rewritten over the tables that locate it would change what the file means.
    const auto overlapsStrings = [&elf](quint64 offset, quint64 size) {
        return size != 0 && elf.stringsSize != 0 && offset < elf.stringsOffset + elf.stringsSize
            && elf.stringsOffset < offset + size;
    };
    if (overlapsStrings(0, w ? 64 : 52) || overlapsStrings(sectionTable, sectionTable ? sectionCount * sectionSize : 0)
        || overlapsStrings(segmentTable, segmentTable ? segmentCount * segmentSize : 0)
        || overlapsStrings(dynamicOffset, dynamicSize))
        return malformed(QT_TRANSLATE_NOOP("Reason", "table des chaînes superposée aux tables du fichier"));
    return elf;
}

const char stringOutside[] = QT_TRANSLATE_NOOP("Reason", "chaîne hors de sa table");

// The zero-terminated string at `offset` in the dynamic string table; false when it does not end there.
bool stringAt(const QByteArray &data, const ElfLayout &elf, quint64 offset, QByteArray *text)
{
    if (offset >= elf.stringsSize)
        return false;
    const char *start = data.constData() + elf.stringsOffset + offset;
    const void *end = std::memchr(start, '\0', size_t(elf.stringsSize - offset));
    if (!end)
        return false;
    *text = QByteArray(start, int(static_cast<const char *>(end) - start));
    return true;
}

// The offsets of the distinct search-path strings, in the order of their entries.
QVector<quint64> searchPathOffsets(const ElfLayout &elf)
{
    QVector<quint64> offsets;
    for (const DynamicEntry &entry : elf.dynamic) {
        if ((entry.tag == DtRpath || entry.tag == DtRunpath) && !offsets.contains(entry.value))
            offsets.append(entry.value);
    }
    return offsets;
}

// The fields of the two chained version tables: needed versions, then defined ones.
struct VersionTable {
    quint64 recordSize, countAt, fileAt, auxAt, nextAt; // fileAt 0: the record names no file
    quint64 auxSize, auxNameAt, auxNextAt;
};
constexpr VersionTable neededVersions{16, 2, 4, 8, 12, 16, 8, 12};
constexpr VersionTable definedVersions{20, 6, 0, 12, 16, 8, 0, 4};

// Appends the names a version section gives; false when its chain leaves the section or loops.
bool collectVersionNames(const FieldReader &r, const Section &section, const VersionTable &table,
                         QVector<quint64> *names)
{
    if (section.size == 0)
        return true;
    const quint64 end = section.offset + section.size;
    const auto inside = [&](quint64 at, quint64 size) { return at >= section.offset && at <= end && size <= end - at; };
    // Every record of a real file has bytes of its own, so a longer walk can only be a loop.
    quint64 steps = section.size / 8;
    for (quint64 at = section.offset;;) {
        if (!inside(at, table.recordSize) || steps-- == 0)
            return false;
        if (table.fileAt != 0)
            names->append(r.field(at + table.fileAt, 4));
        quint64 aux = at + r.field(at + table.auxAt, 4);
        for (quint64 i = 0, count = r.field(at + table.countAt, 2); i < count; ++i) {
            if (!inside(aux, table.auxSize) || steps-- == 0)
                return false;
            names->append(r.field(aux + table.auxNameAt, 4));
            const quint64 next = r.field(aux + table.auxNextAt, 4);
            if (next == 0)
                break;
            aux += next;
        }
        const quint64 next = r.field(at + table.nextAt, 4);
        if (next == 0)
            return true;
        at += next;
    }
}

// Every offset into the dynamic string table that something other than a search path starts at.
// False when a table that holds such offsets lies outside the file.
bool collectOtherNames(const QByteArray &data, const ElfLayout &elf, QVector<quint64> *names)
{
    const FieldReader r(data);
    for (const DynamicEntry &entry : elf.dynamic) {
        if (isStringTag(entry.tag) && entry.tag != DtRpath && entry.tag != DtRunpath)
            names->append(entry.value);
    }
    const bool namesSections = elf.sectionNamesIndex == elf.stringSection;
    for (const Section &section : elf.sections) {
        if (namesSections)
            names->append(section.name);
        if (qint64(section.link) != elf.stringSection)
            continue;
        quint64 entrySize = 0;
        if (section.type == ShtSymtab || section.type == ShtDynsym)
            entrySize = r.wide ? 24 : 16;
        else if (section.type == ShtGnuLiblist)
            entrySize = 20;
        if (entrySize != 0 || section.type == ShtGnuVerneed || section.type == ShtGnuVerdef) {
            if (!r.fits(section.offset, section.size))
                return false;
        }
        // Each of these entries starts with its name.
        for (quint64 at = section.offset; entrySize != 0 && entrySize <= section.offset + section.size - at;
             at += entrySize)
            names->append(r.field(at, 4));
        if (section.type == ShtGnuVerneed && !collectVersionNames(r, section, neededVersions, names))
            return false;
        if (section.type == ShtGnuVerdef && !collectVersionNames(r, section, definedVersions, names))
            return false;
    }
    return true;
}

QByteArray withoutTrailingSlash(QByteArray path)
{
    while (path.endsWith('/'))
        path.chop(1);
    return path;
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

RunPathRewrite failedRewrite(const QString &why)
{
    RunPathRewrite result;
    result.failure = why;
    return result;
}
} // namespace

bool isElf(const QByteArray &data)
{
    return data.startsWith("\x7f" "ELF");
}

ElfRunPaths readRunPaths(const QByteArray &elf)
{
    ElfRunPaths result;
    const ElfLayout layout = readLayout(elf);
    if (!layout.malformed.isEmpty()) {
        result.error = Reason::elfMalformed(layout.malformed);
        return result;
    }
    for (const quint64 offset : searchPathOffsets(layout)) {
        QByteArray text;
        if (!stringAt(elf, layout, offset, &text))
            return ElfRunPaths{Reason::elfMalformed(QCoreApplication::translate("Reason", stringOutside)), {}, {}};
        result.stringOffsets.append(qint64(layout.stringsOffset + offset));
        for (const QByteArray &entry : text.split(':')) {
            if (!entry.isEmpty())
                result.entries.append(entry);
        }
    }
    return result;
}

bool pathNamesRoot(const QByteArray &path, const QByteArray &root)
{
    if (path.isEmpty() || root.isEmpty())
        return false;
    const QByteArray trimmedRoot = withoutTrailingSlash(root), trimmedPath = withoutTrailingSlash(path);
    return trimmedPath == trimmedRoot || trimmedPath.startsWith(trimmedRoot + '/');
}

int oldRootOf(const QByteArray &entry, const QVector<QByteArray> &oldRoots, const QByteArray &newRoot,
              const PlaceExists &placeExists)
{
    // A place that is not part of the installation (/usr/X11R6/lib below an old root /usr) is kept.
    const auto counts = [&](qsizetype rootLength) {
        QByteArray place = withoutTrailingSlash(entry).mid(rootLength);
        while (place.startsWith('/'))
            place.remove(0, 1);
        return !placeExists || place.isEmpty() || placeExists(place);
    };
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < oldRoots.size(); ++i) {
        const qsizetype length = withoutTrailingSlash(oldRoots.at(i)).size();
        if (oldRoots.at(i).startsWith('/') && length > bestLength && pathNamesRoot(entry, oldRoots.at(i))
            && counts(length)) {
            best = i;
            bestLength = length;
        }
    }
    if (best >= 0 && pathNamesRoot(entry, newRoot) && withoutTrailingSlash(newRoot).size() >= bestLength)
        return -1;
    return best;
}

RunPathRewrite rewriteRunPaths(QByteArray &elf, const QVector<QByteArray> &oldRoots, const QByteArray &newRoot,
                               const QByteArray &fileDirectory, const PlaceExists &placeExists)
{
    const ElfLayout layout = readLayout(elf);
    if (!layout.malformed.isEmpty())
        return failedRewrite(Reason::elfMalformed(layout.malformed));
    const QVector<quint64> paths = searchPathOffsets(layout);
    // The loader would read ':' as a separator and '$' as a variable in an absolute new path.
    const bool absoluteAllowed = !newRoot.contains(':') && !newRoot.contains('$');
    QVector<quint64> names;
    bool namesKnown = false;
    QVector<QPair<quint64, QByteArray>> writes; // file offset, bytes
    RunPathRewrite result;
    for (const quint64 offset : paths) {
        QByteArray text;
        if (!stringAt(elf, layout, offset, &text))
            return failedRewrite(Reason::elfMalformed(QCoreApplication::translate("Reason", stringOutside)));
        const QByteArrayList entries = text.split(':');
        QByteArrayList relative = entries, absolute = entries;
        bool relativeUsable = true;
        int count = 0;
        for (int i = 0; i < entries.size(); ++i) {
            const int root = oldRootOf(entries.at(i), oldRoots, newRoot, placeExists);
            if (root < 0)
                continue;
            QByteArray place = withoutTrailingSlash(newRoot)
                             + entries.at(i).mid(withoutTrailingSlash(oldRoots.at(root)).size());
            if (place.isEmpty())
                place = "/";
            relative[i] = originRelative(fileDirectory, place);
            absolute[i] = place;
            relativeUsable = relativeUsable && !relative.at(i).contains(':');
            ++count;
        }
        if (count == 0)
            continue;
        if (layout.stringSection < 0)
            return failedRewrite(Reason::elfWithoutSections());
        if (!namesKnown && !collectOtherNames(elf, layout, &names))
            return failedRewrite(Reason::elfMalformed(QCoreApplication::translate("Reason", "références de noms hors de leur section")));
        namesKnown = true;

        // The string is rewritten up to `last` (the new end at the latest): its own end, or the byte
        // before another name that starts inside it. A name that covers its start forbids any change.
        const quint64 end = offset + quint64(text.size());
        quint64 last = end;
        quint64 previousEnd = offset;
        while (previousEnd > 0 && elf.at(qsizetype(layout.stringsOffset + previousEnd - 1)) != '\0')
            --previousEnd;
        for (const quint64 name : names) {
            if (name >= previousEnd && name <= offset)
                return failedRewrite(Reason::runPathShared());
            if (name > offset && name < end)
                last = qMin(last, name - 1);
        }
        for (const quint64 other : paths) {
            if (other >= previousEnd && other < offset)
                return failedRewrite(Reason::runPathShared());
            if (other > offset && other < end)
                last = qMin(last, other - 1);
        }
        const qsizetype room = qsizetype(last - offset);
        QByteArray rewritten = relativeUsable ? relative.join(':') : QByteArray();
        if ((!relativeUsable || rewritten.size() > room) && absoluteAllowed)
            rewritten = absolute.join(':');
        if (rewritten.isEmpty() || rewritten.size() > room)
            return failedRewrite(Reason::runPathTooLong());
        writes.append({layout.stringsOffset + offset, rewritten + QByteArray(room + 1 - rewritten.size(), '\0')});
        result.rewritten += count;
    }
    for (const auto &write : writes)
        std::memcpy(elf.data() + write.first, write.second.constData(), size_t(write.second.size()));
    return result;
}
