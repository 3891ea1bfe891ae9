#include "cli/report.h"

#include "app/reasontext.h"
#include "cli/cliargs.h"
#include "cli/reportparts.h"
#include "patching/base/limits.h"

#include <QJsonArray>

namespace {
// What inspect says of one file: a stable status for scripts, the reason when there is one, and the
// sentence.
struct InspectedStatus {
    QString status;
    Reason reason;
    QString text;
};

InspectedStatus inspectedStatus(const InspectedFile &file)
{
    InspectedStatus judged{QStringLiteral("stale"), Reason(), Report::tr("ne nomme pas le répertoire")};
    // What could not be read is said first, whatever is there: a directory that may not be listed, a
    // pipe named like a file of Qt's.
    if (!file.error.isNone()) {
        judged.status = QStringLiteral("unreadable");
        judged.reason = file.error;
    } else if (file.type == EntryType::Missing) {
        judged.status = QStringLiteral("missing");
        judged.reason = Reason(ReasonCode::NoSuchFile);
    } else if (file.type != EntryType::File) {
        judged.status = QStringLiteral("not-a-file");
        judged.reason = file.type == EntryType::Directory ? Reason(ReasonCode::IsDirectory)
                                                          : Reason(ReasonCode::FileNotRead, Cause::NotRegularFile);
    } else if (!file.slotNote.isNone()) {
        // A prefix the root does not fit is stale for good; the others stay as they should.
        judged.status = file.slotNote.code == ReasonCode::PrefixLengthFixed ? QStringLiteral("stale") : QStringLiteral("left-alone");
        judged.reason = file.slotNote;
    } else if (file.paths.isEmpty() || file.judged == 0) {
        judged.status = QStringLiteral("no-path");
        judged.text = Report::tr("aucun chemin reconnu");
    } else if (file.stale == 0) {
        judged.status = QStringLiteral("names-root");
        judged.text = Report::tr("nomme déjà le répertoire");
    } else if (file.stale < file.judged) {
        // Some slots were patched and others not (too small, or edited by hand).
        judged.status = QStringLiteral("partly-stale");
        judged.text = Report::tr("ne nomme le répertoire qu'en partie");
    }
    if (!judged.reason.isNone())
        judged.text = reasonText(judged.reason);
    return judged;
}

// One file's entry: its status, its backup, and the paths it holds, as many as were kept.
ReportEntry inspectedEntry(const InspectedFile &file, const InspectedStatus &judged)
{
    ReportEntry entry{fileJson(file.relativePath, file.path, file.kind, judged.status, judged.reason, judged.text),
                      Report::tr("%1 : %2").arg(shownName(file.relativePath), judged.text)
                          + (file.hasBackup ? Report::tr(", sauvegarde présente") : Report::tr(", pas de sauvegarde"))};
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
    return entry;
}

struct InspectCounts {
    int total = 0, present = 0, backups = 0, namingRoot = 0, unreadable = 0;
};

QString inspectMessage(const InspectCounts &counts)
{
    return Report::tr("Inspection : ")
        + counted(counts.total, QT_TRANSLATE_N_NOOP("Report", "%n fichier visité"),
                                QT_TRANSLATE_N_NOOP("Report", "%n fichiers visités")) + QStringLiteral(", ")
        + counted(counts.present, QT_TRANSLATE_N_NOOP("Report", "%n présent"),
                                  QT_TRANSLATE_N_NOOP("Report", "%n présents")) + QStringLiteral(", ")
        + counted(counts.backups, QT_TRANSLATE_N_NOOP("Report", "%n sauvegarde"),
                                  QT_TRANSLATE_N_NOOP("Report", "%n sauvegardes")) + QStringLiteral(", ")
        + Report::tr("%1 nommant déjà le répertoire").arg(counts.namingRoot)
        + (counts.unreadable > 0 ? QStringLiteral(", ") + counted(counts.unreadable, QT_TRANSLATE_N_NOOP("Report", "%n illisible"),
                                                                                     QT_TRANSLATE_N_NOOP("Report", "%n illisibles"))
                                 : QString())
        + QLatin1Char('.');
}
} // namespace

Report inspectReport(const Inspection &inspection)
{
    Report report;
    report.head = reportHeader(QStringLiteral("inspect"), inspection.qtPath);
    addInstallationLines(&report, inspection.oldRoots, inspection.identity);
    InspectCounts counts;
    for (const InspectedFile &file : inspection.files) {
        const InspectedStatus judged = inspectedStatus(file);
        counts.present += file.type != EntryType::Missing;
        counts.backups += file.hasBackup;
        counts.namingRoot += judged.status == QLatin1String("names-root");
        counts.unreadable += judged.status == QLatin1String("unreadable");
        report.files.append(inspectedEntry(file, judged));
    }
    counts.total = int(inspection.files.size());
    report.summary = {{QStringLiteral("total"), counts.total},           {QStringLiteral("present"), counts.present},
                      {QStringLiteral("backups"), counts.backups},       {QStringLiteral("namingRoot"), counts.namingRoot},
                      {QStringLiteral("unreadable"), counts.unreadable}};
    report.message = inspectMessage(counts);
    report.exitCode = counts.unreadable > 0 ? ExitFailed : ExitSuccess;
    return report;
}
