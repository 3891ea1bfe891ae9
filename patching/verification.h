#ifndef ZEL_VERIFICATION_H
#define ZEL_VERIFICATION_H

#include "patching/listing.h"
#include "patching/oldroots.h"

#include <QString>
#include <QVector>

// Whether an installation is relocated to its own directory. Writes nothing; runs the
// installation's own bin/qmake when it can be trusted (see verifyInstallation).

// One install path as the installation gives it, and what it should be.
struct CheckedPath {
    QString name;     // "QT_INSTALL_PREFIX" for qmake's answers, the slot key for a slot
    QString source;   // "bin/qmake -query" (or qmake.exe), or the file the slot was read from
    QString value;    // a file's slots of one key give one path: the first that is wrong, else the first
    QString expected;
    bool ok = false;
};

// A file that the commands treat, and whether it still names an old root.
struct CheckedFile {
    QString path;
    QString relativePath;
    FileKind kind = FileKind::Text;
    QString oldRootNamed;           // the first old root it names, empty when none
    bool inSearchPath = false;      // named by an ELF file's RUNPATH or RPATH
    bool namesEarlierPlace = false; // a file that its patch from the backup would still change
    bool lostBackup = false;        // patched by the tool, its backup lost: nothing can give its original back
    QString error;                  // when it or its backup could not be read
};

struct Verification {
    QString qtPath;
    OldRoots oldRoots;
    bool queried = false;     // the install paths are qmake's own answers
    QString notQueriedReason; // when they are not
    QString queryFailure;     // when qmake ran but did not answer as it should
    QVector<CheckedPath> paths;
    QVector<CheckedFile> files;

    bool relocated() const;
};

// Asks DIR/bin/qmake (`-query NAME`, each answer within `timeoutMs` and 64 KiB) for its install
// paths when it belongs to root or to the user running this, nobody else may write it, and it can
// be executed here; reads the path slots of every binary; and looks for each old root in every
// file of the unpatch --deep plan (in an ELF file, in its search paths). A qmake that runs but crashes, fails or answers something that
// is not a path makes the installation not relocated.
Verification verifyInstallation(const QString &qtPath, int timeoutMs = 10000);

#endif
