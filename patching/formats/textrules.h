#ifndef ZEL_TEXTRULES_H
#define ZEL_TEXTRULES_H

#include "patching/formats/configlinerule.h"
#include "patching/formats/wholepathrule.h"

#include <QByteArray>
#include <QVector>

// The rules that rewrite the installation's text files, line by line.
//
// The line rule (configlinerule.h) rewrites the QMAKESPEC, QMAKESPEC_ORIGINAL, QT_BUILD_TREE and
// QT_SOURCE_TREE assignments of the two qmake configuration files so that they name the root; with
// --deep the whole-path rule (wholepathrule.h) rewrites every other line naming an old root, in those
// files and in the build metadata. Lines are bytes: whatever their encoding, lines no rule changes keep them.
// A configuration file's lines end with LF, a file that ended with a line ending keeps one; the
// build metadata keeps its own line endings. Each rule walks a file one line at a time and keeps no
// list of its lines; a file patched before costs an index of its backup's lines besides (lineindex.h).

struct TextRules {
    bool configFile = false; // the line rule applies
    bool deep = false;       // the whole-path rule applies
    Relocation relocation;   // the old roots and the root
    // target_qt.conf of a kit whose host Qt moved: its HostPrefix names the host from the file's folder
    // (`hostConfFolder` below the root), and its HostData, when it named the kit (at `hostDataRest`
    // below the root), names it from the host. Both follow the root and the host a line is written for.
    bool hostConf = false;
    QByteArray hostConfFolder;
    bool hostData = false;
    QByteArray hostDataRest;
    // The host places the tool wrote before, as the roots it was patched for before: their lines are its own.
    QVector<QByteArray> earlierHosts;
};

// The content `rules` give a file whose lines are `content`.
QByteArray applyTextRules(const QByteArray &content, const TextRules &rules);

struct TextPatch {
    QByteArray content;
    bool editsKept = false; // lines written since the last patch were kept
};

// The new content of a text file that holds `current` and whose backup holds `backup`. A line the
// tool wrote (the backup's line patched for the root or for one of `earlierRoots`, with or without
// --deep) is computed again from the backup's line, so that patching again is one patch of the
// original; a line --deep wrote stays a --deep line, so that no patch undoes another. A line the
// user wrote since is kept, the rules applied to it as it stands.
TextPatch patchText(const QByteArray &backup, const QByteArray &current, const TextRules &rules,
                    const QVector<QByteArray> &earlierRoots);

// Whether `current` is the backup itself, or exactly what a patch of it for the root or one of
// `earlierRoots` wrote (line endings aside): what an unpatch may replace without losing anything.
bool writtenByTool(const QByteArray &backup, const QByteArray &current, const TextRules &rules,
                   const QVector<QByteArray> &earlierRoots);

#endif
