#include "patching/qmaketrust.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#include <aclapi.h>

#include <memory>
#endif

namespace {
#ifdef Q_OS_UNIX
// Whether anyone but root and the running user could put another file in a place below `dir`:
// a directory on the way is someone else's, or writable by others without the sticky bit that
// keeps their entries apart.
bool othersMayReplaceIn(QDir dir)
{
    do {
        struct stat info;
        if (::stat(QFile::encodeName(dir.absolutePath()).constData(), &info) != 0
            || (info.st_uid != 0 && info.st_uid != geteuid())
            || ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0))
            return true;
    } while (dir.cdUp());
    return false;
}
#endif

#ifdef Q_OS_WIN
// Whether a SID is one that may write anything of the user's anyway: the user, SYSTEM, the Administrators.
bool isTrustedSid(PSID sid, PSID user)
{
    return ::EqualSid(sid, user) || ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// Whether `path` has an owner other than those, or an ACE that lets another SID do one of `rights` to it.
// A DACL that cannot be read, or a null DACL (everyone may do everything), counts as such.
bool othersHold(const QString &path, DWORD rights, bool *ownedByOthers)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<char[]> user(new char[size ? size : 1]);
    const bool known = ::GetTokenInformation(token, TokenUser, user.get(), size, &size);
    ::CloseHandle(token);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!known || ::GetNamedSecurityInfoW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                          &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    const PSID self = reinterpret_cast<TOKEN_USER *>(user.get())->User.Sid;
    *ownedByOthers = owner && !isTrustedSid(owner, self);
    bool others = dacl == nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void *ace = nullptr;
        if (!::GetAce(dacl, i, &ace) || static_cast<ACE_HEADER *>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        const auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
        if ((allowed->Mask & rights) != 0 && !isTrustedSid(const_cast<DWORD *>(&allowed->SidStart), self))
            others = true;
    }
    ::LocalFree(descriptor);
    return others;
}
#endif

} // namespace

Reason whyNotTrusted(const QFileInfo &qmake, const QFileInfo &resolved, const QString &name)
{
#ifdef Q_OS_UNIX
    if (resolved.ownerId() != 0 && resolved.ownerId() != uint(geteuid()))
        return Reason(ReasonCode::QmakeNotOwned, {name});
    if (resolved.permission(QFile::WriteGroup) || resolved.permission(QFile::WriteOther)
        || othersMayReplaceIn(qmake.absoluteDir()) || othersMayReplaceIn(resolved.absoluteDir()))
        return Reason(ReasonCode::QmakeWritableByOthers, {name});
#elif defined(Q_OS_WIN)
    // The owner and the DACL, as the security API gives them: who may write, delete or re-permit the
    // program, or delete it from bin or re-permit bin. wine keeps security descriptors of its own, which
    // it fills in for files it did not make; there a qmake is more often left alone than run.
    Q_UNUSED(qmake)
    bool ownedByOthers = false, directoryOwnedByOthers = false;
    const DWORD fileRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    const DWORD directoryRights = FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
    const bool othersWrite = othersHold(resolved.filePath(), fileRights, &ownedByOthers);
    if (ownedByOthers)
        return Reason(ReasonCode::QmakeNotOwned, {name});
    if (othersWrite || othersHold(resolved.absolutePath(), directoryRights, &directoryOwnedByOthers) || directoryOwnedByOthers)
        return Reason(ReasonCode::QmakeWritableByOthers, {name});
#else
    Q_UNUSED(qmake)
    Q_UNUSED(resolved)
    Q_UNUSED(name)
#endif
    return Reason();
}
