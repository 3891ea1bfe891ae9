#include "patching/metadatapatcher.h"

#include "patching/backuppatch.h"
#include "patching/binarypatcher.h"
#include "patching/filestore.h"
#include "patching/listing.h"
#include "patching/textpatcher.h"
#include "restoring/restorebackup.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace {
bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// ASCII only: the case of a drive or directory letter, never of a byte of another encoding.
char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isWindowsRoot(const QByteArray &root)
{
    return root.size() >= 3 && lower(root.at(0)) >= 'a' && lower(root.at(0)) <= 'z' && root.at(1) == ':'
        && isSeparator(root.at(2));
}

// Whether `root` is written at `at` in `text` as a whole path.
bool wholePathAt(const QByteArray &text, qsizetype at, const QByteArray &root, bool windows)
{
    if (root.isEmpty() || at + root.size() > text.size())
        return false;
    for (qsizetype i = 0; i < root.size(); ++i) {
        const char a = text.at(at + i);
        const char b = root.at(i);
        const bool same = windows ? (isSeparator(b) ? isSeparator(a) : lower(a) == lower(b)) : a == b;
        if (!same)
            return false;
    }
    const qsizetype end = at + root.size();
    // A zero byte ends a path in a binary (strchr would find the terminator for any character).
    return end == text.size() || text.at(end) == '\0' || std::strchr("/\\\"' \t\r\n\f\v:;", text.at(end)) != nullptr;
}

// Without a trailing separator, so that "/opt/qt/" also matches "/opt/qt".
QByteArray trimmedRoot(QByteArray root)
{
    while (root.size() > 1 && isSeparator(root.back()) && !(isWindowsRoot(root) && root.size() == 3))
        root.chop(1);
    return root;
}
} // namespace

QStringList metadataFiles(const QString &qtPath)
{
    QStringList files;
    const auto fixed = [&](const char *relative) {
        const QString path = qtPath + QLatin1Char('/') + QLatin1String(relative);
        // A missing file whose backup remains comes back with the unpatch, as qmake.conf does.
        if (entryExists(path) || entryExists(path + QStringLiteral(".back")))
            files.append(path);
    };
    const auto listed = [&](const char *relativeDir, const QStringList &patterns) {
        const QDir dir(qtPath + QLatin1Char('/') + QLatin1String(relativeDir));
        for (const QFileInfo &entry : dir.entryInfoList(patterns, QDir::Files | QDir::System, QDir::Name))
            files.append(entry.absoluteFilePath());
    };
    // The two configuration files also name the old root outside the four assignments the
    // window rewrites (QMAKE_RPATHDIR, QMAKE_ABSOLUTE_SOURCE_ROOT, ...).
    fixed("mkspecs/default/qmake.conf");
    fixed(".qmake.cache");
    fixed("mkspecs/qconfig.pri");
    listed("lib", {QStringLiteral("*.prl"), QStringLiteral("*.la")});
    listed("lib/pkgconfig", {QStringLiteral("*.pc")});
    fixed("bin/qt.conf");
    return files;
}

QByteArray rewriteWholePaths(const QByteArray &text, const QByteArray &oldRoot, const QByteArray &newRoot)
{
    const QByteArray root = trimmedRoot(oldRoot);
    const bool windows = isWindowsRoot(root);
    QByteArray result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (wholePathAt(text, i, root, windows)) {
            result += newRoot;
            i += root.size();
        } else {
            result += text.at(i++);
        }
    }
    return result;
}

bool namesOldRoot(const QByteArray &text, const QByteArray &oldRoot, const QByteArray &root)
{
    const QByteArray old = trimmedRoot(oldRoot);
    const bool windows = isWindowsRoot(old);
    for (qsizetype i = 0; !old.isEmpty() && i < text.size(); ++i) {
        if (wholePathAt(text, i, old, windows) && !wholePathAt(text, i, root, isWindowsRoot(root)))
            return true;
    }
    return false;
}

