#ifndef ZEL_HOSTQT_H
#define ZEL_HOSTQT_H

#include <QByteArray>
#include <QString>
#include <QVector>

struct QtGeneration;

// A cross-compiling kit runs the tools of another Qt, its host Qt, which its wrapper scripts
// (bin/qmake, bin/qtpaths...) and CMake files name by absolute path, and bin/target_qt.conf by a path
// relative to its folder.

// Whether the installation at `qtPath` is such a kit: its generation has host files and bin/target_qt.conf is there.
bool isCrossKit(const QtGeneration &generation, const QString &qtPath);

// The host Qt prefixes the file `relativePath` of a kit records in `bytes`: a wrapper's absolute
// path to bin/<tool>, a CMake file's initial host path. None for any other file.
QVector<QByteArray> recordedHostPrefixes(const QtGeneration &generation, const QString &relativePath, const QByteArray &bytes);

// Whether `dir` holds a Qt's host tools: bin/qmake, qmake6, qtpaths or qtpaths6, or libexec/moc; a
// kit (bin/target_qt.conf) never does.
bool holdsHostTools(const QString &dir);

#endif
