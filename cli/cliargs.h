#ifndef ZEL_CLIARGS_H
#define ZEL_CLIARGS_H

#include <QString>
#include <QStringList>

// What the command line asks for, once parsed and checked for usage errors.
enum class CliAction { Help, Version, Patch, Unpatch, Inspect, UsageError };

enum ExitStatus { ExitSuccess = 0, ExitFilesFailed = 1, ExitUsage = 2 };

struct CliRequest {
    CliAction action = CliAction::UsageError;
    QString qtPath; // absolute, "/" separators, no trailing slash
    bool dryRun = false;
    bool json = false;
    QString error; // French, for UsageError
};

// Parses the process arguments (program name first).
CliRequest parseCliArguments(const QStringList &arguments);

// DIR as the directory dialog would give it: absolute, "/" separators, no trailing slash.
QString absoluteQtPath(const QString &dir);

// The English name of an action, as used on the command line and in JSON reports.
QString actionKey(CliAction action);

QString helpText();
QString versionText();
QString tryHelpText();

#endif
