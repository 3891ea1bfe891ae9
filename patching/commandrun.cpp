#include "patching/commandrun.h"

#include "patching/binarypatcher.h"
#include "patching/elfpatcher.h"
#include "patching/elfrunpath.h"
#include "patching/filejob.h"
#include "patching/filestore.h"
#include "patching/metadatapatcher.h"
#include "patching/oldroots.h"
#include "patching/pathslots.h"
#include "patching/textpatcher.h"
#include "patching/wholepathrule.h"
#include "restoring/restorebackup.h"

#include <QDebug>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {
// The roots a window file names: the prefixes (qt_prfxpath=) of a binary's path slots, or the paths
// of a configuration file's four assignments.
QVector<QByteArray> pathsNamedIn(const QString &path, FileKind kind)
{
    QVector<QByteArray> paths;
    const QByteArray data = loadWholeFile(path).data;
    if (kind == FileKind::Binary) {
        forEachPathSlot(data, [&](const FoundSlot &slot) {
            if (slot.key == "qt_prfxpath=" && !paths.contains(slot.value))
                paths.append(slot.value);
        });
    } else {
        for (const ConfigAssignment &assignment : findConfigAssignments(data))
            paths.append(unquotedPath(assignment.value));
    }
    return paths;
}

// A path as the rule below compares it: "/" separators, and a Windows path in one letter case.
QByteArray comparable(QByteArray path)
{
    path.replace('\\', '/');
    const bool windows = path.size() >= 2 && path.at(1) == ':';
    return windows ? path.toLower() : path;
}

// The paths the build left in the window's files, read from their backups: the prefixes of the
// binaries, and the build tree that .qmake.cache names. Backups are never rewritten, so this is the
// same from one run to the next, whatever a run writes.
QVector<QByteArray> originalRoots(const QStringList &windowBackups)
{
    QVector<QByteArray> roots;
    for (const QString &backup : windowBackups) {
        const bool cache = backup.endsWith(QLatin1String("/.qmake.cache.back"));
        for (const QByteArray &path : pathsNamedIn(backup, cache ? FileKind::Text : FileKind::Binary))
            roots.append(comparable(path));
    }
    return roots;
}

// Whether a window file without a backup, while the binaries have theirs, holds a path that is not one
// the build left: it was patched and has lost its backup, or was added since. A backup made from it
// now could hold patched bytes, which unpatch would then put back for good. A path counts as the
// build's when the longest root it names is one the build left, not the root itself (a root below the
// original prefix is not that prefix). Paths that are not absolute tell nothing.
bool lostItsBackup(const QString &path, FileKind kind, const QString &root, const QVector<QByteArray> &original)
{
    const QByteArray own = comparable(root.toLocal8Bit());
    const auto longest = [](const QByteArray &named, const QVector<QByteArray> &roots) {
        qsizetype length = -1;
        for (const QByteArray &candidate : roots) {
            if (pathNamesRoot(named, candidate))
                length = qMax<qsizetype>(length, candidate.size());
        }
        return length;
    };
    const QVector<QByteArray> paths = pathsNamedIn(path, kind);
    return std::any_of(paths.cbegin(), paths.cend(), [&](const QByteArray &named) {
        const QByteArray path = comparable(named);
        if (!path.startsWith('/') && !(path.size() >= 3 && path.at(1) == ':' && path.at(2) == '/'))
            return false;
        const qsizetype built = longest(path, original);
        return built < 0 || (pathNamesRoot(path, own) && own.size() > built);
    });
}

