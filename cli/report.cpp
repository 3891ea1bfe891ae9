#include "cli/report.h"

#include "app/reasontext.h"
#include "cli/cliargs.h"
#include "cli/reportparts.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
// A directory the front end refuses: its check and message, and the usage exit.
Report refusedReport(const QString &command, const QString &qtPath, const QString &check, const QString &message)
{
    Report report;
    report.head = reportHeader(command, qtPath);
    report.head.insert(QStringLiteral("error"), QJsonObject{{QStringLiteral("check"), check},
                                                            {QStringLiteral("message"), message}});
    report.message = Report::tr("%1 : %2").arg(qtPath, message);
    report.exitCode = ExitUsage;
    return report;
}

// The closing line of a patch or an unpatch: how it ended, and what it did to how many files.
QString commandMessage(bool patch, bool dryRun, int changed, int leftAlone, int failed)
{
    QString head;
    if (dryRun)
        head = patch ? Report::tr("Simulation du patch, rien n'a été écrit : ")
                     : Report::tr("Simulation de la restauration, rien n'a été écrit : ");
    else if (failed > 0)
        head = patch ? Report::tr("Patch terminé avec des échecs : ")
                     : Report::tr("Restauration terminée avec des échecs : ");
    else
        head = patch ? Report::tr("Patch terminé : ") : Report::tr("Restauration terminée : ");
    const QString changedWords = patch
        ? (dryRun ? counted(changed, QT_TRANSLATE_N_NOOP("Report", "%n fichier serait modifié"),
                                     QT_TRANSLATE_N_NOOP("Report", "%n fichiers seraient modifiés"))
                  : counted(changed, QT_TRANSLATE_N_NOOP("Report", "%n fichier modifié"),
                                     QT_TRANSLATE_N_NOOP("Report", "%n fichiers modifiés")))
        : (dryRun ? counted(changed, QT_TRANSLATE_N_NOOP("Report", "%n fichier serait restauré"),
                                     QT_TRANSLATE_N_NOOP("Report", "%n fichiers seraient restaurés"))
                  : counted(changed, QT_TRANSLATE_N_NOOP("Report", "%n fichier restauré"),
                                     QT_TRANSLATE_N_NOOP("Report", "%n fichiers restaurés")));
    const QString failures = failed == 0 ? Report::tr("aucun échec")
        : dryRun ? counted(failed, QT_TRANSLATE_N_NOOP("Report", "%n échouerait"),
                                   QT_TRANSLATE_N_NOOP("Report", "%n échoueraient"))
                 : counted(failed, QT_TRANSLATE_N_NOOP("Report", "%n échec"),
                                   QT_TRANSLATE_N_NOOP("Report", "%n échecs"));
    return head + changedWords + QStringLiteral(", ")
        + counted(leftAlone, QT_TRANSLATE_N_NOOP("Report", "%n laissé tel quel"),
                             QT_TRANSLATE_N_NOOP("Report", "%n laissés tels quels"))
        + QStringLiteral(", ") + failures + QLatin1Char('.');
}
} // namespace

ReportEntry commandEntry(Command command, WriteMode mode, const FileReport &report)
{
    const bool dryRun = mode == WriteMode::DryRun;
    const FileOutcome &outcome = report.outcome;
    QString what;
    if (outcome.status == OutcomeStatus::Failed) {
        what = (dryRun ? Report::tr("échouerait : %1") : Report::tr("échec : %1")).arg(reasonText(outcome.reason));
    } else {
        what = outcome.status == OutcomeStatus::LeftAlone ? Report::tr("laissé tel quel")
            : dryRun ? (command == Command::Patch ? Report::tr("serait modifié") : Report::tr("serait restauré"))
                     : (command == Command::Patch ? Report::tr("modifié") : Report::tr("restauré"));
        if (!outcome.reason.isNone())
            what += QStringLiteral(" (") + reasonText(outcome.reason) + QLatin1Char(')');
    }
    return {fileJson(report.relativePath, report.path, report.kind, outcomeStatusKey(outcome.status), outcome.reason),
            Report::tr("%1 : %2").arg(shownName(report.relativePath), what)};
}

