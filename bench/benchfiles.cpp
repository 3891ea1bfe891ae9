#include "benchfiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// The build directory that tests/data/qt-4.8.7 names, so that qmake and QtCore agree on it.
const std::string oldRoot = "/home/builder/qt-4.8.7";
constexpr size_t slotSize = 520;

std::vector<char> pathSlotGroup()
{
    static const char *const keysAndSuffixes[][2] = {
        {"qt_prfxpath=", ""},         {"qt_docspath=", "/doc"},       {"qt_hdrspath=", "/include"},
        {"qt_libspath=", "/lib"},     {"qt_binspath=", "/bin"},       {"qt_plugpath=", "/plugins"},
        {"qt_datapath=", ""},         {"qt_trnspath=", "/translations"}, {"qt_xmplpath=", "/examples"},
        {"qt_demopath=", "/demos"},   {"qt_impspath=", "/imports"},
    };
    std::vector<char> group;
    for (const auto &keyAndSuffix : keysAndSuffixes) {
        std::string slot = keyAndSuffix[0] + oldRoot + keyAndSuffix[1];
        slot.resize(slotSize, '\0');
        group.insert(group.end(), slot.begin(), slot.end());
    }
    return group;
}

void writeAll(int fd, const char *bytes, size_t size, off_t at, const fs::path &path)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, bytes, size, at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            systemCallFailed("cannot write " + path.string());
        bytes += written;
        size -= size_t(written);
        at += written;
    }
}
} // namespace

void benchFailed(const std::string &what)
{
    std::fprintf(stderr, "patchbench: %s\n", what.c_str());
    std::exit(1);
}

void systemCallFailed(const std::string &what)
{
    benchFailed(what + ": " + std::strerror(errno));
}

void writeLibrary(const fs::path &path, long long mebibytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0)
        systemCallFailed("cannot create " + path.string());
    // A megabyte at a time, so that the bench's own memory stays far below the file's.
    std::vector<char> piece(1 << 20);
    unsigned state = 1;
    for (long long m = 0; m < mebibytes; ++m) {
        for (char &byte : piece)
            byte = char((state = state * 1664525u + 1013904223u) >> 24);
        writeAll(fd, piece.data(), piece.size(), off_t(m) << 20, path);
    }
    const std::vector<char> group = pathSlotGroup();
    const off_t size = off_t(mebibytes) << 20;
    for (const off_t at : {off_t(4096), size / 2, size - 4096 - off_t(group.size())})
        writeAll(fd, group.data(), group.size(), at, path);
    if (::fsync(fd) != 0 || ::close(fd) != 0)
        systemCallFailed("cannot sync " + path.string());
}

void layOutInstallation(const fs::path &root, const fs::path &sample, const fs::path &library)
{
    std::error_code error;
    fs::create_directories(root.parent_path(), error);
    fs::copy(sample, root, fs::copy_options::recursive, error);
    if (!error)
        fs::copy_file(library, root / "lib/libQtCore.so.4.8.7", fs::copy_options::overwrite_existing, error);
    if (!error)
        fs::create_symlink("libQtCore.so.4.8.7", root / "lib/libQtCore.so.4", error);
    if (!error)
        fs::create_symlink("libQtCore.so.4.8.7", root / "lib/libQtCore.so", error);
    if (!error)
        fs::create_directory_symlink("linux-g++", root / "mkspecs/default", error);
    if (error)
        benchFailed("cannot lay out " + root.string() + ": " + error.message());
}

void syncFileSystem(const fs::path &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0)
        systemCallFailed("cannot sync the file system of " + path.string());
    ::close(fd);
}
