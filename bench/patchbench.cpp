// Measures the command-line tool, as whole processes, against minimalrewrite (the least I/O a
// safe rewrite of the library needs) on a QtCore of 64 and 256 MiB: a first patch, a re-patch
// to another root and an unpatch, the two programs run by turn. Built with the project, run by
// hand: patchbench [--dir DIR] [--pairs N] [--sizes MIB,...] [CLI...]
// DIR is a directory on the disk to measure, the current one by default. Each CLI named gets a
// table of its own; without one, PATCHBENCH_CLI, else the build beside this program.
#include "benchfiles.h"
#include "childrun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
enum class Step { FirstPatch, Repatch, Unpatch };

struct Bench {
    fs::path work;    // holds the library and the installation under test, removed at exit
    fs::path sample;  // the small files of a Qt 4 installation
    fs::path minimum; // minimalrewrite
    int pairs = 0; // 0: as many as pairsFor() says
};

// Pairs a row for a library of `mebibytes`: more where a pair is cheap, since this disk is shared
// and single runs vary by tens of percent.
int pairsFor(const Bench &bench, long long mebibytes)
{
    return bench.pairs ? bench.pairs : mebibytes <= 64 ? 15 : 7;
}

fs::path workToRemove;

void removeWork()
{
    std::error_code ignored; // a leftover costs disk space only, and the exit is already under way
    if (!workToRemove.empty())
        fs::remove_all(workToRemove, ignored);
}

// The installation as `step` finds it: laid out anew, for a re-patch and an unpatch patched by
// `cli` first, and for a re-patch moved to another root. Every run starts from this cache
// state: its files just written, synced, in the page cache.
fs::path prepare(const Bench &bench, const std::string &cli, Step step, const fs::path &library)
{
    const fs::path one = bench.work / "one", two = bench.work / "two";
    std::error_code error;
    fs::remove_all(one, error);
    if (!error)
        fs::remove_all(two, error);
    if (error)
        benchFailed("cannot clear " + bench.work.string() + ": " + error.message());
    layOutInstallation(one / "qt", bench.sample, library);
    if (step != Step::FirstPatch)
        runChild({cli, "patch", (one / "qt").string()});
    fs::path installation = one / "qt";
    if (step == Step::Repatch) {
        installation = two / "qt";
        fs::create_directory(two, error);
        if (!error)
            fs::rename(one / "qt", installation, error);
        if (error)
            benchFailed("cannot move the installation: " + error.message());
    }
    syncFileSystem(bench.work);
    return installation;
}

struct stat libraryState(const fs::path &installation)
{
    struct stat state {};
    if (::stat((installation / "lib/libQtCore.so.4.8.7").c_str(), &state) != 0)
        systemCallFailed("cannot find the library in " + installation.string());
    return state;
}

// One run of the CLI on the installation `step` prepares; a run that left the library as it
// was would measure nothing.
ChildRun runCli(const Bench &bench, const std::string &cli, Step step, const fs::path &library)
{
    const fs::path installation = prepare(bench, cli, step, library);
    const struct stat before = libraryState(installation);
    const ChildRun run = runChild({cli, step == Step::Unpatch ? "unpatch" : "patch", installation.string()});
    const struct stat after = libraryState(installation);
    if (after.st_ino == before.st_ino && after.st_mtim.tv_sec == before.st_mtim.tv_sec
        && after.st_mtim.tv_nsec == before.st_mtim.tv_nsec)
        benchFailed(cli + " did not rewrite the library in " + installation.string());
    return run;
}

ChildRun runMinimum(const Bench &bench, const std::string &cli, Step step, const fs::path &library)
{
    const fs::path installation = prepare(bench, cli, step, library);
    return runChild({bench.minimum.string(), (installation / "lib/libQtCore.so.4.8.7").string()});
}

// The value below which `fraction` of `values` lie, interpolated between neighbours.
double quantile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const double at = fraction * double(values.size() - 1);
    const size_t below = size_t(at);
    const double above = below + 1 < values.size() ? values[below + 1] : values[below];
    return values[below] + (above - values[below]) * (at - double(below));
}

double median(const std::vector<double> &values)
{
    return quantile(values, 0.5);
}

