#include "patching/verification.h"

#include "patching/commandrun.h"
#include "patching/elfpatcher.h"
#include "patching/elfrunpath.h"
#include "patching/fileoutcome.h"
#include "patching/filestore.h"
#include "patching/metadatapatcher.h"
#include "patching/pathslots.h"
#include "patching/wholepathrule.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// No install path comes near this; a qmake that writes more is not answering.
constexpr int maxAnswerKiB = 64;

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

#ifdef Q_OS_UNIX
// Whether anyone but root and the running user could put another file in a place below `dir`:
// a directory on the way is someone else's, or writable by others without the sticky bit that
// keeps their entries apart.
bool othersMayReplaceIn(QDir dir)
{
    do {
        struct stat info;
        if (::stat(QFile::encodeName(dir.absolutePath()).constData(), &info) != 0
            || (info.st_uid != 0 && info.st_uid != geteuid())
            || ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0))
            return true;
    } while (dir.cdUp());
    return false;
}
#endif

// Why bin/qmake must not run, empty when it may: code that someone other than root and the
// running user put there, or may change, would run with the rights of whoever verifies. `qmake`
// is the file as named in the installation, `resolved` the same with every link followed.
QString whyNotTrusted(const QFileInfo &qmake, const QFileInfo &resolved, const QString &name)
{
#ifdef Q_OS_UNIX
    if (resolved.ownerId() != 0 && resolved.ownerId() != uint(geteuid()))
        return Reason::qmakeNotOwned(name);
    if (resolved.permission(QFile::WriteGroup) || resolved.permission(QFile::WriteOther)
        || othersMayReplaceIn(qmake.absoluteDir()) || othersMayReplaceIn(resolved.absoluteDir()))
        return Reason::qmakeWritableByOthers(name);
#else
    Q_UNUSED(qmake)
    Q_UNUSED(resolved)
    Q_UNUSED(name)
#endif
    return QString();
}

bool looksLikePath(const QString &answer)
{
    for (const QChar c : answer) {
        if (c.unicode() < 0x20)
            return false;
    }
    return answer.startsWith(QLatin1Char('/'))
        || (answer.size() >= 3 && answer.at(0).isLetter() && answer.at(1) == QLatin1Char(':')
            && (answer.at(2) == QLatin1Char('/') || answer.at(2) == QLatin1Char('\\')));
}

struct QueryRun {
    bool started = false;
    QString failure; // the process ran but gave no answer: killed, crashed, ...
    int exitCode = 0;
    QByteArray output;
};

// Runs `qmake -query name`, its output read as it comes and never beyond the bound.
// qmake in a process group of its own, so that ending it also ends whatever it started.
class QueryProcess : public QProcess
{
public:
    QueryProcess()
    {
#if defined(Q_OS_UNIX) && QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    }
    void killGroup()
    {
#ifdef Q_OS_UNIX
        if (processId() > 0)
            ::kill(-pid_t(processId()), SIGKILL);
#endif
        kill();
    }

protected:
#if defined(Q_OS_UNIX) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void setupChildProcess() override { ::setpgid(0, 0); }
#endif
};

QueryRun runQuery(const QString &qmake, const char *name, int timeoutMs)
{
    QueryRun run;
    QueryProcess process;
    // One channel: the other would fill unread, without bound, meanwhile.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(qmake, {QStringLiteral("-query"), QLatin1String(name)}, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs)) {
        run.failure = process.errorString();
        return run;
    }
    run.started = true;
    const QDeadlineTimer deadline(timeoutMs);
    while (process.state() == QProcess::Running && run.output.size() <= maxAnswerKiB * 1024
           && !deadline.hasExpired()) {
        process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        run.output += process.readAll();
    }
    const bool killed = process.state() == QProcess::Running;
    if (killed) {
        process.killGroup();
        process.waitForFinished(-1);
    }
    run.output += process.readAll();
    if (run.output.size() > maxAnswerKiB * 1024)
        run.failure = Reason::answerTooLong(maxAnswerKiB);
    else if (killed)
        run.failure = Reason::noAnswerInTime(timeoutMs / 1000);
    else if (process.exitStatus() == QProcess::CrashExit)
        run.failure = Reason::crashed();
    run.exitCode = process.exitCode();
    return run;
}

