#ifndef ZEL_FILEOPERATIONS_H
#define ZEL_FILEOPERATIONS_H

#include "patching/base/fileoutcome.h"

#include <QFileDevice>
#include <QString>

class QTemporaryFile;

// The system calls that put new bytes on the disk under a name. A test derives from it to make
// one of them fail as the system would (errno set), which no permission trick does for root.
class FileOperations {
public:
    virtual ~FileOperations() = default;
    // The ones the tool uses.
    static const FileOperations &system();

    // QFileDevice::write(); -1 with the system's error set when nothing could be written.
    virtual qint64 write(QFileDevice &file, const char *data, qint64 size) const;
    // fsync(), or FlushFileBuffers() on Windows; false with the system's error set.
    virtual bool sync(QFileDevice &file) const;
#ifndef Q_OS_WIN
    // rename(): `from` takes the place of `to` in one step. Windows replaces through ReplaceFileW
    // (Replacement::commit), whose steps no seam shows.
    virtual bool renameOver(const QString &from, const QString &to) const;
#endif
    // QTemporaryFile::rename(), which refuses a name something already has.
    virtual bool renameNew(QTemporaryFile &file, const QString &to) const;
};

// Writes every byte or fails with the system's reason. The device must be unbuffered: a buffered
// device reports a short write (a file-size limit, a full disk) only at flush time, without the reason.
bool writeAll(QFileDevice &file, const char *data, qint64 size, Failure *failure,
              const FileOperations &operations = FileOperations::system());

// Forces the bytes of an open file to the disk, so that after a power cut a renamed file, or a
// file written in place, holds what was written.
bool syncToDisk(QFileDevice &file, Failure *failure, const FileOperations &operations = FileOperations::system());

// Makes a rename in `directory` survive a power cut. Some file systems cannot sync a directory; the
// rename itself has succeeded then, so nothing is reported.
void syncDirectory(const QString &directory);

#endif
