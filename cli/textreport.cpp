#include "cli/textreport.h"

#include "cli/reportcounts.h"

#include <QStringList>

namespace {
// French counts: zero and one take the singular.
QString counted(int n, const QString &singular, const QString &plural)
{
    return QString::number(n) + QLatin1Char(' ') + (n <= 1 ? singular : plural);
}

QString failuresPhrase(int failed, bool dryRun)
{
    if (failed == 0)
        return QStringLiteral("aucun échec");
    if (dryRun)
        return counted(failed, QStringLiteral("échouerait"), QStringLiteral("échoueraient"));
    return counted(failed, QStringLiteral("échec"), QStringLiteral("échecs"));
}

QString changedWord(Command command, WriteMode mode)
{
    const bool dryRun = mode == WriteMode::DryRun;
    if (command == Command::Patch)
        return dryRun ? QStringLiteral("serait modifié") : QStringLiteral("modifié");
    return dryRun ? QStringLiteral("serait restauré") : QStringLiteral("restauré");
}

QString withReason(const QString &what, const QString &reason)
{
    return reason.isEmpty() ? what : what + QStringLiteral(" (") + reason + QLatin1Char(')');
}

QString kindWord(FileKind kind)
{
    return kind == FileKind::Binary ? QStringLiteral("binaire") : QStringLiteral("configuration");
}

QString visitorsWords(const InspectedFile &file)
{
    if (file.visitedByPatch && file.visitedByUnpatch)
        return QStringLiteral("patch et unpatch");
    return file.visitedByPatch ? QStringLiteral("patch seulement") : QStringLiteral("unpatch seulement");
}

QString entryWords(const InspectedContent &content, bool isBackup)
{
    QString words;
    switch (content.type) {
    case EntryType::Missing:
        if (content.isSymLink)
            return isBackup ? QStringLiteral("lien symbolique cassé à la place de la sauvegarde")
                            : QStringLiteral("lien symbolique cassé à la place du fichier");
        return isBackup ? QStringLiteral("pas de sauvegarde") : QStringLiteral("fichier absent");
    case EntryType::File:
        words = isBackup ? QStringLiteral("sauvegarde présente") : QStringLiteral("fichier présent");
        break;
    case EntryType::Directory:
        words = isBackup ? QStringLiteral("un répertoire à la place de la sauvegarde")
                         : QStringLiteral("un répertoire à la place du fichier");
        break;
    case EntryType::Other:
        words = isBackup ? QStringLiteral("une entrée spéciale à la place de la sauvegarde")
                         : QStringLiteral("une entrée spéciale à la place du fichier");
        break;
    }
    if (content.isSymLink)
        words += QStringLiteral(" (lien symbolique)");
    return words;
}

QString contentLines(const InspectedContent &content, bool isBackup)
{
    const QString where = isBackup ? QStringLiteral("  sauvegarde") : QStringLiteral("  fichier");
    if (content.readFailed)
        return where + QStringLiteral(" illisible : ") + content.error + QLatin1Char('\n');
    QString lines;
    for (const InspectedSlot &found : content.foundSlots) {
        lines += where + QStringLiteral(" : ") + QString::fromLocal8Bit(found.slot.key + found.slot.value)
            + QStringLiteral(" (position ") + QString::number(found.slot.offset) + QStringLiteral(", place ")
            + counted(int(found.slot.room), QStringLiteral("octet"), QStringLiteral("octets")) + QStringLiteral(")\n");
    }
    for (const InspectedAssignment &found : content.assignments) {
        lines += where + QStringLiteral(", ligne ") + QString::number(found.assignment.lineNumber)
            + QStringLiteral(" : ") + QString::fromLocal8Bit(found.assignment.key + '=' + found.assignment.value)
            + QLatin1Char('\n');
    }
    return lines;
}

QString rootWords(const InspectedContent &content)
{
    if (content.type != EntryType::File || content.readFailed)
        return QString();
    if (content.foundSlots.isEmpty() && content.assignments.isEmpty())
        return QStringLiteral(", aucun chemin reconnu");
    return content.namesRoot() ? QStringLiteral(", nomme déjà le répertoire")
                               : QStringLiteral(", ne nomme pas le répertoire");
}
} // namespace

