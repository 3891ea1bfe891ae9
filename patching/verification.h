#ifndef ZEL_VERIFICATION_H
#define ZEL_VERIFICATION_H

#include "patching/base/fileoutcome.h"
#include "patching/qt/listing.h"
#include "patching/base/limits.h"
#include "patching/inspection.h"
#include "patching/qt/oldroots.h"

#include <QString>
#include <QVector>

// Whether an installation is relocated to its own directory: the plan of `patch --deep`, judged
// without writing, and the installation's own bin/qmake asked when it can be trusted.

// One install path as the installation gives it, and what it should be.
struct CheckedPath {
    QString name;     // "QT_INSTALL_PREFIX" for qmake's answers, the slot key for a slot
    QString source;   // "bin/qmake -query" (or qmake.exe), or the file the slot was read from
    QString value;    // a file's slots of one key give one path: the first that is wrong, else the first
    QString expected;
    bool ok = false;
};

// A file that `patch --deep` treats, and whether it is as that patch would leave it.
struct CheckedFile {
    QString path;
    QString relativePath;
    FileKind kind = FileKind::Text;
    bool relocated = true;
    QString oldRootNamed;       // the first old root it still names, empty when none
    bool inSearchPath = false;  // named by an ELF file's RUNPATH or RPATH
    bool staleSlots = false;    // a path slot that does not hold what a patch writes
    Reason reason;              // why it is not relocated: its worker's reason (unreadable, lost backup, ...),
                                // else what verify found (an old root it names, stale slots, ...)
    bool unreadable = false;    // it or its backup could not be read
};

struct Verification {
    QString qtPath;
    OldRoots oldRoots;
    bool identifiesQt = false;
    bool queried = false;    // the install paths are qmake's own answers
    Reason notQueriedReason; // when they are not
    Reason queryFailure;     // when qmake ran but did not answer as it should
    QVector<CheckedPath> paths;
    QVector<CheckedFile> files;
    QtIdentity identity;

    bool relocated() const;
};

// Asks DIR/bin/qmake (`-query NAME`, each answer within `timeoutMs` and 64 KiB) for its install
// paths when it belongs to root or to the user running this, nobody else may write it, and it can
// be executed here; reads the path slots of every binary that holds them; and judges every file of
// the patch --deep plan as that patch would. A qmake that runs but crashes, fails or answers
// something that is not a path makes the installation not relocated.
Verification verifyInstallation(const QString &qtPath, int timeoutMs = Limits::queryTimeoutMs);

#endif
