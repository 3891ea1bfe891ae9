#include "app/commandreport.h"

// Placeholder until the commands land.
void showCommandEnd(QWidget *, Command, const QVector<FileReport> &) {}
QString failedFilesText(Command, const QVector<FileReport> &) { return QString(); }