// Two listed names can lead to one file (a link beside its target, two links to one
// library). Treating it under both would give the second name a backup of bytes the
// first had just patched, which its restore would later put back over the original.
// One name speaks for each file: the first that has a backup, else the file's own name
// (a library in lib rather than a link to it in bin, which may be deleted some day, taking
// the way to the backup with it), else the first listed. Returns, for each listed binary
// whose file it can name, the path of the name that treats that file.
QHash<QString, QString> nameTreatingEachFile(const QVector<ListedFile> &files)
{
    QHash<QString, QString> speaker; // canonical path -> path of the name that treats it
    QHash<QString, int> ranks;
    QHash<QString, QString> canonicals; // listed path -> canonical path
    for (const ListedFile &file : files) {
        const QString canonical = QFileInfo(file.path).canonicalFilePath();
        if (file.kind != FileKind::Binary || canonical.isEmpty())
            continue;
        canonicals.insert(file.path, canonical);
        // A name holding ".back" is one every worker passes over; it cannot speak for a file.
        if (file.path.contains(QLatin1String(".back"), Qt::CaseSensitive))
            continue;
        const int rank = (entryExists(file.path + QStringLiteral(".back")) ? 2 : 0)
            + (QFileInfo(file.path).isSymLink() ? 0 : 1);
        if (!speaker.contains(canonical) || rank > ranks.value(canonical)) {
            speaker.insert(canonical, file.path);
            ranks.insert(canonical, rank);
        }
    }
    QHash<QString, QString> treating;
    for (auto it = canonicals.cbegin(); it != canonicals.cend(); ++it) {
        if (speaker.contains(it.value()))
            treating.insert(it.key(), speaker.value(it.value()));
    }
    return treating;
}

FileOutcome treatFile(const CommandPlan &plan, const PlannedFile &file, WriteMode mode)
{
    const QString &root = plan.qtPath;
    const bool patch = plan.command == Command::Patch;
    // The text files are small and treated on the calling thread; binaries are read in a job.
    switch (file.treatment) {
    case Treatment::Binary:
    case Treatment::BinaryElf:
    case Treatment::Elf:
        if (!patch)
            return runFileJob(&restoreBackup, file.path, root, mode, BackupSize::RefuseOtherBuild);
        if (file.treatment == Treatment::Elf)
            return runFileJob(&patchElfFile, plan.oldRoots.values(), root, file.path, mode);
        return runFileJob(&patchBinaryFile, root.toLocal8Bit(), file.path, mode,
                          file.treatment == Treatment::BinaryElf ? plan.oldRoots.values() : QVector<QByteArray>());
    case Treatment::Config:
        if (patch)
            return FileJob::callWorker(&patchTextFile, root, file.path, mode);
        break;
    case Treatment::Metadata:
        if (patch)
            return FileJob::callWorker(&patchMetadataFile, plan.oldRoots.values(), root, file.path, mode);
        break;
    case Treatment::OtherName:
        return FileOutcome::leftAlone(Reason::sameFileAs(relativeToQtPath(root, file.treatedAs)));
    case Treatment::LostBackup:
        return FileOutcome::failed(Reason::patchedWithoutBackup());
    }
    return FileJob::callWorker(&restoreBackup, file.path, root, mode, BackupSize::Any);
}
} // namespace

