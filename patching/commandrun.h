#ifndef ZEL_COMMANDRUN_H
#define ZEL_COMMANDRUN_H

#include "patching/fileoutcome.h"
#include "patching/listing.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

struct FileReport {
    QString path;         // absolute path handed to the worker
    QString relativePath; // relative to the Qt directory, with "/" separators
    FileKind kind = FileKind::Binary;
    FileOutcome outcome;
};

using FileReportHandler = std::function<void(const FileReport &)>;

// The workers a run hands its files to. The defaults are the tool's own; the tests put
// others in their place to see how a run treats a worker that misbehaves.
struct CommandWorkers {
    std::function<FileOutcome(const QByteArray &rootDir, const QString &filePath, WriteMode mode)> patchBinary;
    std::function<FileOutcome(const QString &root, const QString &filePath, WriteMode mode)> patchText;
    std::function<FileOutcome(const QString &path, const QString &root, WriteMode mode, BackupSize sizeCheck)> restore;

    static CommandWorkers standard();
};

// Runs `command` on the installation at `qtPath`: listed binaries one at a time
// as background jobs (the calling thread keeps processing events meanwhile),
// then the two configuration files by direct calls. `onFileDone` hears of each
// file as soon as it has been treated. Never stops early.
QVector<FileReport> runCommand(Command command, const QString &qtPath,
                               WriteMode mode = WriteMode::Apply,
                               const FileReportHandler &onFileDone = FileReportHandler());

// The same run with the given workers.
QVector<FileReport> runCommandWith(const CommandWorkers &workers, Command command, const QString &qtPath,
                                   WriteMode mode = WriteMode::Apply,
                                   const FileReportHandler &onFileDone = FileReportHandler());

bool anyFailed(const QVector<FileReport> &reports);

// Whether `qtPath` survives the local 8-bit encoding the files are written in: a letter it
// lacks would come out as "?" and name a directory that is not there.
bool rootEncodable(const QString &qtPath);

#endif
