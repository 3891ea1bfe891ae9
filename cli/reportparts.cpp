#include "cli/reportparts.h"

#include "app/reasontext.h"

#include <QCoreApplication>
#include <QJsonArray>

QString counted(int n, const char *singular, const char *plural)
{
    return Report::tr(n <= 1 ? singular : plural, nullptr, n);
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
                               : Report::tr("Ancienne racine : %1 (lue dans %2)")).arg(root.value, root.relativePath);
    }
    if (lines.isEmpty()) {
        lines << (old.recordsOwnRoot ? Report::tr("Ancienne racine : aucune, chaque préfixe inscrit nomme déjà le répertoire")
                                     : Report::tr("Ancienne racine : introuvable (aucun qt_prfxpath= dans qmake ni QtCore, "
                                                  "aucun prefix= ni QT_BUILD_TREE)"));
    }
    return lines;
}

void addInstallationLines(Report *report, const OldRoots &old)
{
    addOldRoots(&report->head, old);
    report->headLines << Report::tr("Installation : %1").arg(report->head.value(QStringLiteral("qtPath")).toString())
                      << oldRootLines(old);
}