Report commandReport(const CommandPlan &plan, WriteMode mode, const QVector<FileReport> &reports)
{
    const Command command = plan.context.command;
    const bool patch = command == Command::Patch;
    const bool dryRun = mode == WriteMode::DryRun;
    Report report;
    report.head = reportHeader(patch ? QStringLiteral("patch") : QStringLiteral("unpatch"), plan.context.qtPath);
    report.head.insert(QStringLiteral("dryRun"), dryRun);
    if (plan.context.deep) {
        report.head.insert(QStringLiteral("deep"), true);
        addOldRoots(&report.head, plan.oldRoots);
        QStringList note = oldRootLines(plan.oldRoots);
        if (patch && plan.oldRoots.roots.isEmpty())
            note << Report::tr("Fichiers de construction laissés tels quels : rien à réécrire.");
        report.note = note.join(QLatin1Char('\n'));
    }
    int changed = 0, leftAlone = 0, failed = 0;
    for (const FileReport &file : reports) {
        report.files.append(commandEntry(command, mode, file));
        changed += file.outcome.status == OutcomeStatus::Changed;
        leftAlone += file.outcome.status == OutcomeStatus::LeftAlone;
        failed += file.outcome.status == OutcomeStatus::Failed;
    }
    report.summary = {{QStringLiteral("total"), int(reports.size())}, {QStringLiteral("changed"), changed},
                      {QStringLiteral("leftAlone"), leftAlone}, {QStringLiteral("failed"), failed}};
    report.message = commandMessage(patch, dryRun, changed, leftAlone, failed);
    report.exitCode = failed > 0 ? ExitFailed : ExitSuccess;
    return report;
}

Report rejectedReport(const QString &command, const QString &qtPath, QtPathCheck check)
{
    static const struct {
        QtPathCheck check;
        const char *key;
    } keys[] = {{QtPathCheck::NoSuchDirectory, "no-such-directory"}, {QtPathCheck::NameNotSpelled, "name-not-encodable"},
                {QtPathCheck::NotAnInstallation, "not-an-installation"}, {QtPathCheck::TooLong, "too-long"},
                {QtPathCheck::NotAsciiOrSpace, "not-ascii-or-space"}, {QtPathCheck::UnsafeCharacter, "unsafe-character"}};
    QString key;
    for (const auto &entry : keys) {
        if (entry.check == check)
            key = QLatin1String(entry.key);
    }
    return refusedReport(command, qtPath, key, qtPathCheckMessage(check, qtPath));
}

Report usageReport(const QString &command, const QString &message)
{
    return refusedReport(command, QString(), QStringLiteral("usage"), message);
}

Report notQtReport(const QString &command, const QString &qtPath)
{
    return refusedReport(command, qtPath, QStringLiteral("not-qt"),
                         Report::tr("rien n'y désigne une installation de Qt 4, 5 ou 6 : aucun fichier n'y porte les emplacements "
                                    "de chemin (qt_prfxpath=) que qmake et QtCore portent, ni aucun des fichiers qui marquent Qt 6 (libQt6Core, lib/cmake/Qt6, bin/qmake6)"));
}

Report hostQtRefusedReport(const QString &command, const QString &qtPath, const QString &check, const QString &message)
{
    return refusedReport(command, qtPath, check, message);
}

Report runRefusedReport(const QString &command, const QString &qtPath, const Reason &reason)
{
    Report report;
    report.head = reportHeader(command, qtPath);
    QJsonObject error{{QStringLiteral("reasonCode"), reasonCodeKey(reason.code)},
                      {QStringLiteral("message"), reasonText(reason)}};
    if (reason.cause != Cause::None)
        error.insert(QStringLiteral("cause"), causeKey(reason.cause));
    report.head.insert(QStringLiteral("error"), error);
    report.message = Report::tr("%1 : %2").arg(qtPath, reasonText(reason));
    report.exitCode = ExitFailed;
    return report;
}

QByteArray reportJson(const Report &report)
{
    const auto entries = [](const QVector<ReportEntry> &list) {
        QJsonArray array;
        for (const ReportEntry &entry : list)
            array.append(entry.json);
        return array;
    };
    QJsonObject object = report.head;
    // A rejected directory or a refused run names its error only.
    if (!object.contains(QStringLiteral("error"))) {
        object.insert(QStringLiteral("files"), entries(report.files));
        if (!report.paths.isEmpty())
            object.insert(QStringLiteral("paths"), entries(report.paths));
        object.insert(QStringLiteral("summary"), report.summary);
        object.insert(QStringLiteral("message"), report.message);
        if (!report.note.isEmpty())
            object.insert(QStringLiteral("note"), report.note);
    }
    return QJsonDocument(object).toJson();
}

QString reportText(const Report &report, bool withFiles)
{
    QStringList lines = report.headLines;
    for (const QVector<ReportEntry> *entries : {&report.files, &report.paths}) {
        for (const ReportEntry &entry : *entries) {
            if (withFiles && !entry.text.isEmpty())
                lines << entry.text;
        }
    }
    if (!report.note.isEmpty())
        lines << report.note;
    return lines.join(QLatin1Char('\n')) + (lines.isEmpty() ? QString() : QStringLiteral("\n")) + report.message
        + QLatin1Char('\n');
}
