#include "restoring/restorebackup.h"

// Placeholder until the restore worker lands.
FileOutcome restoreBackup(const QString &, const QString &, WriteMode)
{
    return FileOutcome::failed(QStringLiteral("non implémenté"));
}
