#ifndef ZEL_LISTING_H
#define ZEL_LISTING_H

#include <QFileInfoList>
#include <QString>
#include <QStringList>
#include <QVector>

// The two commands of the tool. They visit the same places in the same order.
enum class Command { Patch, Unpatch };

enum class FileKind { Binary, Text };

// One step of a command's script: a directory listed with name patterns, or one fixed file.
struct CommandStep {
    QString relativePath;  // "bin", "lib", "lib/*", "mkspecs/default/qmake.conf", ".qmake.cache"
    QStringList patterns;  // empty for a fixed file
    bool isListing() const { return !patterns.isEmpty(); }
};

struct QtGeneration;

// The steps of `command` on an installation of `generation`, in the order the command runs them.
const QVector<CommandStep> &commandSteps(const QtGeneration &generation, Command command);

// The folders a step's relative path names below `qtPath`: itself, or for "lib/*" each folder of lib
// (a distribution's multiarch folder), a bounded number of them, by name.
QStringList stepFolders(const QString &qtPath, const QString &relativePath);

// The entries a listing step yields for the installation at `qtPath`, taken now.
QFileInfoList takeListing(const QString &qtPath, const CommandStep &step);

// `path` relative to the installation root `qtPath`, as reports show it.
QString relativeToQtPath(const QString &qtPath, const QString &path);

// Every file the window's `command` would hand to a worker, in order, listings taken now.
QStringList commandFiles(const QtGeneration &generation, const QString &qtPath, Command command);

// The build metadata of the installation (absolute paths, in the order they are treated), as its
// generation lays it out; a fixed file counts when it or its backup is there.
QStringList metadataFiles(const QtGeneration &generation, const QString &qtPath);

// Whether a file is build metadata (a .prl, .la or .pc file) by its name, wherever it is listed.
bool isMetadataName(const QtGeneration &generation, const QString &fileName);

// Whether a file is one of the configuration files the line rule rewrites, by its name.
bool isConfigName(const QtGeneration &generation, const QString &fileName);

#endif
