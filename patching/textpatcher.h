#ifndef ZEL_TEXTPATCHER_H
#define ZEL_TEXTPATCHER_H

#include "patching/fileoutcome.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

// Rewrites the QMAKESPEC, QMAKESPEC_ORIGINAL, QT_BUILD_TREE and QT_SOURCE_TREE
// assignments of one qmake configuration file so that they name `root`,
// computing the new content from the file's backup, made first if missing.
FileOutcome patchTextFile(const QString &root, const QString &filePath,
                          WriteMode mode = WriteMode::Apply);

// The rule for one line (without its line ending): the rewritten line, or the
// line itself when it is not a recognised assignment. `root` is 8-bit text.
QByteArray rewriteConfigLine(const QByteArray &line, const QByteArray &root);

// The rule for a whole file: every line rewritten, the byte order mark kept, lines joined with LF.
// Lines that are no recognised assignment go through `otherLines` when it is set.
QByteArray rewriteConfigText(const QByteArray &content, const QByteArray &root,
                             const std::function<QByteArray(const QByteArray &line)> &otherLines = {});

// A recognised assignment of a configuration file, for reports.
struct ConfigAssignment {
    int lineNumber = 0; // from 1
    QByteArray key;     // trimmed key part
    QByteArray value;   // value part as written
};

// The lines of `content` that the rewrite rules would change.
QVector<ConfigAssignment> findConfigAssignments(const QByteArray &content);

#endif
