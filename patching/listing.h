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
    QString relativePath;  // "bin", "lib", "mkspecs/default/qmake.conf", ".qmake.cache"
    QStringList patterns;  // empty for a fixed file
    FileKind kind = FileKind::Binary;
    bool isListing() const { return !patterns.isEmpty(); }
};

// The steps of `command`, in the order the command runs them.
QVector<CommandStep> commandSteps(Command command);

// The entries a listing step yields for the installation at `qtPath`, taken now.
QFileInfoList takeListing(const QString &qtPath, const CommandStep &step);

struct ListedFile {
    QString path; // absolute, as the worker receives it
    FileKind kind = FileKind::Binary;
};

// `path` relative to the installation root `qtPath`, as reports show it.
QString relativeToQtPath(const QString &qtPath, const QString &path);

// Every file `command` would hand to a worker, in order, listings taken now.
QVector<ListedFile> commandFiles(const QString &qtPath, Command command);

#endif
