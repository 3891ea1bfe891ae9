#ifndef ZEL_INSPECTION_H
#define ZEL_INSPECTION_H

#include "patching/listing.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A read-only look at an installation: the files the unpatch command visits (every
// file the patch command visits, and a few more) and the paths each one holds.

enum class EntryType { Missing, File, Directory, Other };

struct InspectedFile {
    QString path;         // absolute, as a worker would receive it
    QString relativePath; // relative to the installation root
    FileKind kind = FileKind::Binary;
    EntryType type = EntryType::Missing;
    bool hasBackup = false;
    QString error;              // French, when the file could not be read
    QVector<QByteArray> paths;  // each slot or recognised assignment, as "key=value"
    int stale = 0;              // how many of them do not name the root
};

// The root the installation was built for, and the file it was read from; empty when none.
struct RecordedRoot {
    QString value;
    QString relativePath;
};

struct Inspection {
    QString qtPath;
    QVector<InspectedFile> files;
    RecordedRoot oldRoot;
};

// Looks at the installation at `qtPath` (an accepted directory) without changing anything.
Inspection inspectInstallation(const QString &qtPath);

// The "qt_prfxpath=" of the original bytes (the backup's once there is one) of bin/qmake,
// else of qmake.exe, else of the first QtCore binary of the listings.
RecordedRoot recordedRoot(const QString &qtPath);

#endif
