#include "app/qtpathcheck.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
const int maxQtPathLength = 200;
}

QtPathCheck checkQtPath(const QString &path)
{
    if (!QFileInfo::exists(path + QStringLiteral("/bin")) || !QFileInfo::exists(path + QStringLiteral("/lib")))
        return QtPathCheck::NotAnInstallation;
    if (path.size() > maxQtPathLength)
        return QtPathCheck::TooLong;
    // The path slots of the binaries hold 8-bit text; a blank breaks qmake's own parsing, and
    // a control character (a line break) would add statements of its own to .qmake.cache.
    for (const QChar c : path) {
        if (c.unicode() > 0xFF || c.unicode() <= 0x20 || c.unicode() == 0x7F)
            return QtPathCheck::NotAsciiOrSpace;
    }
    return QtPathCheck::Accepted;
}

QString qtPathCheckMessage(QtPathCheck check)
{
    switch (check) {
    case QtPathCheck::Accepted:
        break;
    case QtPathCheck::NotAnInstallation:
        return QCoreApplication::translate("QtPathCheck", "le repertoire ne contient pas de version de Qt.");
    case QtPathCheck::TooLong:
        return QCoreApplication::translate("QtPathCheck", "Le chemin du repertoire ne doit pas dépasser 200 caractères.");
    case QtPathCheck::NotAsciiOrSpace:
        return QCoreApplication::translate("QtPathCheck", "le repertoire qt doit être exclusivement compos?de caractère ASCII et sans espace.");
    }
    return QString();
}

QString qtPathCheckTitle()
{
    return QCoreApplication::translate("QtPathCheck", "repertoire incorect");
}
