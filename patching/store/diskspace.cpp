#include "patching/store/diskspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/statvfs.h>
#endif

namespace {
qint64 roundedUp(qint64 bytes, qint64 blockSize)
{
    return (bytes + blockSize - 1) / blockSize * blockSize;
}

// The room the old file `path` gives back once a new file is renamed over it: none when another
// name keeps its blocks, or when there is no such file.
qint64 freedByReplacing(const QString &path, qint64 blockSize)
{
#ifdef Q_OS_WIN
    const HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    if (!known || info.nNumberOfLinks != 1)
        return 0;
    return roundedUp((qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow, blockSize);
#else
    Q_UNUSED(blockSize);
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || info.st_nlink != 1)
        return 0;
    // What it holds on the disk, in 512-byte units whatever the block: a sparse file gives back less than its size.
    return qint64(info.st_blocks) * 512;
#endif
}
} // namespace

FileSystemSpace fileSystemSpace(const QString &directory)
{
    FileSystemSpace space;
#ifdef Q_OS_WIN
    wchar_t volume[MAX_PATH + 1];
    if (!::GetVolumePathNameW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(directory).utf16()), volume,
                              MAX_PATH + 1))
        return space;
    // What this user may write, quotas included.
    ULARGE_INTEGER available;
    if (!::GetDiskFreeSpaceExW(volume, &available, nullptr, nullptr))
        return space;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (::GetDiskFreeSpaceW(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        space.blockSize = qMax<qint64>(1, qint64(sectorsPerCluster) * bytesPerSector);
    space.id = QString::fromWCharArray(volume);
    space.available = qint64(available.QuadPart);
#else
    const QByteArray native = QFile::encodeName(directory);
    struct stat info;
    struct statvfs room;
    if (::stat(native.constData(), &info) != 0 || ::statvfs(native.constData(), &room) != 0)
        return space;
    space.id = QString::number(quint64(info.st_dev));
    // What anyone but root may write. Root may also write the blocks kept back for it, but not all that
    // f_bfree counts (ext4 keeps clusters back from root too): as root, the run may find more room.
    space.blockSize = qMax<qint64>(1, qint64(room.f_frsize));
    space.available = qint64(room.f_bavail) * space.blockSize;
#endif
    return space;
}

FileOutcome SpaceForecast::weigh(const QString &target, const FileOutcome &outcome)
{
    if (!outcome.need.any())
        return outcome;
    const FileSystemSpace space = m_query(QFileInfo(target).absolutePath());
    // A file system that does not say its room: the dry run says no more than without asking.
    if (space.id.isEmpty())
        return outcome;
    const auto known = m_left.constFind(space.id);
    qint64 left = known == m_left.constEnd() ? space.available : *known;
    const qint64 backup = roundedUp(outcome.need.backupBytes, space.blockSize);
    const qint64 written = roundedUp(outcome.need.newBytes, space.blockSize);
    // The backup comes first, complete or not at all; once made it stays, even when the new file then fails.
    if (backup > left) {
        m_left.insert(space.id, left);
        return FileOutcome::failed(Reason(ReasonCode::BackupNotMade, Cause::NoSpace));
    }
    left -= backup;
    if (written > left) {
        m_left.insert(space.id, left);
        return FileOutcome::failed(Reason(ReasonCode::FileNotWritten, Cause::NoSpace));
    }
    m_left.insert(space.id, left - written + freedByReplacing(target, space.blockSize));
    return outcome;
}
