#ifndef ZEL_JSONREPORT_H
#define ZEL_JSONREPORT_H

#include "app/qtpathcheck.h"
#include "patching/commandrun.h"
#include "patching/inspection.h"

#include <QByteArray>
#include <QJsonObject>

// The machine-readable report: one JSON document per run, with English keys
// that stay stable; the reason texts inside stay French, as the window shows them.

QJsonObject commandReportJson(Command command, const QString &qtPath, WriteMode mode,
                              const QVector<FileReport> &reports);
QJsonObject inspectionJson(const Inspection &inspection);
QJsonObject rejectedDirJson(const QString &commandKey, const QString &qtPath, QtPathCheck check);

// Stable English name of a failed check ("not-an-installation", "too-long", "not-ascii-or-space").
QString qtPathCheckKey(QtPathCheck check);

QByteArray jsonDocumentBytes(const QJsonObject &object);

#endif
