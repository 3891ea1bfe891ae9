#ifndef ZEL_COMMANDRUN_H
#define ZEL_COMMANDRUN_H

#include "patching/fileoutcome.h"
#include "patching/listing.h"

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

// Runs `command` on the installation at `qtPath`: listed binaries one at a time
// as background jobs (the calling thread keeps processing events meanwhile),
// then the two configuration files by direct calls. `onFileDone` hears of each
// file as soon as it has been treated. Never stops early.
QVector<FileReport> runCommand(Command command, const QString &qtPath,
                               WriteMode mode = WriteMode::Apply,
                               const FileReportHandler &onFileDone = FileReportHandler());

bool anyFailed(const QVector<FileReport> &reports);

#endif
