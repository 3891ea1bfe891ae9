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
    // The directories from `directory` up to the nearest one resolved before, or to the top.
    QStringList unknown;
    for (QString at = directory; !m_known.contains(at);) {
        unknown.append(at);
        const int slash = int(at.lastIndexOf(QLatin1Char('/')));
        if (slash <= 0 || !at.left(slash).contains(QLatin1Char('/')))
            break;
        at = at.left(slash);
    }
    // Resolved from the top down: below a directory resolved, one that is no link costs one look at its
    // own name rather than one per name on its path.
    for (auto it = unknown.crbegin(); it != unknown.crend(); ++it) {
        const QString &at = *it;
        const QString parent = at.left(int(at.lastIndexOf(QLatin1Char('/'))));
        const QFileInfo info(at);
        QString canonical;
        const QString canonicalParent = m_known.value(parent);
        if (!canonicalParent.isEmpty() && info.isDir() && !info.isSymLink())
            canonical = QDir::cleanPath(canonicalParent + QLatin1Char('/') + info.fileName());
        else
            canonical = info.canonicalFilePath();
        m_known.insert(at, canonical);
    }
    return m_known.value(directory);
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
