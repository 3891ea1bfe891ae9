#ifndef ZEL_TEXTREPORT_H
#define ZEL_TEXTREPORT_H

#include "patching/commandrun.h"
#include "patching/inspection.h"

#include <QString>
#include <QVector>

// The French report of the front end, one line per file.

// The line for one treated file: its path relative to the installation and what happened.
QString fileReportLine(Command command, WriteMode mode, const FileReport &report);

// The closing line of a run.
QString commandSummaryLine(Command command, WriteMode mode, const QVector<FileReport> &reports);

// The whole inspection, several lines per file, then a closing line.
QString inspectionText(const Inspection &inspection);
QString inspectionSummaryLine(const Inspection &inspection);

// A rejected directory: the path and the window's message for the failed check.
QString rejectedDirLine(const QString &qtPath, const QString &message);

#endif
