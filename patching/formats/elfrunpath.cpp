#include "patching/formats/elfrunpath.h"

#include "patching/formats/elfformat.h"
#include "patching/base/limits.h"

#include <QByteArrayList>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

namespace {
// Where a field lies in its record, and how wide it is.
struct Field {
    quint64 offset;
    int size;
};
#define ELF_FIELD(type, member) (Field{offsetof(type, member), int(sizeof(type::member))})
// The field of a 32- or a 64-bit record, as the file is.
#define FIELD(r, kind, member) ((r).wide ? ELF_FIELD(Elf64_##kind, member) : ELF_FIELD(Elf32_##kind, member))
#define RECORD_SIZE(r, kind) quint64((r).wide ? sizeof(Elf64_##kind) : sizeof(Elf32_##kind))

// The file's bytes, read in its width and byte order. Every read goes through field(), the one place
// where an offset is checked against the file: a field past the end reads as 0, while the callers
// check each table against the file first, to say what is wrong.
class ElfBytes
{
public:
    explicit ElfBytes(const QByteArray &data)
        : m_data(data), wide(data.size() > EI_CLASS && data.at(EI_CLASS) == ELFCLASS64),
          bigEndian(data.size() > EI_DATA && data.at(EI_DATA) == ELFDATA2MSB)
    {
    }
    quint64 size() const { return quint64(m_data.size()); }
    bool fits(quint64 offset, quint64 size) const { return offset <= this->size() && size <= this->size() - offset; }
    quint64 field(quint64 base, Field f) const
    {
        if (base > std::numeric_limits<quint64>::max() - f.offset || !fits(base + f.offset, quint64(f.size)))
            return 0;
        quint64 value = 0;
        const char *at = m_data.constData() + base + f.offset;
        for (int i = 0; i < f.size; ++i)
            value = value << 8 | quint8(at[bigEndian ? i : f.size - 1 - i]);
        return value;
    }
private:
    const QByteArray &m_data;

public:
    const bool wide;
    const bool bigEndian;
};

// Dynamic tags whose value is an offset into the dynamic string table.
bool isStringTag(quint64 tag)
{
    static const quint64 tags[] = {DT_NEEDED, DT_SONAME, DT_RPATH, DT_RUNPATH, DT_CONFIG, DT_DEPAUDIT,
                                   DT_AUDIT, DT_AUXILIARY, DT_USED, DT_FILTER};
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

bool isSearchPathTag(quint64 tag)
{
    return tag == DT_RPATH || tag == DT_RUNPATH;
}

struct Section {
    quint64 name = 0, type = 0, link = 0, offset = 0, size = 0;
};

struct Segment {
    quint64 type = 0, offset = 0, address = 0, fileSize = 0;
};

struct DynamicEntry {
    quint64 tag = 0, value = 0;
};

// Where the dynamic entries and their string table lie.
struct ElfLayout {
    Cause malformed = Cause::None;
    QVector<Section> sections;
    QVector<Segment> segments;
    qint64 sectionNamesIndex = -1;
    qint64 stringSection = -1; // -1 when the strings were found through the segments alone
    quint64 stringsOffset = 0, stringsSize = 0;
    QVector<DynamicEntry> dynamic;
};

ElfLayout malformed(Cause why)
{
    ElfLayout layout;
    layout.malformed = why;
    return layout;
}

// The file offset the loader reads at `address`, through the loaded segments.
bool fileOffsetOf(const QVector<Segment> &segments, quint64 address, quint64 *offset)
{
    for (const Segment &segment : segments) {
        const quint64 delta = address - segment.address;
        if (segment.type == PT_LOAD && address >= segment.address && delta < segment.fileSize
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
        return malformed(Cause::ElfNoSignature);
    const ElfBytes r(data);
    if (data.size() <= EI_DATA || (data.at(EI_CLASS) != ELFCLASS32 && data.at(EI_CLASS) != ELFCLASS64)
        || (data.at(EI_DATA) != ELFDATA2LSB && data.at(EI_DATA) != ELFDATA2MSB))
        return malformed(Cause::ElfUnknownClass);
    if (!r.fits(0, RECORD_SIZE(r, Ehdr)))
        return malformed(Cause::ElfHeaderCut);
    ElfLayout elf;
    const quint64 sectionTable = r.field(0, FIELD(r, Ehdr, e_shoff));
    const quint64 sectionSize = r.field(0, FIELD(r, Ehdr, e_shentsize));
    quint64 sectionCount = r.field(0, FIELD(r, Ehdr, e_shnum));
    elf.sectionNamesIndex = qint64(r.field(0, FIELD(r, Ehdr, e_shstrndx)));
    if (sectionTable != 0) {
        if (sectionSize < RECORD_SIZE(r, Shdr) || !r.fits(sectionTable, sectionSize))
            return malformed(Cause::ElfSectionsOutside);
        // Past 0xff00 sections, their count and the index of their names are kept in the first one.
        if (sectionCount == 0)
            sectionCount = r.field(sectionTable, FIELD(r, Shdr, sh_size));
        if (elf.sectionNamesIndex == SHN_XINDEX)
            elf.sectionNamesIndex = qint64(r.field(sectionTable, FIELD(r, Shdr, sh_link)));
        if (sectionCount > (r.size() - sectionTable) / sectionSize)
            return malformed(Cause::ElfSectionsOutside);
        for (quint64 at = sectionTable; at < sectionTable + sectionCount * sectionSize; at += sectionSize) {
            elf.sections.append({r.field(at, FIELD(r, Shdr, sh_name)), r.field(at, FIELD(r, Shdr, sh_type)),
                                 r.field(at, FIELD(r, Shdr, sh_link)), r.field(at, FIELD(r, Shdr, sh_offset)),
                                 r.field(at, FIELD(r, Shdr, sh_size))});
        }
    }
    const quint64 segmentTable = r.field(0, FIELD(r, Ehdr, e_phoff));
    const quint64 segmentSize = r.field(0, FIELD(r, Ehdr, e_phentsize));
    const quint64 segmentCount = r.field(0, FIELD(r, Ehdr, e_phnum));
    if (segmentTable != 0 && segmentCount != 0) {
        if (segmentSize < RECORD_SIZE(r, Phdr) || !r.fits(segmentTable, segmentSize * segmentCount))
            return malformed(Cause::ElfSegmentsOutside);
        for (quint64 at = segmentTable; at < segmentTable + segmentCount * segmentSize; at += segmentSize) {
            elf.segments.append({r.field(at, FIELD(r, Phdr, p_type)), r.field(at, FIELD(r, Phdr, p_offset)),
                                 r.field(at, FIELD(r, Phdr, p_vaddr)), r.field(at, FIELD(r, Phdr, p_filesz))});
        }
    }

    const auto dynamicSection = std::find_if(elf.sections.cbegin(), elf.sections.cend(),
                                             [](const Section &s) { return s.type == SHT_DYNAMIC; });
    const auto dynamicSegment = std::find_if(elf.segments.cbegin(), elf.segments.cend(),
                                             [](const Segment &s) { return s.type == PT_DYNAMIC; });
    quint64 dynamicOffset = 0, dynamicSize = 0;
    if (dynamicSection != elf.sections.cend()) {
        dynamicOffset = dynamicSection->offset;
        dynamicSize = dynamicSection->size;
        // The loader reads the segment: rewriting what the section describes elsewhere would change nothing.
        if (dynamicSegment != elf.segments.cend() && dynamicSegment->offset != dynamicOffset)
            return malformed(Cause::ElfDynamicDisagrees);
    } else if (dynamicSegment != elf.segments.cend() && dynamicSegment->fileSize != 0) {
        // (a separate debug file keeps the segment with nothing of it in the file)
        dynamicOffset = dynamicSegment->offset;
        dynamicSize = dynamicSegment->fileSize;
    } else {
        return elf; // loads no library
    }
    if (!r.fits(dynamicOffset, dynamicSize))
        return malformed(Cause::ElfDynamicOutside);
    const quint64 entrySize = RECORD_SIZE(r, Dyn);
    quint64 stringsAddress = 0;
    bool stringsAddressGiven = false;
    for (quint64 at = dynamicOffset; entrySize <= dynamicOffset + dynamicSize - at; at += entrySize) {
        const DynamicEntry entry{r.field(at, FIELD(r, Dyn, d_tag)), r.field(at, FIELD(r, Dyn, d_un))};
        if (entry.tag == DT_NULL)
            break;
        if (entry.tag == DT_STRTAB) {
            stringsAddress = entry.value;
            stringsAddressGiven = true;
        } else if (entry.tag == DT_STRSZ) {
            elf.stringsSize = entry.value;
        }
        elf.dynamic.append(entry);
    }

    quint64 loadedStrings = 0;
    const bool stringsLoaded = stringsAddressGiven && fileOffsetOf(elf.segments, stringsAddress, &loadedStrings);
    if (dynamicSection != elf.sections.cend()) {
        const quint64 link = dynamicSection->link;
        if (link >= quint64(elf.sections.size()) || elf.sections.at(int(link)).type != SHT_STRTAB)
            return malformed(Cause::ElfDynamicWithoutStrings);
        elf.stringSection = qint64(link);
        elf.stringsOffset = elf.sections.at(int(link)).offset;
        elf.stringsSize = elf.sections.at(int(link)).size;
        const bool loads = std::any_of(elf.segments.cbegin(), elf.segments.cend(),
                                       [](const Segment &s) { return s.type == PT_LOAD; });
        if (loads && stringsAddressGiven && (!stringsLoaded || loadedStrings != elf.stringsOffset))
            return malformed(Cause::ElfStringsDisagree);
    } else if (stringsLoaded) {
        elf.stringsOffset = loadedStrings;
    } else {
        elf.stringsSize = 0; // no string can be read
    }
    if (!r.fits(elf.stringsOffset, elf.stringsSize))
        return malformed(Cause::ElfStringsOutside);
    // A string rewritten over the tables that locate it would change what the file means.
    const auto overlapsStrings = [&elf](quint64 offset, quint64 size) {
        return size != 0 && elf.stringsSize != 0 && offset < elf.stringsOffset + elf.stringsSize
            && elf.stringsOffset < offset + size;
    };
    if (overlapsStrings(0, RECORD_SIZE(r, Ehdr))
        || overlapsStrings(sectionTable, sectionTable ? sectionCount * sectionSize : 0)
        || overlapsStrings(segmentTable, segmentTable ? segmentCount * segmentSize : 0)
        || overlapsStrings(dynamicOffset, dynamicSize))
        return malformed(Cause::ElfStringsOverTables);
    return elf;
}

// The fields of the two chained version tables, the same in 32- and 64-bit files: needed versions
// (each naming a file), then defined ones.
struct VersionTable {
    quint64 recordSize;
    Field count, file, aux, next; // file.size 0: the record names no file
    quint64 auxSize;
    Field auxName, auxNext;
};
const VersionTable neededVersions{sizeof(Elf32_Verneed), ELF_FIELD(Elf32_Verneed, vn_cnt),
                                  ELF_FIELD(Elf32_Verneed, vn_file), ELF_FIELD(Elf32_Verneed, vn_aux),
                                  ELF_FIELD(Elf32_Verneed, vn_next), sizeof(Elf32_Vernaux),
                                  ELF_FIELD(Elf32_Vernaux, vna_name), ELF_FIELD(Elf32_Vernaux, vna_next)};
const VersionTable definedVersions{sizeof(Elf32_Verdef), ELF_FIELD(Elf32_Verdef, vd_cnt), Field{0, 0},
                                   ELF_FIELD(Elf32_Verdef, vd_aux), ELF_FIELD(Elf32_Verdef, vd_next),
                                   sizeof(Elf32_Verdaux), ELF_FIELD(Elf32_Verdaux, vda_name),
                                   ELF_FIELD(Elf32_Verdaux, vda_next)};

// Appends the names a version section gives; false when its chain leaves the section or loops.
bool collectVersionNames(const ElfBytes &r, const Section &section, const VersionTable &table,
                         std::vector<quint64> *names)
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
        if (table.file.size != 0)
            names->push_back(r.field(at, table.file));
        quint64 aux = at + r.field(at, table.aux);
        for (quint64 i = 0, count = r.field(at, table.count); i < count; ++i) {
            if (!inside(aux, table.auxSize) || steps-- == 0)
                return false;
            names->push_back(r.field(aux, table.auxName));
            const quint64 next = r.field(aux, table.auxNext);
            if (next == 0)
                break;
            aux += next;
        }
        const quint64 next = r.field(at, table.next);
        if (next == 0)
            return true;
        at += next;
    }
}

// Every offset into the dynamic string table that something other than a search path starts at,
// sorted. Fails when a table that holds such offsets lies outside the file, or when the tables
// together are larger than the file: real tables never overlap, and a crafted file must cost no
// more than a pass over it.
Cause collectOtherNames(const QByteArray &data, const ElfLayout &elf, std::vector<quint64> *names)
{
    const ElfBytes r(data);
    for (const DynamicEntry &entry : elf.dynamic) {
        if (isStringTag(entry.tag) && !isSearchPathTag(entry.tag))
            names->push_back(entry.value);
    }
    const bool namesSections = elf.sectionNamesIndex == elf.stringSection;
    quint64 scanned = 0;
    for (const Section &section : elf.sections) {
        if (namesSections)
            names->push_back(section.name);
        if (qint64(section.link) != elf.stringSection)
            continue;
        quint64 entrySize = 0;
        if (section.type == SHT_SYMTAB || section.type == SHT_DYNSYM)
            entrySize = RECORD_SIZE(r, Sym);
        else if (section.type == SHT_GNU_LIBLIST)
            entrySize = RECORD_SIZE(r, Lib);
        else if (section.type != SHT_GNU_verneed && section.type != SHT_GNU_verdef)
            continue;
        if (!r.fits(section.offset, section.size))
            return Cause::ElfNamesOutside;
        scanned += section.size;
        if (scanned > r.size())
            return Cause::ElfTablesOverlap;
        // Each of these entries starts with its name.
        for (quint64 at = section.offset; entrySize != 0 && entrySize <= section.offset + section.size - at; at += entrySize)
            names->push_back(r.field(at, FIELD(r, Sym, st_name)));
        if (section.type == SHT_GNU_verneed && !collectVersionNames(r, section, neededVersions, names))
            return Cause::ElfNamesOutside;
        if (section.type == SHT_GNU_verdef && !collectVersionNames(r, section, definedVersions, names))
            return Cause::ElfNamesOutside;
    }
    std::sort(names->begin(), names->end());
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

// Whether any of the sorted `offsets` lies in [from, to]; the first such, or -1.
qint64 firstIn(const std::vector<quint64> &offsets, quint64 from, quint64 to)
{
    const auto it = std::lower_bound(offsets.cbegin(), offsets.cend(), from);
    return it != offsets.cend() && *it <= to ? qint64(*it) : -1;
}

SearchPathRewrite failedRewrite(const Reason &why)
{
    SearchPathRewrite result;
    result.failure = why;
    return result;
}
} // namespace

bool isElf(const QByteArray &data)
{
    return data.startsWith("\x7f" "ELF");
}

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
    const ElfLayout layout = readLayout(elf);
    if (layout.malformed != Cause::None) {
        result.error = Reason(ReasonCode::ElfMalformed, layout.malformed);
        return result;
    }
    result.sectionsKnown = layout.stringSection >= 0;
    std::vector<quint64> offsets;
    for (const DynamicEntry &entry : layout.dynamic) {
        if (isSearchPathTag(entry.tag))
            offsets.push_back(entry.value);
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    if (offsets.empty())
        return result;
    std::vector<quint64> names;
    if (result.sectionsKnown) {
        const Cause fault = collectOtherNames(elf, layout, &names);
        if (fault != Cause::None) {
            result.error = Reason(ReasonCode::ElfMalformed, fault);
            return result;
        }
    }
    const char *const strings = elf.constData() + layout.stringsOffset;
    quint64 groupStart = 0, groupEnd = 0, copied = 0; // the zero-terminated run the last string lies in
    for (size_t i = 0; i < offsets.size(); ++i) {
        const quint64 offset = offsets.at(i);
        if (offset >= layout.stringsSize) {
            result.error = Reason(ReasonCode::ElfMalformed, Cause::ElfStringOutside);
            return result;
        }
        if (i == 0 || offset > groupEnd) {
            const void *zero = std::memchr(strings + offset, '\0', size_t(layout.stringsSize - offset));
            if (!zero) {
                result.error = Reason(ReasonCode::ElfMalformed, Cause::ElfStringOutside);
                return result;
            }
            groupEnd = quint64(static_cast<const char *>(zero) - strings);
            groupStart = offset;
            while (groupStart > 0 && strings[groupStart - 1] != '\0')
                --groupStart;
        }
        copied += groupEnd - offset;
        if (copied > Limits::elfStringBytesBound(layout.stringsSize)) {
            result.error = Reason(ReasonCode::ElfMalformed, Cause::ElfTablesOverlap);
            return result;
        }
        ElfSearchPath path;
        path.offset = qint64(layout.stringsOffset + offset);
        path.text = QByteArray(strings + offset, int(groupEnd - offset));
        // Rewritable up to its own zero byte, or the byte before another name that starts inside it;
        // a name that covers its start, or another search path it lies in, forbids any change.
        quint64 last = groupEnd;
        const qint64 nameInside = groupEnd > offset + 1 ? firstIn(names, offset + 1, groupEnd - 1) : -1;
        if (nameInside >= 0)
            last = quint64(nameInside) - 1;
        if (i + 1 < offsets.size() && offsets.at(i + 1) < groupEnd)
            last = qMin(last, offsets.at(i + 1) - 1);
        path.shared = firstIn(names, groupStart, offset) >= 0 || (i > 0 && offsets.at(i - 1) >= groupStart);
        path.room = qint64(last - offset) + 1;
        result.strings.append(path);
    }
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
        const QByteArrayList entries = string.text.split(':');
        QByteArrayList relative = entries, absolute = entries;
        bool relativeUsable = true;
        int count = 0;
        for (int i = 0; i < entries.size(); ++i) {
            const RootMatch root = longestOldRoot(entries.at(i), oldRoots, newRoot, placeExists);
            if (root.index < 0)
                continue;
            QByteArray place = rootSpelling(newRoot) + (root.place.isEmpty() ? QByteArray() : '/' + root.place);
            if (place.isEmpty())
                place = "/";
            relative[i] = originRelative(fileDirectory, place);
            absolute[i] = place;
            relativeUsable = relativeUsable && !relative.at(i).contains(':');
            ++count;
        }
        if (count == 0)
            continue;
        if (!paths.sectionsKnown)
            return failedRewrite(Reason(ReasonCode::ElfWithoutSections));
        if (string.shared)
            return failedRewrite(Reason(ReasonCode::RunPathShared));
        const qsizetype room = qsizetype(string.room) - 1;
        QByteArray rewritten = relativeUsable ? relative.join(':') : QByteArray();
        if ((!relativeUsable || rewritten.size() > room) && absoluteAllowed)
            rewritten = absolute.join(':');
        if (rewritten.isEmpty() || rewritten.size() > room) {
            // The shortest spelling there is, against the room: what a shorter root must save.
            const qsizetype shortest = relativeUsable ? qMin(relative.join(':').size(), absolute.join(':').size())
                                                      : absolute.join(':').size();
            return failedRewrite(Reason(ReasonCode::RunPathTooLong, {QString::number(shortest), QString::number(room)}));
        }
        writes.append({string.offset, rewritten + QByteArray(room + 1 - rewritten.size(), '\0')});
        result.rewritten += count;
    }
    for (const auto &write : writes) {
        if (std::memcmp(elf.constData() + write.first, write.second.constData(), size_t(write.second.size())) == 0)
            continue;
        result.changes.append({write.first, elf.mid(write.first, write.second.size())});
        std::memcpy(elf.data() + write.first, write.second.constData(), size_t(write.second.size()));
    }
    return result;
}
