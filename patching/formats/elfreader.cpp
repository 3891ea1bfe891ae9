#include "patching/formats/elfreader.h"

#include "patching/formats/elfformat.h"
#include "patching/formats/elfrunpath.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <limits>

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

// A run of the file a table fills; size 0 when the file has no such table.
struct FileSpan {
    quint64 offset = 0, size = 0;
};

// Dynamic tags whose value is an offset into the dynamic string table.
bool isStringTag(quint64 tag)
{
    static const quint64 tags[] = {DT_NEEDED, DT_SONAME, DT_RPATH, DT_RUNPATH, DT_CONFIG, DT_DEPAUDIT,
                                   DT_AUDIT, DT_AUXILIARY, DT_USED, DT_FILTER};
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

ElfLayout malformed(Cause why)
{
    ElfLayout layout;
    layout.malformed = why;
    return layout;
}

// The file offset the loader reads at `address`, through the loaded segments.
bool fileOffsetOf(const QVector<ElfSegment> &segments, quint64 address, quint64 *offset)
{
    for (const ElfSegment &segment : segments) {
        const quint64 delta = address - segment.address;
        if (segment.type == PT_LOAD && address >= segment.address && delta < segment.fileSize
            && segment.offset <= std::numeric_limits<quint64>::max() - delta) {
            *offset = segment.offset + delta;
            return true;
        }
    }
    return false;
}

// Why `data` cannot be read as an ELF file at all: no signature, an unknown class or byte order, or a
// header cut short.
Cause identityFault(const QByteArray &data)
{
    if (!isElf(data))
        return Cause::ElfNoSignature;
    if (data.size() <= EI_DATA || (data.at(EI_CLASS) != ELFCLASS32 && data.at(EI_CLASS) != ELFCLASS64)
        || (data.at(EI_DATA) != ELFDATA2LSB && data.at(EI_DATA) != ELFDATA2MSB))
        return Cause::ElfUnknownClass;
    const ElfBytes r(data);
    if (!r.fits(0, RECORD_SIZE(r, Ehdr)))
        return Cause::ElfHeaderCut;
    return Cause::None;
}

// Reads the section table the header points at into `elf`; `table` is where it lies.
Cause readSections(const ElfBytes &r, ElfLayout *elf, FileSpan *table)
{
    const quint64 sectionTable = r.field(0, FIELD(r, Ehdr, e_shoff));
    const quint64 sectionSize = r.field(0, FIELD(r, Ehdr, e_shentsize));
    quint64 sectionCount = r.field(0, FIELD(r, Ehdr, e_shnum));
    elf->sectionNamesIndex = qint64(r.field(0, FIELD(r, Ehdr, e_shstrndx)));
    if (sectionTable == 0)
        return Cause::None;
    if (sectionSize < RECORD_SIZE(r, Shdr) || !r.fits(sectionTable, sectionSize))
        return Cause::ElfSectionsOutside;
    // Past 0xff00 sections, their count and the index of their names are kept in the first one.
    if (sectionCount == 0)
        sectionCount = r.field(sectionTable, FIELD(r, Shdr, sh_size));
    if (elf->sectionNamesIndex == SHN_XINDEX)
        elf->sectionNamesIndex = qint64(r.field(sectionTable, FIELD(r, Shdr, sh_link)));
    if (sectionCount > (r.size() - sectionTable) / sectionSize)
        return Cause::ElfSectionsOutside;
    *table = {sectionTable, sectionCount * sectionSize};
    for (quint64 at = sectionTable; at < sectionTable + sectionCount * sectionSize; at += sectionSize) {
        elf->sections.append({r.field(at, FIELD(r, Shdr, sh_name)), r.field(at, FIELD(r, Shdr, sh_type)),
                              r.field(at, FIELD(r, Shdr, sh_link)), r.field(at, FIELD(r, Shdr, sh_offset)),
                              r.field(at, FIELD(r, Shdr, sh_size))});
    }
    return Cause::None;
}

// Reads the segment table the header points at into `elf`; `table` is where it lies.
Cause readSegments(const ElfBytes &r, ElfLayout *elf, FileSpan *table)
{
    const quint64 segmentTable = r.field(0, FIELD(r, Ehdr, e_phoff));
    const quint64 segmentSize = r.field(0, FIELD(r, Ehdr, e_phentsize));
    const quint64 segmentCount = r.field(0, FIELD(r, Ehdr, e_phnum));
    if (segmentTable == 0 || segmentCount == 0) {
        *table = {segmentTable, 0};
        return Cause::None;
    }
    if (segmentSize < RECORD_SIZE(r, Phdr) || !r.fits(segmentTable, segmentSize * segmentCount))
        return Cause::ElfSegmentsOutside;
    *table = {segmentTable, segmentCount * segmentSize};
    for (quint64 at = segmentTable; at < segmentTable + segmentCount * segmentSize; at += segmentSize) {
        elf->segments.append({r.field(at, FIELD(r, Phdr, p_type)), r.field(at, FIELD(r, Phdr, p_offset)),
                              r.field(at, FIELD(r, Phdr, p_vaddr)), r.field(at, FIELD(r, Phdr, p_filesz))});
    }
    return Cause::None;
}

const ElfSection *dynamicSectionOf(const ElfLayout &elf)
{
    const auto found = std::find_if(elf.sections.cbegin(), elf.sections.cend(),
                                    [](const ElfSection &s) { return s.type == SHT_DYNAMIC; });
    return found != elf.sections.cend() ? &*found : nullptr;
}

// Where the dynamic entries lie: in the dynamic section, else in the dynamic segment; `loadsLibraries`
// false when the file has neither.
Cause locateDynamic(const ElfLayout &elf, FileSpan *dynamic, bool *loadsLibraries)
{
    const ElfSection *section = dynamicSectionOf(elf);
    const auto segment = std::find_if(elf.segments.cbegin(), elf.segments.cend(),
                                      [](const ElfSegment &s) { return s.type == PT_DYNAMIC; });
    *loadsLibraries = true;
    if (section) {
        *dynamic = {section->offset, section->size};
        // The loader reads the segment: rewriting what the section describes elsewhere would change nothing.
        if (segment != elf.segments.cend() && segment->offset != section->offset)
            return Cause::ElfDynamicDisagrees;
    } else if (segment != elf.segments.cend() && segment->fileSize != 0) {
        // (a separate debug file keeps the segment with nothing of it in the file)
        *dynamic = {segment->offset, segment->fileSize};
    } else {
        *loadsLibraries = false;
    }
    return Cause::None;
}

// Reads the dynamic entries up to DT_NULL into `elf`, with the size of their string table, and the
// address of that table when an entry gives it.
Cause readDynamicEntries(const ElfBytes &r, const FileSpan &dynamic, ElfLayout *elf, quint64 *stringsAddress,
                         bool *stringsAddressGiven)
{
    if (!r.fits(dynamic.offset, dynamic.size))
        return Cause::ElfDynamicOutside;
    const quint64 entrySize = RECORD_SIZE(r, Dyn);
    for (quint64 at = dynamic.offset; entrySize <= dynamic.offset + dynamic.size - at; at += entrySize) {
        const ElfDynamicEntry entry{r.field(at, FIELD(r, Dyn, d_tag)), r.field(at, FIELD(r, Dyn, d_un))};
        if (entry.tag == DT_NULL)
            break;
        if (entry.tag == DT_STRTAB) {
            *stringsAddress = entry.value;
            *stringsAddressGiven = true;
        } else if (entry.tag == DT_STRSZ) {
            elf->stringsSize = entry.value;
        }
        elf->dynamic.append(entry);
    }
    return Cause::None;
}

// Where the dynamic string table lies: the section the dynamic section links, which the loaded
// address must agree with, else that address through the segments; no table when neither is known.
Cause locateStrings(const ElfBytes &r, ElfLayout *elf, quint64 stringsAddress, bool stringsAddressGiven)
{
    quint64 loadedStrings = 0;
    const bool stringsLoaded = stringsAddressGiven && fileOffsetOf(elf->segments, stringsAddress, &loadedStrings);
    if (const ElfSection *dynamicSection = dynamicSectionOf(*elf)) {
        const quint64 link = dynamicSection->link;
        if (link >= quint64(elf->sections.size()) || elf->sections.at(int(link)).type != SHT_STRTAB)
            return Cause::ElfDynamicWithoutStrings;
        elf->stringSection = qint64(link);
        elf->stringsOffset = elf->sections.at(int(link)).offset;
        elf->stringsSize = elf->sections.at(int(link)).size;
        const bool loads = std::any_of(elf->segments.cbegin(), elf->segments.cend(),
                                       [](const ElfSegment &s) { return s.type == PT_LOAD; });
        if (loads && stringsAddressGiven && (!stringsLoaded || loadedStrings != elf->stringsOffset))
            return Cause::ElfStringsDisagree;
    } else if (stringsLoaded) {
        elf->stringsOffset = loadedStrings;
    } else {
        elf->stringsSize = 0; // no string can be read
    }
    if (!r.fits(elf->stringsOffset, elf->stringsSize))
        return Cause::ElfStringsOutside;
    return Cause::None;
}

// Whether the string table overlaps any of `tables`: a string rewritten over the tables that locate it
// would change what the file means.
bool stringsOverTables(const ElfLayout &elf, std::initializer_list<FileSpan> tables)
{
    return std::any_of(tables.begin(), tables.end(), [&elf](const FileSpan &table) {
        return table.size != 0 && elf.stringsSize != 0 && table.offset < elf.stringsOffset + elf.stringsSize
            && elf.stringsOffset < table.offset + table.size;
    });
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
bool collectVersionNames(const ElfBytes &r, const ElfSection &section, const VersionTable &table,
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
} // namespace

// Declared in elfrunpath.h, for its callers; here, since it is the first check of the reader.
bool isElf(const QByteArray &data)
{
    return data.startsWith("\x7f" "ELF");
}

bool isSearchPathTag(quint64 tag)
{
    return tag == DT_RPATH || tag == DT_RUNPATH;
}

ElfLayout readElfLayout(const QByteArray &data)
{
    const Cause identity = identityFault(data);
    if (identity != Cause::None)
        return malformed(identity);
    const ElfBytes r(data);
    ElfLayout elf;
    FileSpan sectionTable, segmentTable, dynamic;
    Cause fault = readSections(r, &elf, &sectionTable);
    if (fault == Cause::None)
        fault = readSegments(r, &elf, &segmentTable);
    bool loadsLibraries = false;
    if (fault == Cause::None)
        fault = locateDynamic(elf, &dynamic, &loadsLibraries);
    if (fault != Cause::None)
        return malformed(fault);
    if (!loadsLibraries)
        return elf;
    quint64 stringsAddress = 0;
    bool stringsAddressGiven = false;
    fault = readDynamicEntries(r, dynamic, &elf, &stringsAddress, &stringsAddressGiven);
    if (fault == Cause::None)
        fault = locateStrings(r, &elf, stringsAddress, stringsAddressGiven);
    if (fault != Cause::None)
        return malformed(fault);
    if (stringsOverTables(elf, {{0, RECORD_SIZE(r, Ehdr)}, sectionTable, segmentTable, dynamic}))
        return malformed(Cause::ElfStringsOverTables);
    return elf;
}

Cause collectOtherNames(const QByteArray &data, const ElfLayout &elf, std::vector<quint64> *names)
{
    const ElfBytes r(data);
    for (const ElfDynamicEntry &entry : elf.dynamic) {
        if (isStringTag(entry.tag) && !isSearchPathTag(entry.tag))
            names->push_back(entry.value);
    }
    const bool namesSections = elf.sectionNamesIndex == elf.stringSection;
    quint64 scanned = 0;
    for (const ElfSection &section : elf.sections) {
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