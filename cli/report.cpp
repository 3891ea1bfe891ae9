#include "cli/report.h"

#include "app/reasontext.h"
#include "cli/cliargs.h"
#include "patching/base/limits.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
// French counts, the source texts: zero and one take the singular. A translation gives its own
// forms of either for `n`.
QString counted(int n, const char *singular, const char *plural)
{
    return Report::tr(n <= 1 ? singular : plural, nullptr, n);
}

QJsonObject header(const QString &command, const QString &qtPath)
{
    return {{QStringLiteral("tool"), QCoreApplication::applicationName()},
            {QStringLiteral("version"), QCoreApplication::applicationVersion()},
            {QStringLiteral("command"), command},
            {QStringLiteral("qtPath"), qtPath}};
}

QString kindKey(FileKind kind)
{
    return kind == FileKind::Binary ? QStringLiteral("binary") : QStringLiteral("text");
}

// A file's entry: where it is, its status, and why, as a stable code (and the cause, when there is
// one) beside the sentence in the user's language.
QJsonObject fileJson(const QString &file, const QString &path, FileKind kind, const QString &status, const Reason &reason,
                     const QString &text = QString())
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

QJsonObject rootJson(const RecordedRoot &root)
{
    return {{QStringLiteral("value"), root.value}, {QStringLiteral("file"), root.relativePath},
            {QStringLiteral("earlier"), root.earlier}};
}

// "oldRoot", the main one or null, as before there were several; "oldRoots", every one.
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

// A directory the front end refuses: its check and message, and the usage exit.
Report refusedReport(const QString &command, const QString &qtPath, const QString &check, const QString &message)
{
    Report report;
    report.head = header(command, qtPath);
    report.head.insert(QStringLiteral("error"), QJsonObject{{QStringLiteral("check"), check},
                                                            {QStringLiteral("message"), message}});
    report.message = Report::tr("%1 : %2").arg(qtPath, message);
    report.exitCode = ExitUsage;
    return report;
}

// Why verify says a file is not relocated: a stable name for scripts, empty where the file's reason
// code says it, and the sentence.
struct StaleVerdict {
    QString code;
    QString text;
};

StaleVerdict staleVerdict(const CheckedFile &file)
{
    if (file.relocated)
        return {};
    if (!file.problem.isNone())
        return {QString(), reasonText(file.problem)};
    if (file.inSearchPath)
        return {QStringLiteral("search-path-names-old-root"), Report::tr("RUNPATH ou RPATH nomme encore l'ancienne racine %1").arg(file.oldRootNamed)};
    if (!file.oldRootNamed.isEmpty())
        return {QStringLiteral("names-old-root"), Report::tr("nomme encore l'ancienne racine %1").arg(file.oldRootNamed)};
    if (file.staleSlots)
        return {QStringLiteral("stale-slots"), Report::tr("emplacements de chemin Qt qui ne nomment pas le répertoire")};
    return {QStringLiteral("would-change"), Report::tr("un patch --deep le changerait encore : relancer patch --deep")};
}

void addInstallationLines(Report *report, const OldRoots &old)
{
    addOldRoots(&report->head, old);
    report->headLines << Report::tr("Installation : %1").arg(report->head.value(QStringLiteral("qtPath")).toString())
                      << oldRootLines(old);
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
            Report::tr("%1 : %2").arg(report.relativePath, what)};
}

Report commandReport(const CommandPlan &plan, WriteMode mode, const QVector<FileReport> &reports)
{
    const Command command = plan.context.command;
    const bool patch = command == Command::Patch;
    const bool dryRun = mode == WriteMode::DryRun;
    Report report;
    report.head = header(patch ? QStringLiteral("patch") : QStringLiteral("unpatch"), plan.context.qtPath);
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
    report.message = head + changedWords + QStringLiteral(", ")
        + counted(leftAlone, QT_TRANSLATE_N_NOOP("Report", "%n laissé tel quel"),
                             QT_TRANSLATE_N_NOOP("Report", "%n laissés tels quels"))
        + QStringLiteral(", ") + failures + QLatin1Char('.');
    report.exitCode = failed > 0 ? ExitFailed : ExitSuccess;
    return report;
}

