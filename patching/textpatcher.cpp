#include "patching/textpatcher.h"

// Placeholder until the text worker lands.
FileOutcome patchTextFile(const QString &, const QString &, WriteMode)
{
    return FileOutcome::failed(QStringLiteral("non implémenté"));
}
QByteArray rewriteConfigLine(const QByteArray &line, const QByteArray &) { return line; }
QVector<ConfigAssignment> findConfigAssignments(const QByteArray &) { return {}; }
