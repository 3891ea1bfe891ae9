#ifndef ZEL_COMMANDRUN_H
#define ZEL_COMMANDRUN_H

#include "patching/fileoutcome.h"
#include "patching/listing.h"
#include "patching/oldroots.h"

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

// What a file is to a command, which tells how the command treats it.
enum class Treatment {
    Binary,    // its path slots are patched; restoring refuses another build's backup
    BinaryElf, // --deep: a binary that is an ELF file (qmake, QtCore): its slots and its search paths, in one patch
    Config,    // one of the two qmake configuration files: its four assignments (the line rule)
    Metadata,  // --deep: build metadata, each path naming an old root (with the line rule first)
    Elf,       // --deep: any other ELF file below DIR: each search path naming an old root
    OtherName, // another listed name leads to the same file and treats it
    LostBackup, // a window file the tool patched that has lost its backup: a failure, never backed up from patched bytes
};

struct PlannedFile {
    QString path; // absolute, as the worker receives it
    FileKind kind = FileKind::Binary;
    Treatment treatment = Treatment::Binary;
    QString treatedAs; // for OtherName: the path of the name that treats the file
};

// What a command does to an installation, computed once before anything is written: each file
// once with its treatment, in the order they are treated (the window's files, then with --deep
// the build metadata and the ELF files). The run, the dry run, inspect and verify all read it.
struct CommandPlan {
    Command command = Command::Patch;
    QString qtPath;
    bool deep = false;
    OldRoots oldRoots;          // with --deep: what the metadata is patched from
    bool rootEncodable = true;  // false: a patch would name a directory that is not there, so every file fails
    QVector<PlannedFile> files;
};

// The plan of `command` on the installation at `qtPath`. Without `deep` it is the window's command.
// A patch with `deep` but no old root leaves the metadata and the ELF files out: there is nothing to rewrite.
CommandPlan planCommand(Command command, const QString &qtPath, bool deep = false);

// Treats the files of `plan` in order: binaries one at a time as background jobs (the calling thread
// keeps processing events meanwhile), text files by direct calls. `onFileDone` hears of each file as
// soon as it has been treated. Never stops early.
QVector<FileReport> runPlan(const CommandPlan &plan, WriteMode mode = WriteMode::Apply,
                            const FileReportHandler &onFileDone = FileReportHandler());

// The window's command: its plan, run.
QVector<FileReport> runCommand(Command command, const QString &qtPath, WriteMode mode = WriteMode::Apply,
                               const FileReportHandler &onFileDone = FileReportHandler());

bool anyFailed(const QVector<FileReport> &reports);

// Whether `qtPath` survives the local 8-bit encoding the files are written in: a letter it
// lacks would come out as "?" and name a directory that is not there.
bool rootEncodable(const QString &qtPath);

#endif