Report inspectReport(const Inspection &inspection)
{
    Report report;
    report.head = header(QStringLiteral("inspect"), inspection.qtPath);
    addInstallationLines(&report, inspection.oldRoots);
    int present = 0, backups = 0, namingRoot = 0, unreadable = 0;
    for (const InspectedFile &file : inspection.files) {
        QString status = QStringLiteral("stale");
        Reason reason;
        QString text = Report::tr("ne nomme pas le répertoire");
        if (file.type == EntryType::Missing) {
            status = QStringLiteral("missing");
            reason = Reason(ReasonCode::NoSuchFile);
        } else if (file.type != EntryType::File) {
            status = QStringLiteral("not-a-file");
            reason = file.type == EntryType::Directory ? Reason(ReasonCode::IsDirectory)
                                                       : Reason(ReasonCode::FileNotRead, Cause::NotRegularFile);
        } else if (!file.error.isNone()) {
            status = QStringLiteral("unreadable");
            reason = file.error;
        } else if (file.paths.isEmpty()) {
            status = QStringLiteral("no-path");
            text = Report::tr("aucun chemin reconnu");
        } else if (file.stale == 0) {
            status = QStringLiteral("names-root");
            text = Report::tr("nomme déjà le répertoire");
        } else if (file.stale < file.judged) {
            // Some slots were patched and others not (too small, or edited by hand).
            status = QStringLiteral("partly-stale");
            text = Report::tr("ne nomme le répertoire qu'en partie");
        }
        if (!reason.isNone())
            text = reasonText(reason);
        present += file.type != EntryType::Missing;
        backups += file.hasBackup;
        namingRoot += status == QLatin1String("names-root");
        unreadable += status == QLatin1String("unreadable");
        ReportEntry entry{fileJson(file.relativePath, file.path, file.kind, status, reason, text),
                          Report::tr("%1 : %2").arg(file.relativePath, text)
                              + (file.hasBackup ? Report::tr(", sauvegarde présente")
                                                : Report::tr(", pas de sauvegarde"))};
        QJsonArray paths;
        for (const QByteArray &path : file.paths) {
            paths.append(QString::fromLocal8Bit(path));
            entry.text += QStringLiteral("\n  ") + QString::fromLocal8Bit(path);
        }
        if (file.cut) {
            entry.text += QStringLiteral("\n  ") + Report::tr("… d'autres chemins ne sont pas montrés (%1 au plus par fichier)").arg(Limits::maxPathsJudged);
            entry.json.insert(QStringLiteral("pathsCut"), true);
        }
        entry.json.insert(QStringLiteral("backup"), file.hasBackup);
        entry.json.insert(QStringLiteral("paths"), paths);
        report.files.append(entry);
    }
    const int total = int(inspection.files.size());
    report.summary = {{QStringLiteral("total"), total},           {QStringLiteral("present"), present},
                      {QStringLiteral("backups"), backups},       {QStringLiteral("namingRoot"), namingRoot},
                      {QStringLiteral("unreadable"), unreadable}};
    report.message = Report::tr("Inspection : ")
        + counted(total, QT_TRANSLATE_N_NOOP("Report", "%n fichier visité"),
                         QT_TRANSLATE_N_NOOP("Report", "%n fichiers visités")) + QStringLiteral(", ")
        + counted(present, QT_TRANSLATE_N_NOOP("Report", "%n présent"),
                           QT_TRANSLATE_N_NOOP("Report", "%n présents")) + QStringLiteral(", ")
        + counted(backups, QT_TRANSLATE_N_NOOP("Report", "%n sauvegarde"),
                           QT_TRANSLATE_N_NOOP("Report", "%n sauvegardes")) + QStringLiteral(", ")
        + Report::tr("%1 nommant déjà le répertoire").arg(namingRoot)
        + (unreadable > 0 ? QStringLiteral(", ") + counted(unreadable, QT_TRANSLATE_N_NOOP("Report", "%n illisible"),
                                                                       QT_TRANSLATE_N_NOOP("Report", "%n illisibles"))
                          : QString())
        + QLatin1Char('.');
    report.exitCode = unreadable > 0 ? ExitFailed : ExitSuccess;
    return report;
}

