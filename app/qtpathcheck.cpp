#include "app/qtpathcheck.h"

#include "patching/base/limits.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
// What a root must not hold. qmake reads '#' as a comment and stops at an unmatched quote; its
// Makefiles leave paths unquoted, so make expands '$' and splits at ':', and the shell runs what
// follows ';', '&', '|', a backquote or a parenthesis, reads a backslash as an escape and expands
// '*', '?' and '['; the rules that find a root again after a move cut paths at '=' and ','. On
// Windows '\' is a separator, ':' follows the drive letter, and cmd reads '^' and '%'.
QChar unsafeCharacter(const QString &path)
{
#ifdef Q_OS_WIN
    const QString unsafe = QStringLiteral("#$\"'`;&|<>()=,*?^%");
#else
    const QString unsafe = QStringLiteral("#$\"'`;&|<>()=,*?[]\\:");
#endif
    for (int i = 0; i < path.size(); ++i) {
        if (unsafe.contains(path.at(i)))
            return path.at(i);
#ifdef Q_OS_WIN
        if (path.at(i) == QLatin1Char(':') && i != 1)
            return path.at(i);
#endif
    }
    return QChar();
}
} // namespace

QtPathCheck checkQtPath(const QString &path)
{
    // A name read from the command line in an encoding that cannot spell one of its bytes holds a
    // replacement character, and names nothing.
    if (!QFileInfo::exists(path))
        return path.contains(QChar::ReplacementCharacter) ? QtPathCheck::NameNotSpelled : QtPathCheck::NoSuchDirectory;
    if (!QFileInfo::exists(path + QStringLiteral("/bin")) || !QFileInfo::exists(path + QStringLiteral("/lib")))
        return QtPathCheck::NotAnInstallation;
    if (path.size() > Limits::maxQtPathLength)
        return QtPathCheck::TooLong;
    // The path slots of the binaries hold 8-bit text; a blank breaks qmake's own parsing, and
    // a control character (a line break) would add statements of its own to .qmake.cache.
    for (const QChar c : path) {
        if (c.unicode() > 0xFF || c.unicode() <= 0x20 || c.unicode() == 0x7F)
            return QtPathCheck::NotAsciiOrSpace;
    }
    if (!unsafeCharacter(path).isNull())
        return QtPathCheck::UnsafeCharacter;
    return QtPathCheck::Accepted;
}

QString qtPathCheckMessage(QtPathCheck check, const QString &path)
{
    switch (check) {
    case QtPathCheck::Accepted:
        break;
    case QtPathCheck::NoSuchDirectory:
        return QCoreApplication::translate("QtPathCheck", "ce répertoire n'existe pas.");
    case QtPathCheck::NameNotSpelled:
        return QCoreApplication::translate("QtPathCheck", "le nom du répertoire contient un octet que l'encodage du "
                                                          "système (la locale) ne sait pas écrire : le renommer en "
                                                          "caractères qu'elle sait écrire.");
    case QtPathCheck::NotAnInstallation:
        return QCoreApplication::translate("QtPathCheck", "le repertoire ne contient pas de version de Qt.");
    case QtPathCheck::TooLong:
        return QCoreApplication::translate("QtPathCheck", "Le chemin du repertoire ne doit pas dépasser %1 caractères.")
            .arg(Limits::maxQtPathLength);
    case QtPathCheck::NotAsciiOrSpace:
        return QCoreApplication::translate("QtPathCheck", "le repertoire qt doit être exclusivement compos?de caractère ASCII et sans espace.");
    case QtPathCheck::UnsafeCharacter:
        return QCoreApplication::translate("QtPathCheck", "le chemin du repertoire ne doit pas contenir « %1 », que qmake, make "
                                                          "ou le shell liraient autrement.")
            .arg(unsafeCharacter(path));
    }
    return QString();
}

QString qtPathCheckTitle()
{
    return QCoreApplication::translate("QtPathCheck", "repertoire incorect");
}

QString resolvedQtPath(const QString &typed)
{
    // QFileInfo would take ".." away as text, before any link is followed.
    const QString native = QDir::fromNativeSeparators(typed);
    const QString absolute = QDir::isAbsolutePath(native) ? native : QDir::currentPath() + QLatin1Char('/') + native;
    const QStringList parts = absolute.split(QLatin1Char('/'));
    const int lastUp = parts.lastIndexOf(QStringLiteral(".."));
    if (lastUp < 0)
        return QDir::cleanPath(absolute);
    // The system goes up from where a link leads, not from the link's own place.
    const QString throughLinks = QFileInfo(parts.mid(0, lastUp + 1).join(QLatin1Char('/'))).canonicalFilePath();
    if (throughLinks.isEmpty())
        return QString();
    return QDir::cleanPath(throughLinks + QLatin1Char('/') + parts.mid(lastUp + 1).join(QLatin1Char('/')));
}