FileOutcome patchMetadataFile(const QByteArray &oldRoot, const QString &root, const QString &filePath, WriteMode mode)
{
    qDebug().noquote() << filePath;
    const QByteArray newRoot = root.toLocal8Bit();
    // A configuration file gets its own line rule first, as the window's patch gives it, so it is
    // rewritten (and backed up) whatever else it names.
    const QString name = QFileInfo(filePath).fileName();
    const bool configFile = name == QLatin1String(".qmake.cache") || name == QLatin1String("qmake.conf");
    // Nothing to rewrite, so no backup either: the file stays exactly as the build left it.
    // The guards of the backup course come first: below a ".back" directory, or through a link
    // leading outside, the file is reported as such, and never read.
    QString target;
    if (!configFile && !filePath.contains(QLatin1String(".back")) && resolveInsideRoot(filePath, root, &target)
        && !entryExists(filePath + QStringLiteral(".back")) && QFileInfo(filePath).isFile()) {
        const LoadedFile current = loadWholeFile(filePath);
        if (current.ok && !namesOldRoot(current.data, oldRoot, QByteArray()))
            return FileOutcome::leftAlone(Reason::namesNoOldRoot());
    }
    const auto rewrite = [&](const QByteArray &backup) {
        const QByteArray lined = configFile ? rewriteConfigText(backup, newRoot) : backup;
        return PatchedContent{rewriteWholePaths(lined, oldRoot, newRoot), QString()};
    };
    return patchFromBackup(filePath, root, mode, BackupSize::Any, rewrite);
}

namespace {
// Patches (from `oldRoot`, which must not be empty) or restores every metadata file of the
// installation, after the window's files.
QVector<FileReport> runMetadataStep(Command command, const QString &qtPath, const QString &oldRoot, WriteMode mode,
                                    const FileReportHandler &onFileDone)
{
    QVector<FileReport> reports;
    const QByteArray old = oldRoot.toLocal8Bit();
    const bool rootUnwritable = command == Command::Patch && !rootEncodable(qtPath);
    for (const QString &path : metadataFiles(qtPath)) {
        FileOutcome outcome;
        if (rootUnwritable)
            outcome = FileOutcome::failed(Reason::rootNotEncodable());
        else if (command == Command::Patch)
            outcome = patchMetadataFile(old, qtPath, path, mode);
        else
            outcome = restoreBackup(path, qtPath, mode, BackupSize::Any);
        const FileReport report{path, relativeToQtPath(qtPath, path), FileKind::Text, outcome};
        if (onFileDone)
            onFileDone(report);
        reports.append(report);
    }
    return reports;
}
} // namespace

QVector<FileReport> runDeepCommand(Command command, const QString &qtPath, const QString &oldRoot, WriteMode mode,
                                   const FileReportHandler &onFileDone)
{
    // Restoring needs no old root; patching without one would know nothing to replace.
    if (command == Command::Patch && oldRoot.isEmpty())
        return runCommand(command, qtPath, mode, onFileDone);
    // libQtCore.la and the two configuration files, treated by both steps, would be rewritten
    // twice, and a crash between the two could leave the first version.
    const QStringList metadata = metadataFiles(qtPath);
    CommandWorkers workers = CommandWorkers::standard();
    const FileOutcome later = FileOutcome::leftAlone(QString());
    workers.patchBinary = [metadata, later](const QByteArray &root, const QString &path, WriteMode how) {
        return metadata.contains(path) ? later : patchBinaryFile(root, path, how);
    };
    workers.patchText = [metadata, later](const QString &root, const QString &path, WriteMode how) {
        return metadata.contains(path) ? later : patchTextFile(root, path, how);
    };
    workers.restore = [metadata, later](const QString &path, const QString &root, WriteMode how, BackupSize size) {
        return metadata.contains(path) ? later : restoreBackup(path, root, how, size);
    };
    const auto ownStep = [&metadata](const FileReport &report) { return !metadata.contains(report.path); };
    QVector<FileReport> reports;
    const auto windowFileDone = [&](const FileReport &report) {
        if (onFileDone && ownStep(report))
            onFileDone(report);
    };
    for (const FileReport &report : runCommandWith(workers, command, qtPath, mode, windowFileDone)) {
        if (ownStep(report))
            reports.append(report);
    }
    return reports + runMetadataStep(command, qtPath, oldRoot, mode, onFileDone);
}
