#include "patching/verification.h"

#include "patching/fileoutcome.h"
#include "patching/filestore.h"
#include "patching/metadatapatcher.h"
#include "patching/pathslots.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {
// The install paths a Qt 4 qmake knows, and the slot that holds each one.
const struct {
    const char *name;
    const char *key;
} installPaths[] = {
    {"QT_INSTALL_PREFIX", "qt_prfxpath="},   {"QT_INSTALL_DATA", "qt_datapath="},
    {"QT_INSTALL_DOCS", "qt_docspath="},     {"QT_INSTALL_HEADERS", "qt_hdrspath="},
    {"QT_INSTALL_LIBS", "qt_libspath="},     {"QT_INSTALL_BINS", "qt_binspath="},
    {"QT_INSTALL_PLUGINS", "qt_plugpath="},  {"QT_INSTALL_IMPORTS", "qt_impspath="},
    {"QT_INSTALL_TRANSLATIONS", "qt_trnspath="}, {"QT_INSTALL_EXAMPLES", "qt_xmplpath="},
    {"QT_INSTALL_DEMOS", "qt_demopath="},
};

// qmake's answers; empty with `why` set when it cannot run here or gives none.
QVector<CheckedPath> queryQmake(const QString &qtPath, int timeoutMs, QString *why)
{
    QString qmake = qtPath + QStringLiteral("/bin/qmake");
    if (!QFileInfo::exists(qmake))
        qmake += QStringLiteral(".exe");
    const QString name = relativeToQtPath(qtPath, qmake);
    QVector<CheckedPath> answers;
    for (const auto &installPath : installPaths) {
        QProcess process;
        process.start(qmake, {QStringLiteral("-query"), QLatin1String(installPath.name)}, QIODevice::ReadOnly);
        if (!process.waitForStarted(timeoutMs)) {
            *why = QCoreApplication::translate("Verification", "%1 ne peut pas être lancé ici (%2)").arg(name, process.errorString());
            return {};
        }
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(-1);
            *why = QCoreApplication::translate("Verification", "%1 n'a pas répondu à temps").arg(name);
            return {};
        }
        const QString answer = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        // A qmake older than the name answers nothing or "**Unknown**": not a stale path.
        if (process.exitCode() != 0 || answer.isEmpty() || answer == QLatin1String("**Unknown**"))
            continue;
        const QString expected = QString::fromLocal8Bit(slotValueFor(installPath.key, qtPath.toLocal8Bit()));
        const QString value = QDir::cleanPath(QDir::fromNativeSeparators(answer));
        answers.append({QLatin1String(installPath.name), name + QStringLiteral(" -query"), answer, expected,
                        value == expected});
    }
    if (answers.isEmpty())
        *why = QCoreApplication::translate("Verification", "%1 ne donne aucun chemin d'installation").arg(name);
    return answers;
}

QVector<CheckedPath> readSlots(const QString &qtPath)
{
    QVector<CheckedPath> paths;
    for (const InspectedFile &file : inspectInstallation(qtPath).files) {
        if (file.kind != FileKind::Binary)
            continue;
        for (const QByteArray &found : file.paths) {
            const QByteArray key = found.left(12);
            const QString expected = QString::fromLocal8Bit(slotValueFor(key, qtPath.toLocal8Bit()));
            const QString value = QString::fromLocal8Bit(found.mid(12));
            paths.append({QString::fromLatin1(key), file.relativePath, value, expected, value == expected});
        }
    }
    return paths;
}

QVector<CheckedFile> filesNamingOldRoot(const QString &qtPath, const QString &oldRoot)
{
    QVector<ListedFile> listed = commandFiles(qtPath, Command::Unpatch);
    const QStringList metadata = metadataFiles(qtPath);
    for (const QString &path : metadata)
        listed.append({path, FileKind::Text});
    QVector<CheckedFile> files;
    QStringList seen; // libQtCore.la is both a listed library and build metadata
    for (const ListedFile &entry : listed) {
        if (!QFileInfo(entry.path).isFile() || seen.contains(entry.path))
            continue;
        seen.append(entry.path);
        CheckedFile file{entry.path, relativeToQtPath(qtPath, entry.path), entry.kind, false, false, QString()};
        const LoadedFile loaded = loadWholeFile(entry.path);
        if (!loaded.ok)
            file.error = loaded.tooLarge ? Reason::fileTooLarge() : Reason::fileNotRead(loaded.error);
        // A binary's path slots are judged one by one below; elsewhere in it the old root may stand
        // in strings no patch touches (qt_stngpath=, the settings path), which are no fault.
        else if (!holdsPathSlot(loaded.data))
            file.namesOldRoot = namesOldRoot(loaded.data, oldRoot.toLocal8Bit(), qtPath.toLocal8Bit());
        // Patched for an earlier place and moved since (then patched without --deep): its paths
        // name neither the old root nor DIR. A dry run of its patch tells, writing nothing.
        if (file.error.isEmpty() && !file.namesOldRoot && metadata.contains(entry.path)
            && isRegularFile(entry.path + QStringLiteral(".back")))
            file.namesEarlierPlace = patchMetadataFile(oldRoot.toLocal8Bit(), qtPath, entry.path, WriteMode::DryRun).status
                != OutcomeStatus::LeftAlone; // a dry run also fails where the user may not write
        files.append(file);
    }
    return files;
}
} // namespace

bool Verification::relocated() const
{
    if (paths.isEmpty())
        return false;
    for (const CheckedPath &path : paths) {
        if (!path.ok)
            return false;
    }
    for (const CheckedFile &file : files) {
        if (file.namesOldRoot || file.namesEarlierPlace || !file.error.isEmpty())
            return false;
    }
    return true;
}

Verification verifyInstallation(const QString &qtPath, int timeoutMs)
{
    Verification verification;
    verification.qtPath = qtPath;
    verification.oldRoot = recordedRoot(qtPath);
    verification.paths = queryQmake(qtPath, timeoutMs, &verification.notQueriedReason);
    verification.queried = !verification.paths.isEmpty();
    verification.paths += readSlots(qtPath);
    if (verification.oldRoot.value != qtPath)
        verification.files = filesNamingOldRoot(qtPath, verification.oldRoot.value);
    return verification;
}
