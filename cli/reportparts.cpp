#include "cli/reportparts.h"

#include "app/reasontext.h"

#include <QCoreApplication>
#include <QJsonArray>

QString counted(int n, const char *singular, const char *plural)
{
    return Report::tr(n <= 1 ? singular : plural, nullptr, n);
}

QString shownName(const QString &name)
{
    QString shown;
    shown.reserve(name.size());
    for (const QChar c : name) {
        if (c == QLatin1Char('\\'))
            shown += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            shown += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QJsonObject reportHeader(const QString &command, const QString &qtPath)
{
    return {{QStringLiteral("tool"), QCoreApplication::applicationName()},
            {QStringLiteral("version"), QCoreApplication::applicationVersion()},
            {QStringLiteral("command"), command},
            {QStringLiteral("qtPath"), qtPath}};
}

namespace {
QString kindKey(FileKind kind)
{
    return kind == FileKind::Binary ? QStringLiteral("binary") : QStringLiteral("text");
}

QJsonObject rootJson(const RecordedRoot &root)
{
    return {{QStringLiteral("value"), root.value}, {QStringLiteral("file"), root.relativePath},
            {QStringLiteral("earlier"), root.earlier}};
}
} // namespace

QJsonObject fileJson(const QString &file, const QString &path, FileKind kind, const QString &status, const Reason &reason,
                     const QString &text)
{
    QJsonObject json{{QStringLiteral("file"), file},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("kind"), kindKey(kind)},
                     {QStringLiteral("status"), status},
                     {QStringLiteral("reason"), text.isEmpty() ? reasonText(reason) : text},
                     {QStringLiteral("reasonCode"), reasonCodeKey(reason.code)}};
    if (reason.cause != Cause::None)
        json.insert(QStringLiteral("cause"), causeKey(reason.cause));
    // What the sentence names, for a script: both lengths of a prefix that does not fit, say.
    if (!reason.args.isEmpty())
        json.insert(QStringLiteral("reasonArgs"), QJsonArray::fromStringList(reason.args));
    if (reason.partlyWritten)
        json.insert(QStringLiteral("partlyWritten"), true);
    return json;
}

void addOldRoots(QJsonObject *head, const OldRoots &old)
{
    QJsonArray all;
    for (const RecordedRoot &root : old.roots)
        all.append(rootJson(root));
    head->insert(QStringLiteral("oldRoot"), old.roots.isEmpty() ? QJsonValue() : QJsonValue(rootJson(old.roots.first())));
    head->insert(QStringLiteral("oldRoots"), all);
}

QStringList oldRootLines(const OldRoots &old)
{
    QStringList lines;
    for (const RecordedRoot &root : old.roots) {
        lines << (root.earlier ? Report::tr("Emplacement précédent : %1 (lu dans %2)")
                               : Report::tr("Ancienne racine : %1 (lue dans %2)")).arg(root.value, shownName(root.relativePath));
    }
    if (lines.isEmpty()) {
        lines << (old.recordsOwnRoot ? Report::tr("Ancienne racine : aucune, chaque préfixe inscrit nomme déjà le répertoire")
                                     : Report::tr("Ancienne racine : introuvable (aucun qt_prfxpath= dans qmake ni QtCore, "
                                                  "aucun prefix= ni QT_BUILD_TREE)"));
    }
    return lines;
}

namespace {
// What Qt the installation holds, for Qt 5 and later, whose builds differ in what a patch may do.
void addIdentity(Report *report, const QtIdentity &identity)
{
    if (identity.major < 5)
        return;
    const BuildFacts &build = identity.build;
    QJsonObject qt{{QStringLiteral("major"), identity.major}};
    QString version = QString::number(identity.major);
    if (build.minor >= 0) {
        version += QLatin1Char('.') + QString::number(build.minor) + (build.patch >= 0 ? QLatin1Char('.') + QString::number(build.patch) : QString());
        qt.insert(QStringLiteral("version"), version);
    }
    QString relocatable = Report::tr("non dit");
    if (build.relocatable != BuildFacts::Relocatable::Unknown) {
        const bool yes = build.relocatable == BuildFacts::Relocatable::Yes;
        qt.insert(QStringLiteral("relocatable"), yes);
        relocatable = yes ? Report::tr("oui, elle trouve sa place seule") : Report::tr("non");
    }
    // Before 5.14 QtCore always reads its slots: there is nothing to say.
    if (identity.major == 5 && build.minor >= 0 && build.minor < 14)
        report->headLines << Report::tr("Qt %1").arg(version);
    else
        report->headLines << Report::tr("Qt %1 ; QtCore relocalisable : %2").arg(version, relocatable);
    if (identity.fixedPrefixLength >= 0) {
        qt.insert(QStringLiteral("prefixLength"), identity.fixedPrefixLength);
        report->headLines << Report::tr("Préfixe de QtCore lu sur exactement %1 octets : un nouveau chemin en compte au plus autant")
                                 .arg(identity.fixedPrefixLength);
    }
    QJsonArray device;
    for (const QByteArray &prefix : identity.devicePrefixes) {
        device.append(QString::fromLocal8Bit(prefix));
        report->headLines << Report::tr("Préfixe de l'appareil cible : %1 (gardé tel quel)").arg(QString::fromLocal8Bit(prefix));
    }
    if (!device.isEmpty())
        qt.insert(QStringLiteral("devicePrefixes"), device);
    if (!identity.hostQt.isEmpty()) {
        qt.insert(QStringLiteral("hostQt"), QJsonObject{{QStringLiteral("place"), identity.hostQt},
                                                        {QStringLiteral("there"), identity.hostQtThere}});
        report->headLines << (identity.hostQtThere ? Report::tr("Qt hôte de ce kit : %1").arg(identity.hostQt)
                                                   : Report::tr("Qt hôte de ce kit : %1, qui n'est plus là (--host-qt REPERTOIRE le désigne "
                                                                "là où il est)").arg(identity.hostQt));
    }
    report->head.insert(QStringLiteral("qt"), qt);
}
} // namespace

void addInstallationLines(Report *report, const OldRoots &old, const QtIdentity &identity)
{
    addOldRoots(&report->head, old);
    report->headLines << Report::tr("Installation : %1").arg(report->head.value(QStringLiteral("qtPath")).toString());
    addIdentity(report, identity);
    report->headLines << oldRootLines(old);
}