Report verifyReport(const Verification &verification)
{
    Report report;
    report.head = header(QStringLiteral("verify"), verification.qtPath);
    addInstallationLines(&report, verification.oldRoots);
    const bool ran = verification.queried || !verification.queryFailure.isNone();
    report.head.insert(QStringLiteral("method"), ran ? QStringLiteral("qmake-query") : QStringLiteral("slots"));
    report.head.insert(QStringLiteral("methodReason"), reasonText(verification.notQueriedReason));
    report.head.insert(QStringLiteral("methodReasonCode"), reasonCodeKey(verification.notQueriedReason.code));
    if (!verification.queryFailure.isNone()) {
        report.head.insert(QStringLiteral("queryFailure"), reasonText(verification.queryFailure));
        report.head.insert(QStringLiteral("queryFailureCode"), causeKey(verification.queryFailure.cause));
        report.headLines << reasonText(verification.queryFailure);
    } else {
        report.headLines << (verification.queried
                                 ? Report::tr("Chemins d'installation : réponses de %1").arg(verification.paths.first().source)
                                 : Report::tr("Chemins d'installation : lus dans les emplacements des binaires (%1)")
                                       .arg(reasonText(verification.notQueriedReason)));
    }
    int staleFiles = 0, stalePaths = 0;
    for (const CheckedFile &file : verification.files) {
        const QString status = file.relocated ? QStringLiteral("relocated")
            : file.unreadable ? QStringLiteral("unreadable") : QStringLiteral("stale");
        const StaleVerdict verdict = staleVerdict(file);
        staleFiles += file.relocated ? 0 : 1;
        QJsonObject json = fileJson(file.relativePath, file.path, file.kind, status, file.problem, verdict.text);
        if (!verdict.code.isEmpty())
            json.insert(QStringLiteral("reasonCode"), verdict.code);
        if (!file.oldRootNamed.isEmpty()) {
            json.insert(QStringLiteral("oldRoot"), file.oldRootNamed);
            json.insert(QStringLiteral("inSearchPath"), file.inSearchPath);
        }
        report.files.append({json, verdict.text.isEmpty() ? QString() : Report::tr("%1 : %2").arg(file.relativePath, verdict.text)});
    }
    for (const CheckedPath &path : verification.paths) {
        stalePaths += path.ok ? 0 : 1;
        report.paths.append({{{QStringLiteral("name"), path.name},
                              {QStringLiteral("source"), path.source},
                              {QStringLiteral("value"), path.value},
                              {QStringLiteral("expected"), path.expected},
                              {QStringLiteral("status"), path.ok ? QStringLiteral("relocated") : QStringLiteral("stale")}},
                             path.ok ? QString()
                                     : Report::tr("%1 (%2) : %3 au lieu de %4")
                                           .arg(path.name, path.source, path.value, path.expected)});
    }
    report.summary = {{QStringLiteral("files"), int(verification.files.size())},
                      {QStringLiteral("staleFiles"), staleFiles},
                      {QStringLiteral("paths"), int(verification.paths.size())},
                      {QStringLiteral("stalePaths"), stalePaths}};
    const bool relocated = verification.relocated();
    report.message = relocated
        ? Report::tr("Vérification : l'installation est relocalisée dans %1.").arg(verification.qtPath)
        : Report::tr("Vérification : l'installation n'est pas relocalisée dans %1 : ").arg(verification.qtPath)
            + (verification.queryFailure.isNone() ? QString() : Report::tr("qmake en échec, "))
            + counted(staleFiles, QT_TRANSLATE_N_NOOP("Report", "%n fichier à mettre à jour"),
                                  QT_TRANSLATE_N_NOOP("Report", "%n fichiers à mettre à jour"))
            + QStringLiteral(", ")
            + counted(stalePaths, QT_TRANSLATE_N_NOOP("Report", "%n chemin ne nomme pas le répertoire"),
                                  QT_TRANSLATE_N_NOOP("Report", "%n chemins ne nomment pas le répertoire"))
            + QLatin1Char('.');
    report.head.insert(QStringLiteral("relocated"), relocated);
    report.exitCode = relocated ? ExitSuccess : ExitFailed;
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
                         Report::tr("rien n'y désigne une installation de Qt 4 : aucun fichier n'y porte les emplacements "
                                    "de chemin (qt_prfxpath=) que qmake et QtCore portent"));
}

Report runRefusedReport(const QString &command, const QString &qtPath, const Reason &reason)
{
    Report report;
    report.head = header(command, qtPath);
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
