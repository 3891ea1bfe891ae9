#ifndef ZEL_DISKSPACE_H
#define ZEL_DISKSPACE_H

#include "patching/base/fileoutcome.h"

#include <QHash>
#include <QString>

#include <functional>

// The room a file system has left, as a dry run weighs a run's writes against it.
struct FileSystemSpace {
    QString id;           // which file system; empty when it could not be asked
    qint64 available = 0; // bytes the user running the tool may still write there
    qint64 blockSize = 1; // the unit a file's size is rounded up to
};

// The file system that holds `directory`, and its room now.
FileSystemSpace fileSystemSpace(const QString &directory);

// Asked once for each file's directory; a test says how much room there is.
using SpaceQuery = std::function<FileSystemSpace(const QString &directory)>;

// The room the files of a dry run take, each in its turn, as the real run in the same order would
// take it: the backup not there yet, then the new file beside the old one, which the rename frees
// when it had a single name.
class SpaceForecast
{
public:
    explicit SpaceForecast(SpaceQuery query = fileSystemSpace) : m_query(std::move(query)) {}

    // The dry run's `outcome` for the file `target`, or the failure for want of room the real run would meet.
    FileOutcome weigh(const QString &target, const FileOutcome &outcome);

private:
    SpaceQuery m_query;
    QHash<QString, qint64> m_left; // by file system: what the files weighed so far leave
};

#endif