QString fileReportLine(Command command, WriteMode mode, const FileReport &report)
{
    const FileOutcome &outcome = report.outcome;
    QString what;
    switch (outcome.status) {
    case OutcomeStatus::Changed:
        what = withReason(changedWord(command, mode), outcome.reason);
        break;
    case OutcomeStatus::LeftAlone:
        what = withReason(QStringLiteral("laissé tel quel"), outcome.reason);
        break;
    case OutcomeStatus::Failed:
        what = (mode == WriteMode::DryRun ? QStringLiteral("échouerait : ") : QStringLiteral("échec : "))
            + outcome.reason;
        break;
    }
    return report.relativePath + QStringLiteral(" : ") + what + QLatin1Char('\n');
}

QString commandSummaryLine(Command command, WriteMode mode, const QVector<FileReport> &reports)
{
    const OutcomeCounts counts = countOutcomes(reports);
    const bool dryRun = mode == WriteMode::DryRun;
    const bool patch = command == Command::Patch;
    QString head;
    if (dryRun) {
        head = patch ? QStringLiteral("Simulation du patch, rien n'a été écrit : ")
                     : QStringLiteral("Simulation de la restauration, rien n'a été écrit : ");
    } else if (counts.failed > 0) {
        head = patch ? QStringLiteral("Patch terminé avec des échecs : ")
                     : QStringLiteral("Restauration terminée avec des échecs : ");
    } else {
        head = patch ? QStringLiteral("Patch terminé : ") : QStringLiteral("Restauration terminée : ");
    }
    QString changed;
    if (dryRun) {
        changed = counted(counts.changed, QStringLiteral("fichier"), QStringLiteral("fichiers"))
            + (counts.changed <= 1 ? QStringLiteral(" serait ") : QStringLiteral(" seraient "))
            + (patch ? QStringLiteral("modifié") : QStringLiteral("restauré"))
            + (counts.changed <= 1 ? QString() : QStringLiteral("s"));
    } else if (patch) {
        changed = counted(counts.changed, QStringLiteral("fichier modifié"), QStringLiteral("fichiers modifiés"));
    } else {
        changed = counted(counts.changed, QStringLiteral("fichier restauré"), QStringLiteral("fichiers restaurés"));
    }
    return head + changed + QStringLiteral(", ")
        + counted(counts.leftAlone, QStringLiteral("laissé tel quel"), QStringLiteral("laissés tels quels"))
        + QStringLiteral(", ") + failuresPhrase(counts.failed, dryRun) + QStringLiteral(".\n");
}

QString inspectionText(const Inspection &inspection)
{
    QString text = QStringLiteral("Installation : ") + inspection.qtPath + QLatin1Char('\n');
    const RecordedRoot &old = inspection.oldRoot;
    if (old.found) {
        text += QStringLiteral("Ancienne racine : ") + old.value + QStringLiteral(" (lue dans ") + old.relativePath
            + QStringLiteral(", ") + QString::fromLatin1(old.key) + QStringLiteral(")\n");
    } else {
        text += QStringLiteral("Ancienne racine : introuvable (ni qt_prfxpath= ni QT_BUILD_TREE)\n");
    }
    for (const InspectedFile &file : inspection.files) {
        text += file.relativePath + QStringLiteral(" (") + kindWord(file.kind) + QStringLiteral(", ")
            + visitorsWords(file) + QStringLiteral(") : ") + entryWords(file.file, false) + QStringLiteral(", ")
            + entryWords(file.backup, true) + rootWords(file.file) + QLatin1Char('\n');
        text += contentLines(file.file, false);
        text += contentLines(file.backup, true);
    }
    return text + inspectionSummaryLine(inspection);
}

QString inspectionSummaryLine(const Inspection &inspection)
{
    const InspectionCounts counts = countInspection(inspection);
    QString line = QStringLiteral("Inspection : ")
        + counted(counts.files, QStringLiteral("fichier visité"), QStringLiteral("fichiers visités"))
        + QStringLiteral(", ") + counted(counts.present, QStringLiteral("présent"), QStringLiteral("présents"))
        + QStringLiteral(", ") + counted(counts.backups, QStringLiteral("sauvegarde"), QStringLiteral("sauvegardes"))
        + QStringLiteral(", ")
        + counted(counts.namingRoot, QStringLiteral("nommant déjà le répertoire"),
                  QStringLiteral("nommant déjà le répertoire"));
    if (counts.unreadable > 0)
        line += QStringLiteral(", ") + counted(counts.unreadable, QStringLiteral("illisible"), QStringLiteral("illisibles"));
    return line + QStringLiteral(".\n");
}

QString rejectedDirLine(const QString &qtPath, const QString &message)
{
    return qtPath + QStringLiteral(" : ") + message + QLatin1Char('\n');
}
