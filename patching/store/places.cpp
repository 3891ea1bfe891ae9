#include "patching/store/places.h"

#include <QDir>
#include <QFileInfo>

bool isBelow(const QString &canonicalPath, const QString &canonicalRoot)
{
    const QString prefix = canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot
                                                                     : canonicalRoot + QLatin1Char('/');
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    return canonicalPath.compare(canonicalRoot, cs) == 0 || canonicalPath.startsWith(prefix, cs);
}

bool resolveInsideRoot(const QString &path, const QString &root, QString *target)
{
    const QFileInfo info(path);
    const QString directory = QDir::cleanPath(info.absolutePath());
    const QString canonicalDirectory = QFileInfo(directory).canonicalFilePath();
    *target = path;
    // A link anywhere on the way ("lib" may itself be a link to another installation)
    // must lead into the installation, as seen with every link resolved, so that an
    // installation reached through a linked directory still works. The directory
    // matters too: it receives the backup and the temporary file of a replace.
    if (canonicalDirectory == directory && !info.isSymLink())
        return true;
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonicalDirectory.isEmpty() || !isBelow(canonicalDirectory, canonicalRoot))
        return false;
    if (info.isSymLink())
        *target = info.canonicalFilePath(); // empty for a link leading nowhere
    return !target->isEmpty() && isBelow(QFileInfo(*target).canonicalFilePath(), canonicalRoot);
}

bool existsBelow(const QByteArray &root, const QByteArray &relative)
{
    return QFileInfo::exists(QString::fromLocal8Bit(root) + QLatin1Char('/') + QString::fromLocal8Bit(relative));
}
