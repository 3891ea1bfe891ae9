#include "app/language.h"
#include "app/qtpathcheck.h"
#include "cli/cliargs.h"
#include "cli/report.h"
#include "restoring/commandrun.h"
#include "patching/inspection.h"
#include "patching/qt/hostqt.h"
#include "patching/store/runlock.h"
#include "patching/verification.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <csignal>
#include <cstdio>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
bool outputFailed = false;

// UTF-8, flushed at once so that a long run shows its progress.
void write(std::FILE *stream, const QByteArray &bytes)
{
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    if ((!written || std::fflush(stream) != 0) && stream == stdout)
        outputFailed = true;
}

Report runPatchOrUnpatch(const CliRequest &request)
{
    const Command command = request.action == CliAction::Patch ? Command::Patch : Command::Unpatch;
    const WriteMode mode = request.dryRun ? WriteMode::DryRun : WriteMode::Apply;
    FileReportHandler onFileDone;
    if (!request.json) {
        onFileDone = [&](const FileReport &report) {
            write(stdout, (commandEntry(command, mode, report).text + QLatin1Char('\n')).toUtf8());
        };
    }
    // Computed before anything is written, the old roots from the files as the build left them. The
    // run takes the bytes the plan read; the report needs only what the plan found.
    const CommandPlan plan = planCommand(command, request.qtPath, request.deep, PlanPurpose::Run, Limits::heldBytesBudget, request.hostQt,
                                          walkJudge(mode));
    if (!plan.identifiesQt)
        return notQtReport(request.command, request.qtPath);
    // --host-qt names a kit's host Qt: refused for a tree that is no kit, and for a folder that holds no Qt tools.
    if (!request.hostQt.isEmpty() && !plan.context.crossKit)
        return hostQtRefusedReport(request.command, request.qtPath, QStringLiteral("not-a-cross-kit"),
                                   Report::tr("--host-qt : %1 n'est pas un kit de compilation croisée (aucun bin/target_qt.conf) : "
                                              "il n'a pas de Qt hôte").arg(request.qtPath));
    if (!request.hostQt.isEmpty() && !holdsHostTools(request.hostQt))
        return hostQtRefusedReport(request.command, request.qtPath, QStringLiteral("no-host-tools"),
                                   Report::tr("--host-qt : %1 n'est pas un Qt hôte : il ne contient aucun de ses outils (bin/qmake, bin/qtpaths, "
                                              "libexec/moc), ou c'est un kit (bin/target_qt.conf)").arg(request.hostQt));
    return commandReport(plan, mode, runPlan(plan, mode, onFileDone));
}

// The command, while no other run may touch the installation: inspect and verify too, so that they
// never judge a tree half-written by another run.
Report runHoldingLock(const CliRequest &request)
{
    const bool writes = (request.action == CliAction::Patch || request.action == CliAction::Unpatch) && !request.dryRun;
    const RunLock lock(request.qtPath, writes ? RunAccess::Writes : RunAccess::ReadsOnly);
    if (!lock.refusal().isNone())
        return runRefusedReport(request.command, request.qtPath, lock.refusal());
    if (request.action == CliAction::Inspect) {
        const Inspection inspection = inspectInstallation(request.qtPath);
        return inspection.identifiesQt ? inspectReport(inspection) : notQtReport(request.command, request.qtPath);
    }
    if (request.action == CliAction::Verify) {
        const Verification verification = verifyInstallation(request.qtPath);
        return verification.identifiesQt ? verifyReport(verification) : notQtReport(request.command, request.qtPath);
    }
    return runPatchOrUnpatch(request);
}

// The process as a command-line run needs it: its language and names, and writes that fail rather
// than kill it.
void setUpProcess()
{
    installTranslation();
#ifdef SIGPIPE
    // A reader that goes away (`| head`) must not kill a run half-way through an
    // installation; the failed write is reported at the end instead.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a write over the file-size limit fails with its reason instead
#endif
#ifdef Q_OS_WIN
    SetConsoleOutputCP(CP_UTF8);
#endif
    QCoreApplication::setApplicationName(QStringLiteral("zel-qt-patcher-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEL_VERSION));
    // The workers' debug line per file would bury the report; QT_LOGGING_RULES="default.debug=true" shows it.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

// The exit status of a request answered without a directory (help, version, a usage error); none for
// a command.
std::optional<int> answerWithoutDirectory(const CliRequest &request)
{
    switch (request.action) {
    case CliAction::Help:
        write(stdout, helpText().toUtf8());
        return ExitSuccess;
    case CliAction::Version:
        write(stdout, (QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion()
                       + QLatin1Char('\n')).toUtf8());
        return ExitSuccess;
    case CliAction::UsageError:
        write(stderr, QCoreApplication::translate("Cli", "zel-qt-patcher-cli : %1\nEssayez « zel-qt-patcher-cli --help ».\n")
                          .arg(request.error).toUtf8());
        if (request.json)
            write(stdout, reportJson(usageReport(request.command, request.error)));
        return ExitUsage;
    default:
        return std::nullopt;
    }
}

// A report of a run refused as a whole: its message on the standard error, the document with --json.
void writeRefusal(const Report &report, bool json)
{
    write(stderr, (report.message + QLatin1Char('\n')).toUtf8());
    if (json)
        write(stdout, reportJson(report));
}
} // namespace

int main(int argc, char *argv[])
{
    // A core application only: the background file jobs need its event loop, not a display.
    QCoreApplication app(argc, argv);
    setUpProcess();
    const CliRequest request = parseCliArguments(QCoreApplication::arguments());
    if (const std::optional<int> answered = answerWithoutDirectory(request))
        return *answered;

    // A host Qt's place is written into the kit's files as the installation's is: the same checks.
    for (const QString &path : {request.qtPath, request.hostQt}) {
        const QtPathCheck check = path.isEmpty() ? QtPathCheck::Accepted : checkQtPath(path);
        if (check != QtPathCheck::Accepted) {
            writeRefusal(rejectedReport(request.command, path, check), request.json);
            return ExitUsage;
        }
    }
    const Report report = runHoldingLock(request);
    if (report.head.contains(QStringLiteral("error"))) {
        writeRefusal(report, request.json);
        return report.exitCode;
    }
    const bool streamed = request.action == CliAction::Patch || request.action == CliAction::Unpatch;
    write(stdout, request.json ? reportJson(report) : reportText(report, !streamed).toUtf8());
    if (outputFailed) {
        write(stderr, QCoreApplication::translate("Cli", "zel-qt-patcher-cli : le rapport n'a pas pu être écrit en entier\n").toUtf8());
        return ExitFailed;
    }
    return report.exitCode;
}
