#include "app/qtpathcheck.h"
#include "cli/cliargs.h"
#include "cli/console.h"
#include "cli/jsonreport.h"
#include "cli/textreport.h"
#include "patching/commandrun.h"
#include "patching/inspection.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {
int runInspect(const CliRequest &request)
{
    const Inspection inspection = inspectInstallation(request.qtPath);
    if (request.json)
        writeOutBytes(jsonDocumentBytes(inspectionJson(inspection)));
    else
        writeOut(inspectionText(inspection));
    return inspection.anyReadFailed() ? ExitFilesFailed : ExitSuccess;
}

int runPatchOrUnpatch(const CliRequest &request)
{
    const Command command = request.action == CliAction::Patch ? Command::Patch : Command::Unpatch;
    const WriteMode mode = request.dryRun ? WriteMode::DryRun : WriteMode::Apply;
    FileReportHandler onFileDone;
    if (!request.json) {
        onFileDone = [command, mode](const FileReport &report) {
            writeOut(fileReportLine(command, mode, report));
        };
    }
    const QVector<FileReport> reports = runCommand(command, request.qtPath, mode, onFileDone);
    if (request.json)
        writeOutBytes(jsonDocumentBytes(commandReportJson(command, request.qtPath, mode, reports)));
    else
        writeOut(commandSummaryLine(command, mode, reports));
    return anyFailed(reports) ? ExitFilesFailed : ExitSuccess;
}
} // namespace

int main(int argc, char *argv[])
{
    // A core application only: the background file jobs need its event loop, not a display.
    QCoreApplication app(argc, argv);
#ifdef Q_OS_UNIX
    // A reader that goes away (`| head`) must not kill a run half-way through an
    // installation; the failed write is reported at the end instead.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a write over the file-size limit fails with its reason instead
#endif
    QCoreApplication::setApplicationName(QStringLiteral("zel-qt-patcher-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEL_VERSION));
    prepareConsole();
    // The workers' one debug line per file would bury the report and the errors on
    // stderr; QT_LOGGING_RULES="default.debug=true" brings it back.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const CliRequest request = parseCliArguments(QCoreApplication::arguments());
    switch (request.action) {
    case CliAction::Help:
        writeOut(helpText());
        return ExitSuccess;
    case CliAction::Version:
        writeOut(versionText());
        return ExitSuccess;
    case CliAction::UsageError:
        writeErr(QStringLiteral("zel-qt-patcher-cli : ") + request.error + QLatin1Char('\n') + tryHelpText());
        return ExitUsage;
    case CliAction::Patch:
    case CliAction::Unpatch:
    case CliAction::Inspect:
        break;
    }

    const QtPathCheck check = checkQtPath(request.qtPath);
    if (check != QtPathCheck::Accepted) {
        writeErr(rejectedDirLine(request.qtPath, qtPathCheckMessage(check)));
        if (request.json)
            writeOutBytes(jsonDocumentBytes(rejectedDirJson(actionKey(request.action), request.qtPath, check)));
        return ExitUsage;
    }

    const int status = request.action == CliAction::Inspect ? runInspect(request) : runPatchOrUnpatch(request);
    if (reportWriteFailed()) {
        writeErr(QStringLiteral("zel-qt-patcher-cli : le rapport n'a pas pu être écrit en entier\n"));
        return ExitFilesFailed;
    }
    return status;
}
