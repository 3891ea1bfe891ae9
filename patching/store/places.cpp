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

QString CanonicalDirectories::of(const QString &directory)
{
    const auto known = m_known.constFind(directory);
    if (known != m_known.constEnd())
        return *known;
    // Below a directory already resolved, a directory that is no link costs one look at its own name
    // rather than one per name on its path.
    const int slash = int(directory.lastIndexOf(QLatin1Char('/')));
    const QString parent = slash > 0 ? directory.left(slash) : QString();
    const QFileInfo info(directory);
    QString canonical;
    if (parent.contains(QLatin1Char('/')) && info.isDir() && !info.isSymLink()) {
        const QString canonicalParent = of(parent);
        if (!canonicalParent.isEmpty())
            canonical = QDir::cleanPath(canonicalParent + QLatin1Char('/') + info.fileName());
    }
    if (canonical.isEmpty())
        canonical = info.canonicalFilePath();
    m_known.insert(directory, canonical);
    return canonical;
}

bool resolveInsideRoot(const QString &path, const QString &canonicalRoot, QString *target, QString *canonicalTarget,
                       CanonicalDirectories *directories)
{
    const QFileInfo info(path);
    const QString directory = QDir::cleanPath(info.absolutePath());
    const QString canonicalDirectory = directories->of(directory);
    *target = path;
    *canonicalTarget = canonicalDirectory.isEmpty() ? QString() : QDir(canonicalDirectory).filePath(info.fileName());
    // A link anywhere on the way ("lib" may itself be a link to another installation)
    // must lead into the installation, as seen with every link resolved, so that an
    // installation reached through a linked directory still works. The directory
    // matters too: it receives the backup and the temporary file of a replace.
    const bool link = info.isSymLink();
    if (canonicalDirectory == directory && !link)
        return true;
    if (canonicalRoot.isEmpty() || canonicalDirectory.isEmpty() || !isBelow(canonicalDirectory, canonicalRoot))
        return false;
    if (link)
        *target = *canonicalTarget = info.canonicalFilePath(); // empty for a link leading nowhere
    return !target->isEmpty() && isBelow(*canonicalTarget, canonicalRoot);
}

bool existsBelow(const QByteArray &root, const QByteArray &relative)
{
    return QFileInfo::exists(QString::fromLocal8Bit(root) + QLatin1Char('/') + QString::fromLocal8Bit(relative));
}
