#ifndef ZEL_REPORT_H
#define ZEL_REPORT_H

#include "app/qtpathcheck.h"
#include "restoring/commandrun.h"
#include "patching/inspection.h"
#include "patching/verification.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// One report of the front end, whatever the command: the JSON document's parts and, for
// each, the lines of the text form. Renderers below only lay it out.

struct ReportEntry {
    QJsonObject json; // file, path, kind, status, reason, and what the command adds
    QString text;     // line(s) of text; empty when the text form leaves the entry out
};

struct Report {
    QJsonObject head;      // tool, version, command, qtPath, and what the command adds
    QStringList headLines; // lines before the files
    QVector<ReportEntry> files;
    QVector<ReportEntry> paths; // verify: the install paths
    QString note; // lines after the files: with --deep the old roots, or why nothing was rewritten
    QJsonObject summary;
    QString message; // closing line
    int exitCode = 0;
    Q_DECLARE_TR_FUNCTIONS(Report)
};

ReportEntry commandEntry(Command command, WriteMode mode, const FileReport &report);
// The report of a run of `plan`; with --deep it names the old roots, or says there was nothing to rewrite.
Report commandReport(const CommandPlan &plan, WriteMode mode, const QVector<FileReport> &reports);
Report inspectReport(const Inspection &inspection);
Report verifyReport(const Verification &verification);
Report rejectedReport(const QString &command, const QString &qtPath, QtPathCheck check);
// Arguments the front end does not understand, for --json.
Report usageReport(const QString &command, const QString &message);
// A directory where nothing identifies a Qt installation.
Report notQtReport(const QString &command, const QString &qtPath);
// patch --host-qt refused (exit 2): `check` is "not-a-cross-kit" or "no-host-tools".
Report hostQtRefusedReport(const QString &command, const QString &qtPath, const QString &check, const QString &message);
// A run refused as a whole, before it read the tree: another run holds the installation (exit 1).
Report runRefusedReport(const QString &command, const QString &qtPath, const Reason &reason);

QByteArray reportJson(const Report &report);
// The text form; `withFiles` false when the file lines were already written as they came.
QString reportText(const Report &report, bool withFiles = true);

#endif
