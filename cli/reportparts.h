#ifndef ZEL_REPORTPARTS_H
#define ZEL_REPORTPARTS_H

#include "cli/report.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The pieces the reports of every command are made of.

// A count in words: French, the source texts, gives zero and one the singular; a translation gives
// its own forms of either for `n`.
QString counted(int n, const char *singular, const char *plural);

// A file's name as a line of text shows it: a control character (a newline in a name) and the
// backslash are written as escapes, so that one file's line never reads as two.
QString shownName(const QString &name);

// The head every report starts with: the tool, its version, the command and the directory.
QJsonObject reportHeader(const QString &command, const QString &qtPath);

// A file's entry: where it is, its status, and why, as a stable code (and the cause, when there is
// one) beside the sentence in the user's language (`text`, else the reason's own).
QJsonObject fileJson(const QString &file, const QString &path, FileKind kind, const QString &status, const Reason &reason,
                     const QString &text = QString());

// "oldRoot", the main one or null, as before there were several; "oldRoots", every one.
void addOldRoots(QJsonObject *head, const OldRoots &old);

// The old roots as lines of text, or why there is none.
QStringList oldRootLines(const OldRoots &old);

// The installation and its old roots, in the head and as its first lines.
void addInstallationLines(Report *report, const OldRoots &old, const QtIdentity &identity);

#endif
