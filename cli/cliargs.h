#ifndef ZEL_CLIARGS_H
#define ZEL_CLIARGS_H

#include <QString>
#include <QStringList>

// What the command line asks for, once parsed and checked for usage errors.
enum class CliAction { Help, Version, Patch, Unpatch, Inspect, Verify, UsageError };

enum ExitStatus { ExitSuccess = 0, ExitFailed = 1, ExitUsage = 2 };

struct CliRequest {
    CliAction action = CliAction::UsageError;
    QString command; // "patch", "unpatch", "inspect" or "verify"
    QString qtPath;  // absolute, "/" separators, no trailing slash
    bool deep = false;
    bool dryRun = false;
    bool json = false;
    QString hostQt; // patch --host-qt: where a cross kit's host Qt now is, absolute
    QString error; // for UsageError
};

// Parses the process arguments (program name first).
CliRequest parseCliArguments(const QStringList &arguments);

QString helpText();

#endif