CommandPlan planCommand(Command command, const QString &qtPath, bool deep)
{
    CommandPlan plan;
    plan.command = command;
    plan.qtPath = qtPath;
    plan.deep = deep;
    plan.rootEncodable = command == Command::Unpatch || rootEncodable(qtPath);
    const QVector<ListedFile> listed = commandFiles(qtPath, command);
    QStringList windowBackups;
    bool binaryBackup = false;
    for (const ListedFile &file : listed) {
        const QString backup = backupPathFor(file.path, qtPath);
        if (isRegularFile(backup)) {
            windowBackups.append(backup);
            binaryBackup = binaryBackup || file.kind == FileKind::Binary;
        }
    }
    QStringList metadata = deep ? metadataFiles(qtPath) : QStringList();

    // The window's files the tool patched that have lost their backup: neither treated nor read for
    // an old root. Without any backup of a binary the tool never patched here: the installation sits
    // where it was built. Build metadata gets a backup only when it names an old root, so its lack
    // of one tells nothing.
    QVector<QByteArray> original; // read only when a file lacks its backup while binaries have theirs
    QStringList lost;
    QVector<ListedFile> recording; // what the old roots are read from
    for (const ListedFile &file : listed) {
        if (binaryBackup && QFileInfo(file.path).isFile() && !entryExists(backupPathFor(file.path, qtPath))) {
            if (original.isEmpty())
                original = originalRoots(windowBackups);
            if (lostItsBackup(file.path, file.kind, qtPath, original)) {
                lost.append(file.path);
                continue;
            }
        }
        recording.append(file);
    }
    for (const QString &path : metadata) {
        if (!lost.contains(path))
            recording.append({path, FileKind::Text});
    }

    QStringList elf;
    if (deep) {
        plan.oldRoots = findOldRoots(qtPath, recording);
        // Restoring needs no old root; patching without one would rewrite nothing, and
        // recomputing a file from its backup with nothing replaced would undo an earlier patch.
        if (command == Command::Patch && plan.oldRoots.roots.isEmpty())
            metadata.clear();
        else
            elf = elfFiles(qtPath);
    }
    // The window's files that are build metadata too (libQtCore.la, the two configuration files)
    // are the metadata step's alone, so each is rewritten and reported once.
    QVector<ListedFile> window;
    for (const ListedFile &file : listed) {
        if (!metadata.contains(file.path))
            window.append(file);
    }
    const QHash<QString, QString> treating = nameTreatingEachFile(window);
    for (const ListedFile &file : window) {
        const QString treatedAs = treating.value(file.path, file.path);
        const Treatment treatment = treatedAs != file.path ? Treatment::OtherName
            : lost.contains(file.path)                      ? Treatment::LostBackup
            : file.kind == FileKind::Binary                 ? Treatment::Binary
                                                            : Treatment::Config;
        plan.files.append({file.path, file.kind, treatment, treatedAs});
    }
    for (const QString &path : metadata)
        plan.files.append({path, FileKind::Text, lost.contains(path) ? Treatment::LostBackup : Treatment::Metadata, path});
    // An ELF file that the window treats under a name of its own (qmake, QtCore) gets both rewrites
    // there, in one patch from its backup.
    QHash<QString, int> windowBinaries; // the file a name leads to -> its place in the plan
    for (int i = 0; i < plan.files.size(); ++i) {
        const Treatment treatment = plan.files.at(i).treatment;
        if (treatment == Treatment::Binary || treatment == Treatment::LostBackup)
            windowBinaries.insert(QFileInfo(plan.files.at(i).path).canonicalFilePath(), i);
    }
    for (const QString &path : elf) {
        const int treating = windowBinaries.value(QFileInfo(path).canonicalFilePath(), -1);
        if (treating >= 0 && plan.files.at(treating).treatment == Treatment::Binary)
            plan.files[treating].treatment = Treatment::BinaryElf;
        else if (treating < 0)
            plan.files.append({path, FileKind::Binary, Treatment::Elf, path});
    }
    return plan;
}

QVector<FileReport> runPlan(const CommandPlan &plan, WriteMode mode, const FileReportHandler &onFileDone)
{
    QVector<FileReport> reports;
    for (const PlannedFile &file : plan.files) {
        const FileOutcome outcome = plan.rootEncodable ? treatFile(plan, file, mode)
                                                       : FileOutcome::failed(Reason::rootNotEncodable());
        const FileReport report{file.path, relativeToQtPath(plan.qtPath, file.path), file.kind, outcome};
        if (onFileDone)
            onFileDone(report);
        reports.append(report);
    }
    return reports;
}

QVector<FileReport> runCommand(Command command, const QString &qtPath, WriteMode mode,
                               const FileReportHandler &onFileDone)
{
    return runPlan(planCommand(command, qtPath), mode, onFileDone);
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
