#include "patching/store/fileoperations.h"

#include "patching/store/systemerror.h"

#include <QFile>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#include <windows.h>
#endif

const FileOperations &FileOperations::system()
{
    static const FileOperations operations;
    return operations;
}

qint64 FileOperations::write(QFileDevice &file, const char *data, qint64 size) const
{
    return file.write(data, size);
}

bool FileOperations::sync(QFileDevice &file) const
{
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#elif defined(Q_OS_WIN)
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle())));
#else
    Q_UNUSED(file);
    return true;
#endif
}

#ifndef Q_OS_WIN
bool FileOperations::renameOver(const QString &from, const QString &to) const
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}
#endif

bool FileOperations::renameNew(QTemporaryFile &file, const QString &to) const
{
    return file.rename(to);
}

bool writeAll(QFileDevice &file, const char *data, qint64 size, Failure *failure, const FileOperations &operations)
{
    for (qint64 done = 0; done < size;) {
        // After a short write the next attempt fails and carries the reason (EFBIG, ENOSPC, ...).
        clearSystemError();
        const qint64 n = operations.write(file, data + done, size - done);
        if (n <= 0)
            return failOn(failure, file, lastSystemError());
        done += n;
    }
    return true;
}

bool syncToDisk(QFileDevice &file, Failure *failure, const FileOperations &operations)
{
    return operations.sync(file) || failOn(failure, file, lastSystemError());
}

void syncDirectory(const QString &directory)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(directory);
#endif
}
