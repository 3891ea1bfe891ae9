#ifndef ZEL_ELFREADER_H
#define ZEL_ELFREADER_H

#include "patching/base/fileoutcome.h"

#include <QByteArray>
#include <QVector>

#include <vector>

// The checked ELF reader the search paths are found with: where the dynamic entries and their string
// table lie, and which names start in that table. Every offset and size the file gives is checked
// against the file once, so a crafted file is refused, never read past its end, and costs time linear
// in its size.

struct ElfSection {
    quint64 name = 0, type = 0, link = 0, offset = 0, size = 0;
};

struct ElfSegment {
    quint64 type = 0, offset = 0, address = 0, fileSize = 0;
};

struct ElfDynamicEntry {
    quint64 tag = 0, value = 0;
};

// Where the dynamic entries and their string table lie.
struct ElfLayout {
    Cause malformed = Cause::None;
    QVector<ElfSection> sections;
    QVector<ElfSegment> segments;
    qint64 sectionNamesIndex = -1;
    qint64 stringSection = -1; // -1 when the strings were found through the segments alone
    quint64 stringsOffset = 0, stringsSize = 0;
    QVector<ElfDynamicEntry> dynamic;
};

// Whether a dynamic entry tagged `tag` is a search path (DT_RUNPATH or DT_RPATH).
bool isSearchPathTag(quint64 tag);

// The layout of `data`, or why it is no ELF file that can be read (`malformed`). A file that loads no
// library (no dynamic section) has no dynamic entries.
ElfLayout readElfLayout(const QByteArray &data);

// Every offset into the dynamic string table that something other than a search path starts at,
// sorted. Fails when a table that holds such offsets lies outside the file, or when the tables
// together are larger than the file: real tables never overlap, and a crafted file must cost no
// more than a pass over it.
Cause collectOtherNames(const QByteArray &data, const ElfLayout &elf, std::vector<quint64> *names);

#endif
