#ifndef ZEL_GENERATION_H
#define ZEL_GENERATION_H

#include "patching/formats/pathslots.h"
#include "patching/qt/listing.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What one Qt generation is to the tool: where it keeps its paths, and under which names. Each
// generation is one file of tables (qt4.cpp); qtGenerations() lists them; nothing else names them.
struct QtGeneration {
    int major = 0;
    // The path slots in the order of the install paths, each with what `qmake -query` calls it; the
    // first is the prefix.
    QVector<PathSlotKey> slotKeys;
    SlotPlacement slotPlacement = SlotPlacement::BelowOwnPrefix;
    // The keys that say where the tree was installed on the build machine when a file holds them
    // (Qt 5.5 and later's qmake); the prefix beside them, when it differs, is the target device's.
    QVector<QByteArray> installPrefixKeys;
    // Files whose presence shows an installation of this generation: a folder below DIR ("lib/*"
    // is each folder of lib: a distribution's multiarch one) and a name pattern.
    QVector<CommandStep> markers;
    // Whether those files alone identify a Qt installation, without a file holding slots.
    bool markersIdentify = false;
    // The window's files, in the order each command treats them.
    QVector<CommandStep> patchSteps;
    QVector<CommandStep> unpatchSteps;
    // The build metadata, in the order it is treated (a fixed file counts when it or its backup is
    // there), and the endings that make a file metadata wherever it lies below DIR.
    QVector<CommandStep> metadataSteps;
    QStringList metadataSuffixes;
    // Whether a patch always treats the whole tree, as --deep does: a generation that keeps its
    // places in its build metadata (qt.conf, .pc, CMake files) as much as in its binaries.
    bool patchIsDeep = false;
    // A cross-compiling kit's files that name its host Qt (hostqt.h), relative to DIR: its wrapper
    // scripts, its CMake files, and the qt.conf its wrappers give qmake, which marks a kit.
    QStringList hostWrappers;
    QStringList hostCMakeFiles;
    QString hostConf;
    // Where the installation's qmake may lie, relative to DIR; verify asks the first there.
    QStringList qmakePaths;
    // The names verify asks qmake; none: the slots' names.
    QVector<QByteArray> queryNames;
    // Whether qmake is run with the installation's own libraries first in the loader's path: a
    // distribution's qmake6 has no run path and would load the system's QtCore.
    bool queryWithOwnLibraries = false;
    // The names of the configuration files the line rule rewrites.
    QStringList configNames;
    // What names a QtCore library in bin or lib.
    QString qtCoreNamePattern;
};

// Every generation the tool knows, the newest first. A new generation is a file of tables and one line here.
const QVector<const QtGeneration *> &qtGenerations();

// Which generation the installation at `qtPath` holds: the one gate the window and the front end
// share. Its mkspecs/qconfig.pri says it; else the files that mark a generation; an installation that
// shows none of them is taken for the oldest, whose rules ask the least.
const QtGeneration &generationOf(const QString &qtPath);

// The generations' own tables.
const QtGeneration &qt4Generation();
const QtGeneration &qt5Generation();
const QtGeneration &qt6Generation();

// The files of `markers` found below `qtPath`, at most `limit` of them; a folder of many entries costs one listing.
QStringList markedFiles(const QString &qtPath, const QVector<CommandStep> &markers, int limit);

#endif
