#include "patching/binarypatcher.h"

#include "patching/backuppatch.h"
#include "patching/pathslots.h"

#include <QDebug>
#include <QStringList>

FileOutcome patchBinaryFile(const QByteArray &rootDir, const QString &filePath, WriteMode mode)
{
    qDebug().noquote() << filePath;
    const auto rewriteAll = [&rootDir](const QByteArray &backup) {
        PatchedContent patched{backup, QString()};
        QStringList tooSmall;
        for (const PathSlotKey &slotKey : pathSlotKeys()) {
            if (rewriteSlot(patched.content, slotKey.key, rootDir + slotKey.suffix).tooSmall > 0)
                tooSmall.append(QString::fromLatin1(slotKey.key));
        }
        if (!tooSmall.isEmpty())
            patched.failure = Reason::slotsTooSmall(tooSmall);
        return patched;
    };
    return patchFromBackup(filePath, QString::fromLocal8Bit(rootDir), mode, BackupSize::MustMatchFile, rewriteAll);
}
