#include "patching/verification.h"

#include "patching/binarypatcher.h"
#include "patching/plan/commandplan.h"
#include "patching/formats/elfrunpath.h"
#include "patching/filejob.h"
#include "patching/formats/pathslots.h"
#include "patching/formats/rootrule.h"
#include "patching/textpatcher.h"
#include "patching/formats/wholepathrule.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>

#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#include <aclapi.h>

#include <memory>
#endif

namespace {
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

#ifdef Q_OS_WIN
// Whether a SID is one that may write anything of the user's anyway: the user, SYSTEM, the Administrators.
bool isTrustedSid(PSID sid, PSID user)
{
    return ::EqualSid(sid, user) || ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// Whether `path` has an owner other than those, or an ACE that lets another SID do one of `rights` to it.
// A DACL that cannot be read, or a null DACL (everyone may do everything), counts as such.
bool othersHold(const QString &path, DWORD rights, bool *ownedByOthers)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<char[]> user(new char[size ? size : 1]);
    const bool known = ::GetTokenInformation(token, TokenUser, user.get(), size, &size);
    ::CloseHandle(token);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!known || ::GetNamedSecurityInfoW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                          &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    const PSID self = reinterpret_cast<TOKEN_USER *>(user.get())->User.Sid;
    *ownedByOthers = owner && !isTrustedSid(owner, self);
    bool others = dacl == nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void *ace = nullptr;
        if (!::GetAce(dacl, i, &ace) || static_cast<ACE_HEADER *>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        const auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
        if ((allowed->Mask & rights) != 0 && !isTrustedSid(const_cast<DWORD *>(&allowed->SidStart), self))
            others = true;
    }
    ::LocalFree(descriptor);
    return others;
}
#endif

// Why bin/qmake must not run, None when it may: code that someone other than root and the
// running user put there, or may change, would run with the rights of whoever verifies. `qmake`
// is the file as named in the installation, `resolved` the same with every link followed.
Reason whyNotTrusted(const QFileInfo &qmake, const QFileInfo &resolved, const QString &name)
{
#ifdef Q_OS_UNIX
    if (resolved.ownerId() != 0 && resolved.ownerId() != uint(geteuid()))
        return Reason(ReasonCode::QmakeNotOwned, {name});
    if (resolved.permission(QFile::WriteGroup) || resolved.permission(QFile::WriteOther)
        || othersMayReplaceIn(qmake.absoluteDir()) || othersMayReplaceIn(resolved.absoluteDir()))
        return Reason(ReasonCode::QmakeWritableByOthers, {name});
#elif defined(Q_OS_WIN)
    // The owner and the DACL, as the security API gives them: who may write, delete or re-permit the
    // program, or delete it from bin or re-permit bin. wine keeps security descriptors of its own, which
    // it fills in for files it did not make; there a qmake is more often left alone than run.
    Q_UNUSED(qmake)
    bool ownedByOthers = false, directoryOwnedByOthers = false;
    const DWORD fileRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    const DWORD directoryRights = FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
    const bool othersWrite = othersHold(resolved.filePath(), fileRights, &ownedByOthers);
    if (ownedByOthers)
        return Reason(ReasonCode::QmakeNotOwned, {name});
    if (othersWrite || othersHold(resolved.absolutePath(), directoryRights, &directoryOwnedByOthers) || directoryOwnedByOthers)
        return Reason(ReasonCode::QmakeWritableByOthers, {name});
#else
    Q_UNUSED(qmake)
    Q_UNUSED(resolved)
    Q_UNUSED(name)
#endif
    return Reason();
}

bool looksLikePath(const QString &answer)
{
    for (const QChar c : answer) {
        if (c.unicode() < 0x20)
            return false;
    }
    return isAbsolutePath(answer.toLocal8Bit());
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

QueryRun runQuery(const QString &qmake, const char *name, int timeoutMs)
{
    QueryRun run;
    QueryProcess process;
    // One channel: the other would fill unread, without bound, meanwhile.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(qmake, {QStringLiteral("-query"), QLatin1String(name)}, QIODevice::ReadOnly);
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

// qmake's answers, against what a patch makes of the slots that hold them (`expected`, by key); none,
// with `notQueried` set, when it is not to be run or cannot run here, or with `failure` set when it
// ran and did not answer as it should.
QVector<CheckedPath> queryQmake(const QString &qtPath, const QVector<PathSlotKey> &slotKeys, const QHash<QByteArray, QByteArray> &expected, int timeoutMs,
                                Reason *notQueried, Reason *failure)
{
    QString qmake = qtPath + QStringLiteral("/bin/qmake");
    if (!QFileInfo::exists(qmake))
        qmake += QStringLiteral(".exe");
    const QString name = relativeToQtPath(qtPath, qmake);
    // What runs is the file that was checked, named with every link resolved: a link in bin could
    // be pointed elsewhere between the check and a run.
    const QFileInfo info(QFileInfo(qmake).canonicalFilePath());
    *notQueried = info.isFile() ? whyNotTrusted(QFileInfo(qmake), info, name) : Reason(ReasonCode::QmakeMissing);
    if (!notQueried->isNone())
        return {};
    qmake = info.filePath();
    QVector<CheckedPath> answers;
    for (const PathSlotKey &slotKey : slotKeys) {
        const QueryRun run = runQuery(qmake, slotKey.queryName.constData(), timeoutMs);
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
        if (how.cause == Cause::None && run.exitCode != 0) {
            // What qmake said first tells why ("Could not find qmake configuration file", ...).
            const QString said = answer.section(QLatin1Char('\n'), 0, 0).trimmed().left(Limits::maxAnswerShown);
            how = {Cause::ExitCode, QString::number(run.exitCode) + (said.isEmpty() ? QString() : QStringLiteral(" : ") + said), false};
        }
        else if (how.cause == Cause::None && !answer.isEmpty() && !looksLikePath(answer))
            how = {Cause::NotAPath, answer.left(Limits::maxAnswerShown), false};
        if (how.cause != Cause::None) {
            *failure = how.as(ReasonCode::QmakeQueryFailed);
            failure->args = QStringList{name};
            return {};
        }
        if (answer.isEmpty())
            continue;
        const QByteArray value = QDir::cleanPath(QDir::fromNativeSeparators(answer)).toLocal8Bit();
        const QByteArray wanted = expected.value(slotKey.key, qtPath.toLocal8Bit() + slotKey.suffix);
        answers.append({QString::fromLatin1(slotKey.queryName), name + QStringLiteral(" -query"), answer,
                        QString::fromLocal8Bit(wanted), value == wanted});
    }
    if (answers.isEmpty())
        *notQueried = Reason(ReasonCode::QmakeGivesNoPath, {name});
    return answers;
}

// The slots of one binary now, against those a patch gives it, one path per key: a file packed with
// slots adds no more than that. `expected` learns what each key's first slot should hold.
bool addSlots(QVector<CheckedPath> *paths, PlannedFile &file, const QByteArray &root, const QVector<PathSlotKey> &slotKeys,
              QHash<QByteArray, QByteArray> *expected)
{
    bool stale = false;
    // Same build, same places: what a patch gives a slot lies where the slot lies now. One not read, or
    // another build than its backup, adds no path: the dry run of its worker says which.
    const LoadedFile now = currentBytes(file);
    // The original is patched where it lies and given back as it was: a large library is in memory
    // twice at most, as it is now and as a patch makes it.
    const bool held = file.original.held();
    LoadedFile original;
    if (held) {
        original.ok = true;
        original.data = file.original.take();
    } else {
        original = originalBytes(file);
    }
    QByteArray &patched = original.data;
    const auto giveBack = [&](SlotRewrite *rewrite) {
        if (rewrite)
            undoChanges(patched, rewrite->changes);
        if (held)
            file.original = HeldBytes(std::move(patched));
    };
    if (!original.ok || !now.ok || original.data.size() != now.data.size()) {
        giveBack(nullptr);
        return false;
    }
    SlotRewrite rewrite = rewriteSlots(patched, root, slotKeys);
    const QByteArray &current = now.data;
    const int first = paths->size();
    forEachPathSlot(current, slotKeys, [&](const FoundSlot &slot) {
        const qsizetype valueStart = slot.offset + slot.key.size();
        const char *zero = slot.room > slot.key.size()
            ? static_cast<const char *>(std::memchr(patched.constData() + valueStart, '\0', size_t(slot.room - slot.key.size())))
            : nullptr;
        const QByteArray shouldBe = zero ? QByteArray(patched.constData() + valueStart, int(zero - patched.constData() - valueStart))
                                         : slot.value;
        if (slot.room > 0 && !expected->contains(slot.key))
            expected->insert(slot.key, shouldBe);
        const bool ok = slot.value == shouldBe;
        stale = stale || !ok;
        const QString key = QString::fromLatin1(slot.key);
        for (int i = first; i < paths->size(); ++i) {
            CheckedPath &path = (*paths)[i];
            if (path.name != key)
                continue;
            if (path.ok && !ok) {
                path.value = QString::fromLocal8Bit(slot.value);
                path.expected = QString::fromLocal8Bit(shouldBe);
                path.ok = false;
            }
            return;
        }
        paths->append({key, file.relativePath, QString::fromLocal8Bit(slot.value), QString::fromLocal8Bit(shouldBe), ok});
    });
    giveBack(&rewrite);
    return stale;
}

// What the file holds now names of the old roots, by the rule of its kind.
void findOldRootNamed(CheckedFile *checked, const PlannedFile &file, const PlanContext &context)
{
    const QByteArray root = context.qtPath.toLocal8Bit();
    const QByteArray current = currentBytes(file).data; // read by the dry run just before
    const PlaceExists placeExists = [&root](const QByteArray &place) { return existsBelow(root, place); };
    if (file.kind == FileKind::Text) {
        checked->oldRootNamed = QString::fromLocal8Bit(oldRootNamed(current, {context.oldRoots, root, placeExists}));
        return;
    }
    if (!isElf(current))
        return;
    const ElfSearchPaths searchPaths = readSearchPaths(current);
    for (const QByteArray &entry : searchPaths.entries()) {
        const RootMatch match = longestOldRoot(entry, context.oldRoots, root, placeExists);
        if (match.index >= 0) {
            checked->oldRootNamed = QString::fromLocal8Bit(context.oldRoots.at(match.index));
            checked->inSearchPath = true;
            return;
        }
    }
}

CheckedFile checkFile(const PlannedFile &file, const PlanContext &context, bool staleSlots)
{
    CheckedFile checked;
    checked.staleSlots = staleSlots;
    checked.path = file.path;
    checked.relativePath = file.relativePath;
    checked.kind = file.kind;
    const auto judge = [&]() {
        if (file.treatment == Treatment::Refused)
            return file.refusal;
        // The worker takes the bytes it is handed, and changes them without a copy: what verify looks at
        // of the file afterwards is read again.
        const PlannedFile copy = file;
        if (file.treatment == Treatment::Binary)
            return patchBinaryFile(context.qtPath.toLocal8Bit(), copy, context, WriteMode::DryRun);
        return patchTextFile(context.qtPath, copy, context, WriteMode::DryRun);
    };
    const FileOutcome judged = FileJob::callWorker(judge);
    // A dry run that could not write still says the file needs a change; that is all verify asks.
    const ReasonCode code = judged.reason.code;
    const bool needsChange = judged.status == OutcomeStatus::Changed || code == ReasonCode::FileNotWritten
        || code == ReasonCode::BackupNotMade;
    checked.relocated = !needsChange && !judged.isFailure();
    if (checked.relocated)
        return checked;
    checked.unreadable = code == ReasonCode::FileNotRead || code == ReasonCode::BackupNotRead
        || code == ReasonCode::DirectoryNotRead || code == ReasonCode::UnreadableName;
    if (!needsChange) {
        checked.problem = judged.reason;
        return checked;
    }
    findOldRootNamed(&checked, file, context);
    return checked;
}
} // namespace

bool Verification::relocated() const
{
    if (paths.isEmpty() || !queryFailure.isNone())
        return false;
    for (const CheckedPath &path : paths) {
        if (!path.ok)
            return false;
    }
    for (const CheckedFile &file : files) {
        if (!file.relocated)
            return false;
    }
    return true;
}

Verification verifyInstallation(const QString &qtPath, int timeoutMs)
{
    Verification verification;
    verification.qtPath = qtPath;
    // The command it judges: its plan, with what every file holds now read too.
    CommandPlan plan = planCommand(Command::Patch, qtPath, true, PlanPurpose::Look);
    verification.oldRoots = plan.oldRoots;
    verification.identifiesQt = plan.identifiesQt;
    QVector<CheckedPath> slotPaths;
    QHash<QByteArray, QByteArray> expected;
    const QByteArray root = qtPath.toLocal8Bit();
    for (PlannedFile &file : plan.files) {
        if (file.treatment == Treatment::OtherName)
            continue;
        if (file.treatment == Treatment::Refused && !file.refusal.isFailure())
            continue; // a backup, a directory: nothing of the installation's paths
        const bool staleSlots = file.treatment == Treatment::Binary && file.holdsSlots
            && addSlots(&slotPaths, file, root, plan.context.generation->slotKeys, &expected);
        if (file.exists || file.treatment == Treatment::Refused)
            verification.files.append(checkFile(file, plan.context, staleSlots));
    }
    verification.paths = queryQmake(qtPath, plan.context.generation->slotKeys, expected, timeoutMs, &verification.notQueriedReason, &verification.queryFailure);
    verification.queried = !verification.paths.isEmpty();
    verification.paths += slotPaths;
    return verification;
}
