#ifndef ZEL_METADATAPATCHER_H
#define ZEL_METADATAPATCHER_H

#include "patching/commandrun.h"
#include "patching/fileoutcome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The build metadata that names an installation's root besides the files the window
// treats: mkspecs/qconfig.pri, lib/*.prl, lib/*.la, lib/pkgconfig/*.pc and bin/qt.conf, and
// what the window's two configuration files name besides the assignments it rewrites.

// The metadata files of the installation at `qtPath` (absolute paths), in the order they are treated.
QStringList metadataFiles(const QString &qtPath);

// Every occurrence of `oldRoot` as a whole path (followed by a separator, a quote, white
// space, ':', ';', a zero byte or the end) becomes `newRoot`; every other byte is kept. A
// Windows root ("C:/Qt/4.8.1") matches with either separator and in any letter case.
QByteArray rewriteWholePaths(const QByteArray &text, const QByteArray &oldRoot, const QByteArray &newRoot);

// Whether `text` names `oldRoot` as a whole path anywhere `root` itself is not written
// (an old root /opt/qt is not named by /opt/qt/4.8/lib when the root is /opt/qt/4.8).
bool namesOldRoot(const QByteArray &text, const QByteArray &oldRoot, const QByteArray &root);

// Rewrites one metadata file from its backup so that it names `root` instead of `oldRoot`.
// A file that names no old root is left alone and gets no backup.
FileOutcome patchMetadataFile(const QByteArray &oldRoot, const QString &root, const QString &filePath,
                              WriteMode mode = WriteMode::Apply);

// The command with --deep: the window's files, then the build metadata (patching needs
// `oldRoot`; without one only the window's files are treated). The files the metadata step
// rewrites are its alone, so each is rewritten and reported once.
QVector<FileReport> runDeepCommand(Command command, const QString &qtPath, const QString &oldRoot, WriteMode mode,
                                   const FileReportHandler &onFileDone = FileReportHandler());

#endif
