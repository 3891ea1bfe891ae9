#include "patching/qt/hostqt.h"

#include "patching/formats/rootrule.h"
#include "patching/formats/wholepathrule.h"
#include "patching/qt/generation.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

bool isCrossKit(const QtGeneration &generation, const QString &qtPath)
{
    return !generation.hostConf.isEmpty() && QFileInfo(qtPath + QLatin1Char('/') + generation.hostConf).isFile();
}

QVector<QByteArray> recordedHostPrefixes(const QtGeneration &generation, const QString &relativePath, const QByteArray &bytes)
{
    QVector<QByteArray> prefixes;
    if (!generation.hostWrappers.contains(relativePath) && !generation.hostCMakeFiles.contains(relativePath))
        return prefixes;
    const auto add = [&prefixes](const QByteArray &prefix) {
        if (isWritablePlace(prefix) && !prefixes.contains(prefix))
            prefixes.append(prefix);
    };
    if (generation.hostCMakeFiles.contains(relativePath)) {
        // set(__qt_platform_initial_qt_host_path "/home/qt/work/install"), and qt.toolchain.cmake's alike.
        static const QRegularExpression initial(QStringLiteral("_initial_qt_host_path\\s+\"([^\"]*)\""));
        auto matches = initial.globalMatch(QString::fromLocal8Bit(bytes));
        while (matches.hasNext())
            add(matches.next().captured(1).toLocal8Bit());
        return prefixes;
    }
    // A wrapper runs <host>/bin/<tool>; a .bat file may spell it with backslashes.
    static const QRegularExpression tool(QStringLiteral("^(.*)[/\\\\]bin[/\\\\](qmake|qtpaths)6?(\\.exe)?$"));
    for (const QByteArray &path : absolutePathsIn(bytes, 64)) {
        const QRegularExpressionMatch match = tool.match(QString::fromLocal8Bit(path));
        if (match.hasMatch())
            add(match.captured(1).toLocal8Bit());
    }
    return prefixes;
}

bool holdsHostTools(const QString &dir)
{
    // A kit's own wrappers run another Qt's tools: a kit is no host.
    if (QFileInfo::exists(dir + QStringLiteral("/bin/target_qt.conf")))
        return false;
    for (const char *tool : {"/bin/qmake", "/bin/qmake6", "/bin/qtpaths", "/bin/qtpaths6", "/bin/qmake.exe", "/bin/qtpaths.exe",
                             "/libexec/moc", "/bin/moc.exe"}) {
        if (QFileInfo(dir + QLatin1String(tool)).isFile())
            return true;
    }
    return false;
}
