#ifndef ZEL_COMMANDRUN_H
#define ZEL_COMMANDRUN_H

#include "patching/commandplan.h"
#include "patching/diskspace.h"
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

// Treats the files of `plan` in order: binaries one at a time as background jobs (the calling thread
// keeps processing events meanwhile), text files by direct calls. `onFileDone` hears of each file as
// soon as it has been treated. Never stops early. The plan's bytes go to the workers: it is consumed.
// A dry run weighs what each file would take against the room `freeSpace` says its file system has.
QVector<FileReport> runPlan(CommandPlan plan, WriteMode mode = WriteMode::Apply,
                            const FileReportHandler &onFileDone = FileReportHandler(),
                            const SpaceQuery &freeSpace = fileSystemSpace);

// The window's command: its plan, run.
QVector<FileReport> runCommand(Command command, const QString &qtPath, WriteMode mode = WriteMode::Apply,
                               const FileReportHandler &onFileDone = FileReportHandler());

bool anyFailed(const QVector<FileReport> &reports);

#endif
