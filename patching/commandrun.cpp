#include "patching/commandrun.h"

#include "patching/binarypatcher.h"
#include "patching/filejob.h"
#include "patching/textpatcher.h"
#include "restoring/restorebackup.h"

#include <QFileInfo>

namespace {
QString relativeToQtPath(const QString &qtPath, const QString &path)
{
    const QString prefix = qtPath.endsWith(QLatin1Char('/')) ? qtPath : qtPath + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

FileOutcome treatFile(const CommandWorkers &workers, Command command, const QString &qtPath, const QString &path,
                      FileKind kind, WriteMode mode)
{
    if (kind == FileKind::Text) {
        // The two configuration files are small and treated on the calling thread.
        try {
            return command == Command::Patch ? workers.patchText(qtPath, path, mode)
                                             : workers.restore(path, qtPath, mode);
        } catch (const std::exception &e) {
            return FileOutcome::failed(Reason::workerException(FileJob::describeException(e)));
        } catch (...) {
            return FileOutcome::failed(Reason::workerException(FileJob::describeUnknownException()));
        }
    }
    if (command == Command::Patch)
        return runFileJob(workers.patchBinary, qtPath.toLocal8Bit(), path, mode);
    return runFileJob(workers.restore, path, qtPath, mode);
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

QVector<FileReport> runCommandWith(const CommandWorkers &workers, Command command, const QString &qtPath,
                                   WriteMode mode, const FileReportHandler &onFileDone)
{
    QVector<FileReport> reports;
    for (const CommandStep &step : commandSteps(command)) {
        // Each listing is taken only when its step begins, after the previous step's jobs.
        const QFileInfoList entries = takeListing(qtPath, step);
        for (const QFileInfo &entry : entries) {
            const QString path = step.isListing() ? entry.absoluteFilePath()
                                                  : qtPath + QLatin1Char('/') + step.relativePath;
            FileReport report{path, relativeToQtPath(qtPath, path), step.kind,
                              treatFile(workers, command, qtPath, path, step.kind, mode)};
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
