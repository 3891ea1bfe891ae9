#ifndef ZEL_INSPECTION_H
#define ZEL_INSPECTION_H

#include "patching/base/fileoutcome.h"
#include "patching/qt/buildfacts.h"
#include "patching/qt/listing.h"
#include "patching/qt/oldroots.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A read-only look at an installation: the files the window's unpatch command visits (every
// file its patch command visits, and a few more), the paths each one holds, and the old roots.

enum class EntryType { Missing, File, Directory, Other };

struct InspectedFile {
    QString path;         // absolute, as a worker would receive it
    QString relativePath; // relative to the installation root
    FileKind kind = FileKind::Binary;
    EntryType type = EntryType::Missing;
    bool hasBackup = false;
    Reason error;               // when the file could not be read
    QVector<QByteArray> paths;  // each slot or recognised assignment, as "key=value"; of build metadata, its paths
    int judged = 0;             // how many were judged: every slot, even past the ones `paths` shows
    int stale = 0;              // how many of those judged do not name the root
    bool cut = false;           // the file holds more paths than `paths` shows
    // Why its slots stay as they are though they may not name the root: a prefix of fixed length
    // the root does not fit, a QtCore that never reads them, a cross build's device prefix.
    Reason slotNote;
};

// What the installation's Qt is, as inspect and verify name it.
struct QtIdentity {
    int major = 0;
    BuildFacts build;
    QVector<QByteArray> devicePrefixes;
    qsizetype fixedPrefixLength = -1; // the bytes QtCore reads its prefix with, when fixed
    QString hostQt;        // a cross kit's host Qt, where its files name it now
    bool hostQtThere = false; // and whether it holds Qt's host tools
};

struct Inspection {
    QString qtPath;
    QVector<InspectedFile> files;
    OldRoots oldRoots;
    bool identifiesQt = false;
    QtIdentity identity;
};

struct CommandPlan;
// What Qt the installation of `plan` holds.
QtIdentity qtIdentity(const CommandPlan &plan);

// Looks at the installation at `qtPath` (an accepted directory) without changing anything.
Inspection inspectInstallation(const QString &qtPath);

#endif
