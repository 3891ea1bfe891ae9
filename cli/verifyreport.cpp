#include "cli/report.h"

#include "app/reasontext.h"
#include "cli/cliargs.h"
#include "cli/reportparts.h"

namespace {
// How the install paths were learned: qmake's answers, or the binaries' slots and why.
void addVerifyMethod(Report *report, const Verification &verification)
{
    const bool ran = verification.queried || !verification.queryFailure.isNone();
    report->head.insert(QStringLiteral("method"), ran ? QStringLiteral("qmake-query") : QStringLiteral("slots"));
    report->head.insert(QStringLiteral("methodReason"), reasonText(verification.notQueriedReason));
    report->head.insert(QStringLiteral("methodReasonCode"), reasonCodeKey(verification.notQueriedReason.code));
    if (!verification.queryFailure.isNone()) {
        report->head.insert(QStringLiteral("queryFailure"), reasonText(verification.queryFailure));
        report->head.insert(QStringLiteral("queryFailureCode"), causeKey(verification.queryFailure.cause));
        report->headLines << reasonText(verification.queryFailure);
    } else {
        report->headLines << (verification.queried
                                  ? Report::tr("Chemins d'installation : réponses de %1").arg(verification.paths.first().source)
                                  : Report::tr("Chemins d'installation : lus dans les emplacements des binaires (%1)")
                                        .arg(reasonText(verification.notQueriedReason)));
    }
}

// A checked file's entry; its text line is empty when the file is relocated.
ReportEntry checkedFileEntry(const CheckedFile &file)
{
    const QString status = file.relocated ? QStringLiteral("relocated")
        : file.unreadable ? QStringLiteral("unreadable") : QStringLiteral("stale");
    QJsonObject json = fileJson(file.relativePath, file.path, file.kind, status, file.reason);
    if (!file.oldRootNamed.isEmpty()) {
        json.insert(QStringLiteral("oldRoot"), file.oldRootNamed);
        json.insert(QStringLiteral("inSearchPath"), file.inSearchPath);
    }
    return {json, file.relocated ? QString() : Report::tr("%1 : %2").arg(shownName(file.relativePath), reasonText(file.reason))};
}

// An install path's entry; its text line is empty when the path names the directory.
ReportEntry checkedPathEntry(const CheckedPath &path)
{
    return {{{QStringLiteral("name"), path.name},
             {QStringLiteral("source"), path.source},
             {QStringLiteral("value"), path.value},
             {QStringLiteral("expected"), path.expected},
             {QStringLiteral("status"), path.ok ? QStringLiteral("relocated") : QStringLiteral("stale")}},
            path.ok ? QString() : Report::tr("%1 (%2) : %3 au lieu de %4").arg(path.name, path.source, path.value, path.expected)};
}

QString verifyMessage(const Verification &verification, bool relocated, int staleFiles, int stalePaths)
{
    if (relocated)
        return Report::tr("Vérification : l'installation est relocalisée dans %1.").arg(verification.qtPath);
    return Report::tr("Vérification : l'installation n'est pas relocalisée dans %1 : ").arg(verification.qtPath)
        + (verification.queryFailure.isNone() ? QString() : Report::tr("qmake en échec, "))
        + counted(staleFiles, QT_TRANSLATE_N_NOOP("Report", "%n fichier à mettre à jour"),
                              QT_TRANSLATE_N_NOOP("Report", "%n fichiers à mettre à jour"))
        + QStringLiteral(", ")
        + counted(stalePaths, QT_TRANSLATE_N_NOOP("Report", "%n chemin ne nomme pas le répertoire"),
                              QT_TRANSLATE_N_NOOP("Report", "%n chemins ne nomment pas le répertoire"))
        + QLatin1Char('.');
}
} // namespace

Report verifyReport(const Verification &verification)
{
    Report report;
    report.head = reportHeader(QStringLiteral("verify"), verification.qtPath);
    addInstallationLines(&report, verification.oldRoots, verification.identity);
    addVerifyMethod(&report, verification);
    int staleFiles = 0, stalePaths = 0;
    for (const CheckedFile &file : verification.files) {
        staleFiles += file.relocated ? 0 : 1;
        report.files.append(checkedFileEntry(file));
    }
    for (const CheckedPath &path : verification.paths) {
        stalePaths += path.ok ? 0 : 1;
        report.paths.append(checkedPathEntry(path));
    }
    report.summary = {{QStringLiteral("files"), int(verification.files.size())},
                      {QStringLiteral("staleFiles"), staleFiles},
                      {QStringLiteral("paths"), int(verification.paths.size())},
                      {QStringLiteral("stalePaths"), stalePaths}};
    const bool relocated = verification.relocated();
    report.message = verifyMessage(verification, relocated, staleFiles, stalePaths);
    report.head.insert(QStringLiteral("relocated"), relocated);
    report.exitCode = relocated ? ExitSuccess : ExitFailed;
    return report;
}
