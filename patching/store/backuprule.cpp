#include "patching/store/backuprule.h"

#include <QFileInfo>

namespace {
const QLatin1String backupSuffix(".back");
// The ending of every temporary file the tool makes, so that a later run can tell its own leftovers.
const QLatin1String temporarySuffix(".zeltmp");
// Hidden on POSIX, and a name no Qt installation holds.
const QLatin1String runLockName(".zel-qt-patcher.lock");
// What QTemporaryFile puts in the place of its X's.
constexpr int randomPartSize = 6;
} // namespace

QString backupNameOf(const QString &path)
{
    return path + backupSuffix;
}

QString backupPathFor(const QString &path, const QString &target)
{
    const QString beside = backupNameOf(path);
    const QFileInfo besideInfo(beside);
    return besideInfo.exists() || besideInfo.isSymLink() ? beside : backupNameOf(target);
}

bool namesBackup(const QString &name)
{
    return name.contains(backupSuffix, Qt::CaseSensitive);
}

FileOutcome backGuardRefusal(const QString &relativePath)
{
    const int slash = relativePath.lastIndexOf(QLatin1Char('/'));
    if (namesBackup(relativePath.mid(slash + 1)))
        return FileOutcome::leftAlone(Reason(ReasonCode::PathHoldsBack));
    if (slash >= 0 && namesBackup(relativePath.left(slash)))
        return FileOutcome::failed(Reason(ReasonCode::DirectoryHoldsBack));
    return FileOutcome::leftAlone(Reason());
}

QString temporaryTemplate(const QString &path)
{
    return path + QLatin1Char('.') + QString(randomPartSize, QLatin1Char('X')) + temporarySuffix;
}

bool isOwnLeftover(const QString &entryName, const QString &fileName)
{
    if (!entryName.startsWith(fileName) || !entryName.endsWith(temporarySuffix))
        return false;
    QString middle = entryName.mid(fileName.size(), entryName.size() - fileName.size() - temporarySuffix.size());
    if (middle.startsWith(backupSuffix))
        middle.remove(0, backupSuffix.size());
    return middle.size() == randomPartSize + 1 && middle.at(0) == QLatin1Char('.');
}

bool isTemporaryName(const QString &name)
{
    return name.endsWith(temporarySuffix);
}

QString runLockPathIn(const QString &qtPath)
{
    return qtPath + QLatin1Char('/') + runLockName;
}

bool isToolsOwnName(const QString &name)
{
    return namesBackup(name) || isTemporaryName(name) || name == runLockName;
}
