#include "patching/commandrun.h"

#include "patching/binarypatcher.h"
#include "patching/filejob.h"
#include "patching/filestore.h"
#include "patching/pathslots.h"
#include "patching/textpatcher.h"
#include "restoring/restorebackup.h"

#include <QFileInfo>
#include <QHash>

namespace {
// Whether a binary's slots name the installation root, as a patch to it leaves them.
bool slotsNameRoot(const QString &path, const QString &qtPath)
{
    const QByteArray root = qtPath.toLocal8Bit();
    bool names = false;
    forEachPathSlot(loadWholeFile(path).data, [&](const FoundSlot &slot) {
        names = names || slotNamesRoot(slot.key, slot.value, root);
    });
    return names;
}

// Whether the tool has patched the installation before: some file it lists has a backup.
bool anyBackup(const QString &qtPath, Command command)
{
    for (const ListedFile &file : commandFiles(qtPath, command)) {
        if (entryExists(file.path + QStringLiteral(".back")))
            return true;
    }
    return false;
}

FileOutcome treatFile(const CommandWorkers &workers, Command command, const QString &qtPath, const QString &path,
                      FileKind kind, WriteMode mode, bool patchedBefore)
{
    if (kind == FileKind::Text) {
        // The two configuration files are small and treated on the calling thread.
        return command == Command::Patch ? FileJob::callWorker(workers.patchText, qtPath, path, mode)
                                         : FileJob::callWorker(workers.restore, path, qtPath, mode, BackupSize::Any);
    }
    if (command == Command::Patch)
        return runFileJob(workers.patchBinary, qtPath.toLocal8Bit(), path, mode);
    // The check reads the whole binary, so it belongs in the job, off the calling thread.
    const auto restoreChecked = [restore = workers.restore, patchedBefore](const QString &file, const QString &root,
                                                                            WriteMode how) {
        const FileOutcome outcome = restore(file, root, how, BackupSize::MustMatchFile);
        // A binary left patched with nothing to restore it from must not pass for unpatched. Without
        // any backup the tool never patched here: the installation simply sits where it was built.
        if (patchedBefore && outcome == FileOutcome::leftAlone(Reason::noBackup()) && slotsNameRoot(file, root))
            return FileOutcome::failed(Reason::patchedWithoutBackup());
        return outcome;
    };
    return runFileJob(restoreChecked, path, qtPath, mode);
}
} // namespace

CommandWorkers CommandWorkers::standard()
{
    CommandWorkers workers;
    workers.patchBinary = &patchBinaryFile;
    workers.patchText = &patchTextFile;
    workers.restore = &restoreBackup;
    return workers;
}

QVector<FileReport> runCommand(Command command, const QString &qtPath, WriteMode mode,
                               const FileReportHandler &onFileDone)
{
    return runCommandWith(CommandWorkers::standard(), command, qtPath, mode, onFileDone);
}

namespace {
// Two listed names can lead to one file (a link beside its target, two links to one
// library). Treating it under both would give the second name a backup of bytes the
// first had just patched, which its restore would later put back over the original.
// One name speaks for each file: the first that has a backup, else the file's own name
// (a library in lib rather than a link to it in bin, which may be deleted some day, taking
// the way to the backup with it), else the first listed.
QHash<QString, QString> fileSpokesmen(const QString &qtPath, Command command)
{
    QHash<QString, QString> spokesmen; // canonical path -> path of the name that treats it
    QHash<QString, int> ranks;
    for (const ListedFile &file : commandFiles(qtPath, command)) {
        // A name holding ".back" is one every worker passes over; it cannot speak for a file.
        if (file.kind != FileKind::Binary || file.path.contains(QLatin1String(".back"), Qt::CaseSensitive))
            continue;
        const QString canonical = QFileInfo(file.path).canonicalFilePath();
        if (canonical.isEmpty())
            continue;
        const int rank = (entryExists(file.path + QStringLiteral(".back")) ? 2 : 0)
            + (QFileInfo(file.path).isSymLink() ? 0 : 1);
        if (!spokesmen.contains(canonical) || rank > ranks.value(canonical)) {
            spokesmen.insert(canonical, file.path);
            ranks.insert(canonical, rank);
        }
    }
    return spokesmen;
}
} // namespace

QVector<FileReport> runCommandWith(const CommandWorkers &workers, Command command, const QString &qtPath,
                                   WriteMode mode, const FileReportHandler &onFileDone)
{
    QVector<FileReport> reports;
    const QHash<QString, QString> spokesmen = fileSpokesmen(qtPath, command);
    const bool patchedBefore = command == Command::Unpatch && anyBackup(qtPath, command);
    const bool rootUnwritable = command == Command::Patch && !rootEncodable(qtPath);
    for (const CommandStep &step : commandSteps(command)) {
        // Each listing is taken only when its step begins, after the previous step's jobs.
        const QFileInfoList entries = takeListing(qtPath, step);
        for (const QFileInfo &entry : entries) {
            const QString path = step.isListing() ? entry.absoluteFilePath()
                                                  : qtPath + QLatin1Char('/') + step.relativePath;
            const QString spokesman = step.isListing() ? spokesmen.value(entry.canonicalFilePath()) : QString();
            FileOutcome outcome;
            if (rootUnwritable)
                outcome = FileOutcome::failed(Reason::rootNotEncodable());
            else if (!spokesman.isEmpty() && spokesman != path)
                outcome = FileOutcome::leftAlone(Reason::sameFileAs(relativeToQtPath(qtPath, spokesman)));
            else
                outcome = treatFile(workers, command, qtPath, path, step.kind, mode, patchedBefore);
            FileReport report{path, relativeToQtPath(qtPath, path), step.kind, outcome};
            if (onFileDone)
                onFileDone(report);
            reports.append(report);
        }
    }
    return reports;
}

bool anyFailed(const QVector<FileReport> &reports)
{
    for (const FileReport &report : reports) {
        if (report.outcome.isFailure())
            return true;
    }
    return false;
}

bool rootEncodable(const QString &qtPath)
{
    return QString::fromLocal8Bit(qtPath.toLocal8Bit()) == qtPath;
}
