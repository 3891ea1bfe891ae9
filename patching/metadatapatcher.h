#ifndef ZEL_METADATAPATCHER_H
#define ZEL_METADATAPATCHER_H

#include "patching/fileoutcome.h"
#include "patching/wholepathrule.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The build metadata that names an installation's root besides the files the window
// treats: mkspecs/qconfig.pri, lib/*.prl, lib/*.la, lib/pkgconfig/*.pc and bin/qt.conf, and
// what the window's two configuration files name besides the assignments it rewrites.

// The metadata files of the installation at `qtPath` (absolute paths), in the order they are treated.
QStringList metadataFiles(const QString &qtPath);

// The new content of the metadata file `filePath`, computed from its original bytes: in one of
// the two configuration files the window's line rule rewrites its assignments, and the whole-path
// rule every other line (never the line rule's output); elsewhere the whole-path rule every line.
QByteArray relocateMetadata(const QByteArray &original, const QString &filePath, const Relocation &relocation);

// Rewrites one metadata file from its backup so that each path naming one of `oldRoots` names
// `root` instead. A file that names no old root is left alone and gets no backup.
FileOutcome patchMetadataFile(const QVector<QByteArray> &oldRoots, const QString &root, const QString &filePath,
                              WriteMode mode = WriteMode::Apply);

#endif
