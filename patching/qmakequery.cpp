#include "patching/qmakequery.h"

#include "patching/qmaketrust.h"
#include "patching/formats/rootrule.h"
#include "patching/plan/commandplan.h"
#include "patching/qt/listing.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

namespace {
bool looksLikePath(const QString &answer)
{
    return isWritablePlace(answer.toLocal8Bit());
}

struct QueryRun {
    bool started = false;
    Failure failure; // the process ran but gave no answer: killed, crashed, ...
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

// `name` null: every property at once.
QueryRun runQuery(const QString &qmake, const char *name, int timeoutMs, const QStringList &libraryFolders)
{
    QueryRun run;
    QueryProcess process;
#ifdef Q_OS_UNIX
    if (!libraryFolders.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString inherited = environment.value(QStringLiteral("LD_LIBRARY_PATH"));
        environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                           libraryFolders.join(QLatin1Char(':')) + (inherited.isEmpty() ? QString() : QLatin1Char(':') + inherited));
        process.setProcessEnvironment(environment);
    }
#else
    Q_UNUSED(libraryFolders) // a program's folder is its library path there
#endif
    // One channel: the other would fill unread, without bound, meanwhile.
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("-query")};
    if (name)
        arguments.append(QLatin1String(name));
    process.start(qmake, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs)) {
        run.failure = {Cause::System, process.errorString(), false};
        return run;
    }
    run.started = true;
    const qint64 limit = qint64(Limits::maxAnswerKiB) * 1024;
    const QDeadlineTimer deadline(timeoutMs);
    while (process.state() == QProcess::Running && run.output.size() <= limit && !deadline.hasExpired()) {
        process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        run.output += process.readAll();
    }
    const bool killed = process.state() == QProcess::Running;
    if (killed) {
        process.killGroup();
        process.waitForFinished(-1);
    }
    run.output += process.readAll();
    if (run.output.size() > limit)
        run.failure = {Cause::AnswerTooLong, QString::number(Limits::maxAnswerKiB), false};
    else if (killed)
        run.failure = {Cause::NoAnswerInTime, QString::number(timeoutMs / 1000), false};
    else if (process.exitStatus() == QProcess::CrashExit)
        run.failure = {Cause::Crashed, QString(), false};
    run.exitCode = process.exitCode();
    return run;
}

// What one `qmake -query` without a name lists, one "NAME:value" line each (a value may hold a
// colon, a name never does); nothing when it did not end well, and each name is then asked alone. A
// name listed twice (a user's `qmake -set` comes before Qt's own) is asked alone too.
QHash<QByteArray, QByteArray> listedAnswers(const QueryRun &run)
{
    QHash<QByteArray, QByteArray> listed;
    QSet<QByteArray> twice;
    if (!run.started || run.failure.cause != Cause::None || run.exitCode != 0)
        return listed;
    for (const QByteArray &line : run.output.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon);
        if (listed.contains(name))
            twice.insert(name);
        listed.insert(name, line.mid(colon + 1));
    }
    for (const QByteArray &name : qAsConst(twice))
        listed.remove(name);
    return listed;
}
} // namespace