// qmake's answers; none, with `notQueried` set, when it is not to be run or cannot run here, or
// with `failure` set when it ran and did not answer as it should.
QVector<CheckedPath> queryQmake(const QString &qtPath, int timeoutMs, QString *notQueried, QString *failure)
{
    QString qmake = qtPath + QStringLiteral("/bin/qmake");
    if (!QFileInfo::exists(qmake))
        qmake += QStringLiteral(".exe");
    const QString name = relativeToQtPath(qtPath, qmake);
    // What runs is the file that was checked, named with every link resolved: a link in bin could
    // be pointed elsewhere between the check and a run.
    const QFileInfo info(QFileInfo(qmake).canonicalFilePath());
    *notQueried = info.isFile() ? whyNotTrusted(QFileInfo(qmake), info, name) : Reason::qmakeMissing();
    if (!notQueried->isEmpty())
        return {};
    qmake = info.filePath();
    const QByteArray root = qtPath.toLocal8Bit();
    QVector<CheckedPath> answers;
    for (const auto &installPath : installPaths) {
        const QueryRun run = runQuery(qmake, installPath.name, timeoutMs);
        if (!run.started) {
            *notQueried = Reason::qmakeNotRunnable(name, run.failure);
            return {};
        }
        const QString answer = QString::fromLocal8Bit(run.output).trimmed();
        // A qmake older than the name answers "**Unknown**" (and exits 101), or nothing: not a stale path.
        if (run.failure.isEmpty() && answer == QLatin1String("**Unknown**"))
            continue;
        QString how = run.failure;
        if (how.isEmpty() && run.exitCode != 0)
            how = Reason::exitCode(run.exitCode);
        else if (how.isEmpty() && !answer.isEmpty() && !looksLikePath(answer))
            how = Reason::notAPath(answer.left(80));
        if (!how.isEmpty()) {
            *failure = Reason::qmakeQueryFailed(name, how);
            return {};
        }
        if (answer.isEmpty())
            continue;
        const QByteArray value = QDir::cleanPath(QDir::fromNativeSeparators(answer)).toLocal8Bit();
        answers.append({QLatin1String(installPath.name), name + QStringLiteral(" -query"), answer,
                        QString::fromLocal8Bit(slotValueFor(installPath.key, root)),
                        slotNamesRoot(installPath.key, value, root)});
    }
    if (answers.isEmpty())
        *notQueried = Reason::qmakeGivesNoPath(name);
    return answers;
}

// The slots of one binary, one path per key: a file packed with slots adds no more than that.
void addSlots(QVector<CheckedPath> *paths, const QByteArray &data, const QString &relativePath, const QByteArray &root)
{
    const int first = paths->size();
    forEachPathSlot(data, [&](const FoundSlot &slot) {
        const bool ok = slotNamesRoot(slot.key, slot.value, root);
        const QString key = QString::fromLatin1(slot.key);
        for (int i = first; i < paths->size(); ++i) {
            CheckedPath &path = (*paths)[i];
            if (path.name != key)
                continue;
            if (path.ok && !ok) {
                path.value = QString::fromLocal8Bit(slot.value);
                path.ok = false;
            }
            return;
        }
        paths->append({key, relativePath, QString::fromLocal8Bit(slot.value),
                       QString::fromLocal8Bit(slotValueFor(slot.key, root)), ok});
    });
}