void benchCli(const Bench &bench, const std::string &cli, const std::vector<long long> &sizes)
{
    // What each program costs alone, on the test data's own 8 KiB library. The median of a few:
    // how much of the shared libraries a start maps varies by a megabyte from run to run.
    const fs::path smallLibrary = bench.sample / "lib/libQtCore.so.4.8.7";
    std::vector<double> cliAlone, minimumAlone;
    for (int run = 0; run < 5; ++run) {
        cliAlone.push_back(runCli(bench, cli, Step::FirstPatch, smallLibrary).peakKiB);
        minimumAlone.push_back(runMinimum(bench, cli, Step::FirstPatch, smallLibrary).peakKiB);
    }
    const long cliAloneKiB = long(median(cliAlone)), minimumAloneKiB = long(median(minimumAlone));

    std::printf("\n%s\n", cli.c_str());
    std::printf("Pairs of runs, the CLI then minimalrewrite. Each run starts from the installation laid out\n"
                "anew (for a re-patch and an unpatch, patched by this CLI first), synced, in the page cache.\n"
                "Time ratio: median of the pairs' CLI / minimum, with the middle half of the pairs' ratios.\n"
                "Alone (on the 8 KiB test library) the CLI peaks at %ld KiB, minimalrewrite at %ld KiB.\n\n",
                cliAloneKiB, minimumAloneKiB);
    std::printf("size     step         pairs  time ratio (middle half)  CLI peak KiB  x file  beyond itself"
                "   minimum peak KiB  beyond itself   user ms CLI  minimum\n");
    const fs::path library = bench.work / "library";
    for (const long long mebibytes : sizes) {
        writeLibrary(library, mebibytes);
        const double fileKiB = double(mebibytes) * 1024;
        for (const auto &[step, name] : {std::pair{Step::FirstPatch, "first patch"}, std::pair{Step::Repatch, "re-patch"},
                                         std::pair{Step::Unpatch, "unpatch"}}) {
            std::vector<double> ratios, cliUser, minimumUser;
            long cliPeak = 0, minimumPeak = 0;
            const int pairs = pairsFor(bench, mebibytes);
            for (int pair = 0; pair < pairs; ++pair) {
                const ChildRun cliRun = runCli(bench, cli, step, library);
                const ChildRun minimumRun = runMinimum(bench, cli, step, library);
                ratios.push_back(cliRun.seconds / minimumRun.seconds);
                cliUser.push_back(cliRun.userSeconds * 1000);
                minimumUser.push_back(minimumRun.userSeconds * 1000);
                cliPeak = std::max(cliPeak, cliRun.peakKiB);
                minimumPeak = std::max(minimumPeak, minimumRun.peakKiB);
            }
            std::printf("%4lld MiB %-12s %5d  %5.2f (%4.2f-%4.2f)         %12ld  %5.2f   %5.2f x file    %16ld  %5.2f x file    %11.0f  %7.0f\n",
                        mebibytes, name, pairs, median(ratios), quantile(ratios, 0.25), quantile(ratios, 0.75), cliPeak, cliPeak / fileKiB,
                        (cliPeak - cliAloneKiB) / fileKiB, minimumPeak, (minimumPeak - minimumAloneKiB) / fileKiB, median(cliUser),
                        median(minimumUser));
            std::fflush(stdout);
        }
    }
}

[[noreturn]] void usage()
{
    std::fprintf(stderr, "usage: patchbench [--dir DIR] [--pairs N] [--sizes MIB,...] [CLI...]\n");
    std::exit(2);
}
} // namespace

int main(int argc, char *argv[])
{
    Bench bench;
    bench.sample = PATCHBENCH_SAMPLE_DIR;
    bench.minimum = PATCHBENCH_MINIMUM;
    fs::path directory = fs::current_path();
    std::vector<long long> sizes = {64, 256};
    std::vector<std::string> clis;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--dir" && hasValue) {
            directory = argv[++i];
        } else if (argument == "--pairs" && hasValue) {
            bench.pairs = std::atoi(argv[++i]);
            if (bench.pairs < 1)
                usage();
        } else if (argument == "--sizes" && hasValue) {
            sizes.clear();
            for (const char *size = argv[++i]; *size; size += *size == ',') {
                char *end = nullptr;
                sizes.push_back(std::strtoll(size, &end, 10));
                if (end == size || sizes.back() < 1)
                    usage();
                size = end;
            }
        } else if (argument.rfind("--", 0) == 0) {
            usage();
        } else {
            clis.push_back(argument);
        }
    }
    if (clis.empty())
        clis.push_back(std::getenv("PATCHBENCH_CLI") ? std::getenv("PATCHBENCH_CLI") : PATCHBENCH_CLI);

    std::string work = (directory / "patchbench-XXXXXX").string();
    if (!::mkdtemp(work.data()))
        systemCallFailed("cannot make a directory in " + directory.string());
    bench.work = workToRemove = work;
    std::atexit(removeWork);
    for (const std::string &cli : clis)
        benchCli(bench, cli, sizes);
    return 0;
}
