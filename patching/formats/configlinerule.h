#ifndef ZEL_CONFIGLINERULE_H
#define ZEL_CONFIGLINERULE_H

#include <QByteArray>
#include <QVector>

#include <functional>

// The line rule of the two qmake configuration files: their QMAKESPEC, QMAKESPEC_ORIGINAL,
// QT_BUILD_TREE and QT_SOURCE_TREE assignments are rewritten to name the root.

// The rule for one line (without its line ending): the rewritten line, or the line itself when it is
// not a recognised assignment. `root` is 8-bit text.
QByteArray rewriteConfigLine(const QByteArray &line, const QByteArray &root);

// Whether the line rule rewrites `line` (without its line ending).
bool isConfigAssignment(const QByteArray &line);

// A recognised assignment of a configuration file, for reports and for the roots it records.
struct ConfigAssignment {
    int lineNumber = 0; // from 1
    QByteArray key;     // trimmed key part
    QByteArray value;   // value part as written
};

// Calls `onAssignment` for each line of `content` that the line rule would change, in order.
void forEachConfigAssignment(const QByteArray &content, const std::function<void(const ConfigAssignment &)> &onAssignment);

// The lines of `content` that the line rule would change.
QVector<ConfigAssignment> findConfigAssignments(const QByteArray &content);

// The root `assignment` names as the line rule writes it: the whole value, or a QMAKESPEC's value
// before its last "/mkspecs".
QByteArray assignedRoot(const ConfigAssignment &assignment);

// The value of the first `key = value` line of `content` (a qt.conf, a .pri file), trimmed; empty
// when there is none.
QByteArray assignmentValue(const QByteArray &content, const QByteArray &key);

// A path as configure writes it in .qmake.cache ("\$\$quote(/path)"), or quoted, without its dressing.
QByteArray unquotedPath(QByteArray value);

#endif
