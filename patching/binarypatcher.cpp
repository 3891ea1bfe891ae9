#include "patching/binarypatcher.h"

#include "patching/backuppatch.h"
#include "patching/pathslots.h"

#include <QDebug>
#include <QStringList>

FileOutcome patchBinaryFile(const QByteArray &rootDir, const QString &filePath, WriteMode mode)
{
    qDebug().noquote() << filePath;
    const auto rewriteAll = [&rootDir](QByteArray backup) {
        PatchedContent patched{std::move(backup), QString()};
        QVector<QPair<QByteArray, QByteArray>> values;
        for (const PathSlotKey &slotKey : pathSlotKeys())
            values.append(qMakePair(slotKey.key, rootDir + slotKey.suffix));
        const QVector<SlotRewrite> results = rewriteSlots(patched.content, values);
        QStringList tooSmall;
        for (int k = 0; k < values.size(); ++k) {
            if (results.at(k).tooSmall > 0)
                tooSmall.append(QString::fromLatin1(values.at(k).first));
        }
        if (!tooSmall.isEmpty())
            patched.failure = Reason::slotsTooSmall(tooSmall);
        return patched;
    };
    return patchFromBackup(filePath, QString::fromLocal8Bit(rootDir), mode, BackupSize::MustMatchFile, rewriteAll);
}
