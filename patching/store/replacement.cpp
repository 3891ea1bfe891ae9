#include "patching/store/replacement.h"

#include "patching/store/attributes.h"
#include "patching/store/backuprule.h"
#include "patching/store/systemerror.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>

#include <string>
#endif

namespace {
#ifdef Q_OS_WIN
// `path` as the wide-character Win32 calls take it: absolute, native separators, and past MAX_PATH
// the \\?\ form, which Qt adds for its own calls but a direct call must add itself.
std::wstring nativePath(const QString &path)
{
    QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (native.size() >= MAX_PATH - 12)
        native = native.startsWith(QLatin1String("\\\\")) ? QStringLiteral("\\\\?\\UNC\\") + native.mid(2)
                                                        : QStringLiteral("\\\\?\\") + native;
    return native.toStdWString();
}

enum class Replaced { Yes, No, TargetLost };

// Replaces the existing file `to`, whose attributes are `attributes`, by `source` through ReplaceFileW,
// which gives the new file what the replaced one had, its attributes, security descriptor and alternate
// streams (MoveFileExW would drop them), and replaces the name alone, so that other hard links keep
// their bytes. `code` is the system's error when it did not.
Replaced replaceExisting(const QString &to, const std::wstring &source, DWORD attributes, int *code)
{
    const std::wstring target = nativePath(to);
    // ReplaceFileW refuses a read-only file: the attribute comes back after.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly)
        ::SetFileAttributesW(target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    *code = replaceRefusal(to);
    bool replaced = *code == 0 && ::ReplaceFileW(target.c_str(), source.c_str(), nullptr, 0, nullptr, nullptr);
    if (!replaced && *code == 0)
        *code = lastSystemError();
    // Documented for ERROR_UNABLE_TO_MOVE_REPLACEMENT without a backup name: the replaced file is
    // gone and the new one keeps its temporary name. It then takes the name as a plain move would.
    const bool targetGone = !replaced && ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (targetGone && ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        replaced = true;
    if (readOnly)
        ::SetFileAttributesW(target.c_str(), attributes);
    return replaced ? Replaced::Yes : targetGone ? Replaced::TargetLost : Replaced::No;
}
#endif
} // namespace

#ifdef Q_OS_WIN
// Asked before the replacement, since a refused ReplaceFileW may leave a file of its own beside the
// target (wine's does).
int replaceRefusal(const QString &path)
{
    const HANDLE handle = ::CreateFileW(nativePath(path).c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return lastSystemError();
    ::CloseHandle(handle);
    return 0;
}
#endif

Replacement::Replacement(const QString &path, const FileOperations &operations)
    : m_path(path), m_operations(operations), m_file(std::make_unique<QTemporaryFile>(temporaryTemplate(path)))
{
}

bool Replacement::open(Failure *failure)
{
    // open(OpenMode) is only reachable through the base class; it is the way to get an unbuffered file.
    clearSystemError();
    return static_cast<QIODevice &>(*m_file).open(QIODevice::ReadWrite | QIODevice::Unbuffered)
        || failOn(failure, *m_file, lastSystemError());
}

bool Replacement::fill(const QByteArray &data, QFile &model, bool keepSetId, Failure *failure, bool *attributeRefused)
{
    // The owner and mode come after the bytes, the attributes last: a write would clear file
    // capabilities, a change of owner the set-id bits.
    if (!writeAll(*m_file, data.constData(), data.size(), failure, m_operations)
        || !takeOwnerAndMode(*m_file, model, keepSetId, failure))
        return false;
    if (attributeRefused && !takeAttributes(*m_file, model, failure)) {
        *attributeRefused = true;
        return false;
    }
    return syncToDisk(*m_file, failure, m_operations);
}

bool Replacement::commit(Failure *failure)
{
    if (!renameOver(failure))
        return false;
    syncDirectory(QFileInfo(m_path).absolutePath());
    return true;
}

bool Replacement::commitNew(Failure *failure)
{
    clearSystemError();
    if (!m_operations.renameNew(*m_file, m_path))
        return failOn(failure, *m_file, lastSystemError());
    m_file->setAutoRemove(false);
    syncDirectory(QFileInfo(m_path).absolutePath());
    return true;
}

// Puts the temporary file in the place of `m_path` in one step, whatever was there.
bool Replacement::renameOver(Failure *failure)
{
    const QString name = m_file->fileName();
#ifdef Q_OS_WIN
    // ReplaceFileW needs the new file closed, and QTemporaryFile::close() keeps its handle open: only
    // its end closes it.
    m_file->setAutoRemove(false);
    m_file.reset();
    const std::wstring target = nativePath(m_path), source = nativePath(name);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    bool replaced = false;
    int code = 0;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        replaced = ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        code = lastSystemError();
    } else {
        const Replaced result = replaceExisting(m_path, source, attributes, &code);
        if (result == Replaced::TargetLost) {
            // The only copy of the new bytes: kept under its temporary name, and the file said not whole.
            failOn(failure, QFile(name), code);
            failure->partlyWritten = true;
            return false;
        }
        replaced = result == Replaced::Yes;
    }
    if (!replaced) {
        QFile::remove(name);
        return failOn(failure, QFile(name), code);
    }
#else
    if (!m_operations.renameOver(name, m_path))
        return failOn(failure, *m_file, lastSystemError());
    m_file->setAutoRemove(false);
#endif
    return true;
}

void removeOwnLeftovers(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    for (const QFileInfo &entry : info.absoluteDir().entryInfoList({name + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System)) {
        // One that cannot be removed harms nothing: no listing ever takes it for a file or a backup.
        if (isOwnLeftover(entry.fileName(), name) && !entry.isSymLink())
            QFile::remove(entry.filePath());
    }
}
