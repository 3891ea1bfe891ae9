#include "patching/binarypatcher.h"

// Placeholder until the binary worker lands.
FileOutcome patchBinaryFile(const QByteArray &, const QString &, WriteMode)
{
    return FileOutcome::failed(QStringLiteral("non implémenté"));
}
