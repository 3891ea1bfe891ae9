#ifndef ZEL_COMMANDREPORT_H
#define ZEL_COMMANDREPORT_H

#include "patching/commandrun.h"

class QWidget;

// The box that ends a command: the information box when no file failed,
// otherwise a warning listing each failed file and its reason.
void showCommandEnd(QWidget *parent, Command command, const QVector<FileReport> &reports);

// The warning's text for a run in which some files failed.
QString failedFilesText(Command command, const QVector<FileReport> &reports);

#endif
