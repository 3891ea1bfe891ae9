// Loaded with LD_PRELOAD by tst_filesafety: setting the extended attribute user.refused fails, as a file
// system or a security module may refuse an attribute the file has. Root cannot get around it.
#include <cerrno>
#include <cstring>

#include <dlfcn.h>
#include <sys/types.h>

extern "C" int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags)
{
    using Real = int (*)(int, const char *, const void *, size_t, int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fsetxattr"));
    if (std::strcmp(name, "user.refused") == 0) {
        errno = EPERM;
        return -1;
    }
    return real(fd, name, value, size, flags);
}
