#ifndef ZEL_VERIFICATION_H
#define ZEL_VERIFICATION_H

#include "patching/inspection.h"

#include <QString>
#include <QVector>

// Whether an installation is relocated to its own directory. Reads only, never writes.

// One install path as the installation gives it, and what it should be.
struct CheckedPath {
    QString name;     // "QT_INSTALL_PREFIX" for qmake's answers, the slot key for a slot
    QString source;   // "bin/qmake -query" (or qmake.exe), or the file the slot was read from
    QString value;
    QString expected;
    bool ok = false;
};

// A file that the commands treat, and whether it still names the old root.
struct CheckedFile {
    QString path;
    QString relativePath;
    FileKind kind = FileKind::Text;
    bool namesOldRoot = false;
    bool namesEarlierPlace = false; // build metadata that its patch from the backup would still change
    QString error; // French, when it could not be read
};

struct Verification {
    QString qtPath;
    RecordedRoot oldRoot;
    bool queried = false;     // the install paths are qmake's own answers
    QString notQueriedReason; // French, when they are not
    QVector<CheckedPath> paths;
    QVector<CheckedFile> files;

    bool relocated() const;
};

// Asks DIR/bin/qmake (`-query NAME`, each within `timeoutMs`) for its install paths when it
// can run here, reads the path slots of every binary, and looks for the old root in every
// file the two commands and the build metadata step treat.
Verification verifyInstallation(const QString &qtPath, int timeoutMs = 10000);

#endif
