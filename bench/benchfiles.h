// The files a bench run works on: the large library, the installation around it, and the
// helpers that fail loudly, since a bench that goes on after a failed step measures nothing.
#pragma once

#include <filesystem>
#include <string>

[[noreturn]] void benchFailed(const std::string &what);
[[noreturn]] void systemCallFailed(const std::string &what); // adds errno's reason

// Bytes of no pattern, as in a real library, with the eleven path slots of a Qt 4 QtCore at its
// start, its middle and its end, each slot its key, the old root's path and zeros to 520 bytes.
void writeLibrary(const std::filesystem::path &path, long long mebibytes);

// A Linux-shaped Qt 4 installation at `root`, as scripts/make-sample.sh lays it out: the small
// files from `sample`, QtCore copied from `library`.
void layOutInstallation(const std::filesystem::path &root, const std::filesystem::path &sample,
                        const std::filesystem::path &library);

// Writes back everything still dirty on the file system that holds `path`, so that the next
// run starts from files that are in the page cache and clean.
void syncFileSystem(const std::filesystem::path &path);