CheckedFile checkFile(const QString &qtPath, const PlannedFile &planned, const Relocation &relocation,
                      QVector<CheckedPath> *slotPaths)
{
    CheckedFile file;
    file.path = planned.path;
    file.relativePath = relativeToQtPath(qtPath, planned.path);
    file.kind = planned.kind;
    file.lostBackup = planned.treatment == Treatment::LostBackup;
    if (file.lostBackup)
        return file;
    const LoadedFile loaded = loadWholeFile(planned.path);
    if (!loaded.ok) {
        file.error = Reason::fileNotLoaded(loaded);
        return file;
    }
    const QString backup = backupPathFor(planned.path, qtPath);
    // A binary's path slots are judged one by one; elsewhere in it the old root may stand in
    // strings no patch touches (qt_stngpath=, the settings path), which are no fault. A text file
    // holds no slot, whatever keys a root written in it holds.
    const bool binary = planned.treatment == Treatment::Binary || planned.treatment == Treatment::BinaryElf;
    const bool holdsSlots = binary && holdsPathSlot(loaded.data);
    if (holdsSlots)
        addSlots(slotPaths, loaded.data, file.relativePath, relocation.newRoot);
    if (planned.treatment == Treatment::BinaryElf || planned.treatment == Treatment::Elf) {
        const ElfRunPaths searchPaths = readRunPaths(loaded.data);
        file.error = searchPaths.error;
        for (const QByteArray &entry : searchPaths.entries) {
            const int root = oldRootOf(entry, relocation.oldRoots, relocation.newRoot, [&](const QByteArray &place) {
                return existsBelow(relocation.newRoot, place);
            });
            if (root >= 0 && file.oldRootNamed.isEmpty()) {
                file.oldRootNamed = QString::fromLocal8Bit(relocation.oldRoots.at(root));
                file.inSearchPath = true;
            }
        }
        // Patched for an earlier place (an absolute path where $ORIGIN did not fit) and moved since:
        // the search paths its patch computes from the backup tell.
        if (file.error.isEmpty() && file.oldRootNamed.isEmpty() && isRegularFile(backup)) {
            LoadedFile original = loadWholeFile(backup);
            rewriteRunPaths(original.data, relocation.oldRoots, relocation.newRoot,
                            originDirectory(planned.path, qtPath), [&](const QByteArray &place) {
                                return existsBelow(relocation.newRoot, place);
                            });
            if (!original.ok)
                file.error = Reason::backupNotLoaded(original);
            else
                file.namesEarlierPlace = readRunPaths(original.data).entries != searchPaths.entries;
        }
        return file;
    }
    if (holdsSlots)
        return file;
    file.oldRootNamed = QString::fromLocal8Bit(oldRootNamed(loaded.data, relocation));
    if (!file.oldRootNamed.isEmpty() || planned.treatment != Treatment::Metadata || !isRegularFile(backup))
        return file;
    // Patched for an earlier place and moved since (then patched without --deep): its paths name
    // neither an old root nor DIR. Its patch, computed from the backup, tells.
    const LoadedFile original = loadWholeFile(backup);
    if (!original.ok)
        file.error = Reason::backupNotLoaded(original);
    else
        file.namesEarlierPlace = relocateMetadata(original.data, planned.path, relocation) != loaded.data;
    return file;
}
} // namespace

bool Verification::relocated() const
{
    if (paths.isEmpty() || !queryFailure.isEmpty())
        return false;
    for (const CheckedPath &path : paths) {
        if (!path.ok)
            return false;
    }
    for (const CheckedFile &file : files) {
        if (!file.oldRootNamed.isEmpty() || file.namesEarlierPlace || file.lostBackup || !file.error.isEmpty())
            return false;
    }
    return true;
}

Verification verifyInstallation(const QString &qtPath, int timeoutMs)
{
    Verification verification;
    verification.qtPath = qtPath;
    const CommandPlan plan = planCommand(Command::Unpatch, qtPath, true);
    verification.oldRoots = plan.oldRoots;
    verification.paths = queryQmake(qtPath, timeoutMs, &verification.notQueriedReason, &verification.queryFailure);
    verification.queried = !verification.paths.isEmpty();
    const Relocation relocation{plan.oldRoots.values(), qtPath.toLocal8Bit(), {}};
    for (const PlannedFile &planned : plan.files) {
        if (planned.treatment != Treatment::OtherName && QFileInfo(planned.path).isFile())
            verification.files.append(checkFile(qtPath, planned, relocation, &verification.paths));
    }
    return verification;
}
