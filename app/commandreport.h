#ifndef ZEL_COMMANDREPORT_H
#define ZEL_COMMANDREPORT_H

#include "restoring/commandrun.h"

class QWidget;

// How a command shows itself in the window: a busy dialog for the whole run,
// then one box that says how the run ended.

// Runs `command` on the installation at `qtPath` behind a window-modal busy dialog
// without a cancel button, then shows the end box over it; returns once the box is closed.
void runCommandInWindow(QWidget *window, Command command, const QString &qtPath);

// The box that ends a command: the information box when no file failed,
// otherwise a warning listing each failed file and its reason.
void showCommandEnd(QWidget *parent, Command command, const QVector<FileReport> &reports);

// The warning's text for a run in which some files failed: the first of them, and how many more.
QString failedFilesText(Command command, const QVector<FileReport> &reports);

// Every failed file and its reason, for the warning's details when its text cannot list them all;
// empty otherwise.
QString failedFilesDetails(const QVector<FileReport> &reports);

#endif
