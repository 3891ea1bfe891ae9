// The least I/O that any safe rewrite of one file needs, the floor patchbench holds the
// command-line tool against: minimalrewrite FILE
// Reads FILE once; writes those bytes to a new file, syncs it and names it FILE.back; changes a
// byte of each qt_prfxpath= value, writes the result to a new file beside FILE, syncs it, renames
// it over FILE and syncs the directory. No Qt, so that its own memory and start-up stay small.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "minimalrewrite: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void writeAll(int fd, const char *bytes, size_t size, const std::string &path)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail("cannot write " + path);
        bytes += written;
        size -= size_t(written);
    }
}

// Writes `bytes` to a new file beside `target` with `mode`, syncs it and renames it to `target`.
void replaceSynced(const std::string &target, const char *bytes, size_t size, mode_t mode)
{
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        fail("cannot create a file beside " + target);
    writeAll(fd, bytes, size, temporary);
    // mkstemp makes the file private; a library that loses its mode is not a safe rewrite.
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        fail("cannot sync " + temporary);
    if (::close(fd) != 0)
        fail("cannot close " + temporary);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        fail("cannot rename " + temporary + " to " + target);
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: minimalrewrite FILE\n");
        return 2;
    }
    const std::string path = argv[1];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        fail("cannot open " + path);
    const size_t size = size_t(info.st_size);
    // Left uninitialised: zeroing it first would touch every page once more than the read does.
    const std::unique_ptr<char[]> bytes(new char[size]);
    for (size_t done = 0; done < size;) {
        const ssize_t got = ::read(fd, bytes.get() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            fail("cannot read " + path);
        done += size_t(got);
    }
    ::close(fd);

    const mode_t mode = info.st_mode & 07777;
    replaceSynced(path + ".back", bytes.get(), size, mode);

    static const char key[] = "qt_prfxpath=";
    const size_t keySize = sizeof key - 1;
    char *const end = bytes.get() + size;
    for (char *at = bytes.get(); (at = static_cast<char *>(::memmem(at, size_t(end - at), key, keySize))); at += keySize) {
        if (at + keySize < end)
            at[keySize] ^= 1;
    }
    replaceSynced(path, bytes.get(), size, mode);

    // One sync of the directory makes both names durable: a journaling file system (ext4, XFS)
    // commits the renames in the order they were made, so the file is never replaced on disk
    // before its backup is named.
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int directoryFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd < 0 || ::fsync(directoryFd) != 0)
        fail("cannot sync the directory " + directory);
    ::close(directoryFd);
    return 0;
}