QVector<CheckedPath> queryQmake(const PlanContext &context, const QHash<QByteArray, QByteArray> &expected, int timeoutMs,
                                Reason *notQueried, Reason *failure)
{
    const QString &qtPath = context.qtPath;
    const QtGeneration &generation = *context.generation;
    const QVector<PathSlotKey> &slotKeys = generation.slotKeys;
    // When none is there, the report names the last of bin's (bin/qmake.exe), as it always did.
    QString qmake = qtPath + QLatin1Char('/') + generation.qmakePaths.value(1, generation.qmakePaths.first());
    for (const QString &candidate : generation.qmakePaths) {
        if (QFileInfo::exists(qtPath + QLatin1Char('/') + candidate)) {
            qmake = qtPath + QLatin1Char('/') + candidate;
            break;
        }
    }
    const QString name = relativeToQtPath(qtPath, qmake);
    // What runs is the file that was checked, named with every link resolved: a link in bin could
    // be pointed elsewhere between the check and a run.
    const QFileInfo info(QFileInfo(qmake).canonicalFilePath());
    *notQueried = info.isFile() ? whyNotTrusted(QFileInfo(qmake), info, name) : Reason(ReasonCode::QmakeMissing);
    if (!notQueried->isNone())
        return {};
    qmake = info.filePath();
    QVector<CheckedPath> answers;
    QSet<QByteArray> asked;
    // Its own QtCore, not the system's, tells where it is.
    QStringList libraryFolders;
    // A kit's qmake is its host Qt's, which its own (target) QtCore must not replace.
    if (generation.queryWithOwnLibraries && !context.crossKit) {
        for (const QString &library : markedFiles(qtPath, generation.markers, Limits::maxMarkedFiles)) {
            if (QDir::match(generation.qtCoreNamePattern, QFileInfo(library).fileName()))
                libraryFolders.append(QFileInfo(library).absolutePath());
        }
        libraryFolders.removeDuplicates();
    }
    QVector<PathSlotKey> names = slotKeys;
    if (!generation.queryNames.isEmpty()) {
        names.clear();
        for (const QByteArray &name : generation.queryNames)
            names.append({QByteArray(), QByteArray(), name});
    }
    // One run answers every name where qmake lists them all, as Qt's own does. One that gave no answer
    // in time is the answer: it is not given a second time to wait for.
    const QueryRun listing = runQuery(qmake, nullptr, timeoutMs, libraryFolders);
    const QHash<QByteArray, QByteArray> listed = listedAnswers(listing);
    const bool listingFailed = listing.started && listing.failure.cause == Cause::NoAnswerInTime;
    for (const PathSlotKey &slotKey : qAsConst(names)) {
        if (slotKey.queryName.isEmpty() || asked.contains(slotKey.queryName))
            continue;
        asked.insert(slotKey.queryName);
        QueryRun run = listing;
        if (listed.contains(slotKey.queryName))
            run.output = listed.value(slotKey.queryName);
        else if (!listingFailed)
            run = runQuery(qmake, slotKey.queryName.constData(), timeoutMs, libraryFolders);
        if (!run.started) {
            *notQueried = run.failure.as(ReasonCode::QmakeNotRunnable);
            notQueried->args = QStringList{name};
            return {};
        }
        const QString answer = QString::fromLocal8Bit(run.output).trimmed();
        // A qmake older than the name answers "**Unknown**" (and exits 101), or nothing: not a stale path.
        if (run.failure.cause == Cause::None && answer == QLatin1String("**Unknown**"))
            continue;
        Failure how = run.failure;
        QString said;
        if (how.cause == Cause::None && run.exitCode != 0) {
            // What qmake said first tells why ("Could not find qmake configuration file", ...).
            said = answer.section(QLatin1Char('\n'), 0, 0).trimmed().left(Limits::maxAnswerShown);
            how = {Cause::ExitCode, QString::number(run.exitCode), false};
        }
        else if (how.cause == Cause::None && !answer.isEmpty() && !looksLikePath(answer))
            how = {Cause::NotAPath, answer.left(Limits::maxAnswerShown), false};
        if (how.cause != Cause::None) {
            *failure = how.as(ReasonCode::QmakeQueryFailed);
            failure->args = said.isEmpty() ? QStringList{name} : QStringList{name, said};
            return {};
        }
        if (answer.isEmpty())
            continue;
        const QByteArray value = QDir::cleanPath(QDir::fromNativeSeparators(answer)).toLocal8Bit();
        QByteArray wanted = expected.value(slotKey.key, qtPath.toLocal8Bit() + slotKey.suffix);
        if (generation.slotPlacement == SlotPlacement::BelowOldRoot) {
            const RootMatch match = longestOldRoot(value, context.oldRoots, context.rootBytes);
            wanted = match.index < 0 ? value : rootSpelling(context.rootBytes) + value.mid(match.length);
        }
        answers.append({QString::fromLatin1(slotKey.queryName), name + QStringLiteral(" -query"), answer,
                        QString::fromLocal8Bit(wanted), value == wanted});
    }
    if (answers.isEmpty())
        *notQueried = Reason(ReasonCode::QmakeGivesNoPath, {name});
    return answers;
}
