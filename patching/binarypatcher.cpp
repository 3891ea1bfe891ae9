#include "patching/binarypatcher.h"

#include "patching/backuppatch.h"
#include "patching/elfpatcher.h"
#include "patching/elfrunpath.h"
#include "patching/pathslots.h"
#include "patching/wholepathrule.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

FileOutcome patchBinaryFile(const QByteArray &rootDir, const QString &filePath, WriteMode mode,
                            const QVector<QByteArray> &searchPathRoots)
{
    qDebug().noquote() << filePath;
    const auto rewriteAll = [&](QByteArray backup) {
        PatchedContent patched{std::move(backup), QString(), QString()};
        QVector<QPair<QByteArray, QByteArray>> values;
        for (const PathSlotKey &slotKey : pathSlotKeys())
            values.append(qMakePair(slotKey.key, rootDir + slotKey.suffix));
        const QVector<SlotRewrite> results = rewriteSlots(patched.content, values);
        QStringList tooSmall;
        int found = 0;
        for (int k = 0; k < values.size(); ++k) {
            if (results.at(k).tooSmall > 0)
                tooSmall.append(QString::fromLatin1(values.at(k).first));
            found += results.at(k).rewritten + results.at(k).tooSmall;
        }
        QStringList failures;
        if (!tooSmall.isEmpty())
            failures << Reason::slotsTooSmall(tooSmall);
        // In the same patch: each is computed from the backup, so one after the other would undo the first.
        if (!searchPathRoots.isEmpty() && isElf(patched.content)) {
            const QByteArray directory = originDirectory(filePath, QString::fromLocal8Bit(rootDir));
            const auto placeExists = [&rootDir](const QByteArray &place) { return existsBelow(rootDir, place); };
            const RunPathRewrite searchPaths = rewriteRunPaths(patched.content, searchPathRoots, rootDir, directory, placeExists);
            failures << searchPaths.failure;
            found += searchPaths.rewritten;
        }
        // A file listed by its name alone (libQtCore.la, say) may hold no path slot: it is not "up to date".
        if (found == 0)
            patched.holdsNothing = Reason::noPathSlot();
        failures.removeAll(QString());
        patched.failure = failures.join(QStringLiteral(" ; "));
        return patched;
    };
    return patchFromBackup(filePath, QString::fromLocal8Bit(rootDir), mode, BackupSize::RefuseOtherBuild, rewriteAll);
}
