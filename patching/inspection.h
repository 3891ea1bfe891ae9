#ifndef ZEL_INSPECTION_H
#define ZEL_INSPECTION_H

#include "patching/listing.h"
#include "patching/pathslots.h"
#include "patching/textpatcher.h"

#include <QString>
#include <QVector>

// A read-only look at an installation: what the two commands would visit and
// what the files and their backups hold. Nothing is ever written.

enum class EntryType { Missing, File, Directory, Other };

// Stable English name of an entry type, for machine-readable reports.
QString entryTypeKey(EntryType type);

// A path slot as read from a file, and whether it already names the root.
struct InspectedSlot {
    FoundSlot slot;
    bool namesRoot = false; // the value is what a patch to the root would write
};

// A recognised assignment of a configuration file, and whether it already names the root.
struct InspectedAssignment {
    ConfigAssignment assignment;
    bool namesRoot = false; // a patch to the root would leave the line as it is
};

// What one entry (a listed file or its backup) holds.
struct InspectedContent {
    EntryType type = EntryType::Missing;
    bool isSymLink = false;
    bool readFailed = false;
    QString error; // French reason when the entry could not be read
    QVector<InspectedSlot> foundSlots;        // binary files
    QVector<InspectedAssignment> assignments; // configuration files

    bool exists() const { return type != EntryType::Missing; }
    // True when the content holds at least one slot or assignment and all of them name the root.
    bool namesRoot() const;
};

struct InspectedFile {
    QString path;         // absolute, as a worker would receive it
    QString relativePath; // relative to the installation root
    FileKind kind = FileKind::Binary;
    bool visitedByPatch = false;
    bool visitedByUnpatch = false;
    InspectedContent file;
    InspectedContent backup; // path + ".back"
};

// The root the installation was built for, as one of its files records it.
struct RecordedRoot {
    bool found = false;
    QString value;
    QString relativePath; // the file it was read from (a backup when there is one)
    QByteArray key;       // "qt_prfxpath=" or "QT_BUILD_TREE"
    bool fromBackup = false;
};

struct Inspection {
    QString qtPath;
    QVector<InspectedFile> files; // the union of both commands' files, in order, each once
    RecordedRoot oldRoot;

    bool anyReadFailed() const;
};

// Looks at the installation at `qtPath` (an accepted directory) without changing anything.
Inspection inspectInstallation(const QString &qtPath);

// The root an installation records: the first binary backup's "qt_prfxpath=", else the
// first configuration backup's "QT_BUILD_TREE"; before any patch, the same in the files.
RecordedRoot recordedRoot(const QVector<InspectedFile> &files);

#endif
