// Measures the command-line tool, as whole processes, against minimalrewrite (the least I/O a
// safe rewrite of the library needs) on a QtCore of 64 and 256 MiB: a first patch, a re-patch
// to another root and an unpatch, the two programs run by turn. Built with the project, run by
// hand: patchbench [--dir DIR] [--pairs N] [--sizes MIB,...] [CLI...]
// DIR is a directory on the disk to measure, the current one by default. Each CLI named (a build
// before a change and one after it) gets a table of its own; without one, PATCHBENCH_CLI, else
// the build beside this program.
#include "benchfiles.h"
#include "childrun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

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

struct Row {
    long long mebibytes = 0;
    const char *step = nullptr;
    std::vector<double> ratios, cliUserMs, minimumUserMs;
    long cliPeakKiB = 0, minimumPeakKiB = 0;
};

struct Table {
    std::string cli;
    long cliAloneKiB = 0, minimumAloneKiB = 0;
    std::vector<Row> rows;
};

double loadAverage()
{
    double load = 0;
    return ::getloadavg(&load, 1) == 1 ? load : -1;
}

// What each program costs alone, on the test data's own 8 KiB library. The median of a few:
// how much of the shared libraries a start maps varies by a megabyte from run to run.
Table measureAlone(const Bench &bench, const std::string &cli)
{
    const fs::path smallLibrary = bench.sample / "lib/libQtCore.so.4.8.7";
    std::vector<double> cliAlone, minimumAlone;
    for (int run = 0; run < 5; ++run) {
        cliAlone.push_back(runCli(bench, cli, Step::FirstPatch, smallLibrary).peakKiB);
        minimumAlone.push_back(runMinimum(bench, cli, Step::FirstPatch, smallLibrary).peakKiB);
    }
    Table table;
    table.cli = cli;
    table.cliAloneKiB = long(median(cliAlone));
    table.minimumAloneKiB = long(median(minimumAlone));
    return table;
}

void printTable(const Table &table)
{
    std::printf("\n%s\nAlone (on the 8 KiB test library) it peaks at %ld KiB, minimalrewrite at %ld KiB.\n\n",
                table.cli.c_str(), table.cliAloneKiB, table.minimumAloneKiB);
    std::printf("size     step         pairs  time ratio (middle half)  CLI peak KiB  x file  beyond itself"
                "   minimum peak KiB  beyond itself   user ms CLI  minimum\n");
    for (const Row &row : table.rows) {
        const double fileKiB = double(row.mebibytes) * 1024;
        std::printf("%4lld MiB %-12s %5zu  %5.2f (%4.2f-%4.2f)         %12ld  %5.2f   %5.2f x file    %16ld  %5.2f x file"
                    "    %11.0f  %7.0f\n",
                    row.mebibytes, row.step, row.ratios.size(), median(row.ratios), quantile(row.ratios, 0.25),
                    quantile(row.ratios, 0.75), row.cliPeakKiB, row.cliPeakKiB / fileKiB,
                    (row.cliPeakKiB - table.cliAloneKiB) / fileKiB, row.minimumPeakKiB,
                    (row.minimumPeakKiB - table.minimumAloneKiB) / fileKiB, median(row.cliUserMs),
                    median(row.minimumUserMs));
    }
}

// Every build is measured in the same pass, each run followed by minimalrewrite's, so that a
// change of load on the machine weighs on all the builds alike.
void benchClis(const Bench &bench, const std::vector<std::string> &clis, const std::vector<long long> &sizes)
{
    const double loadAtStart = loadAverage();
    std::vector<Table> tables;
    for (const std::string &cli : clis)
        tables.push_back(measureAlone(bench, cli));
    const fs::path library = bench.work / "library";
    for (const long long mebibytes : sizes) {
        writeLibrary(library, mebibytes);
        for (const auto &[step, name] : {std::pair{Step::FirstPatch, "first patch"}, std::pair{Step::Repatch, "re-patch"},
                                         std::pair{Step::Unpatch, "unpatch"}}) {
            for (Table &table : tables)
                table.rows.push_back({mebibytes, name, {}, {}, {}, 0, 0});
            for (int pair = 0; pair < pairsFor(bench, mebibytes); ++pair) {
                for (Table &table : tables) {
                    Row &row = table.rows.back();
                    const ChildRun cliRun = runCli(bench, table.cli, step, library);
                    const ChildRun minimumRun = runMinimum(bench, table.cli, step, library);
                    row.ratios.push_back(cliRun.seconds / minimumRun.seconds);
                    row.cliUserMs.push_back(cliRun.userSeconds * 1000);
                    row.minimumUserMs.push_back(minimumRun.userSeconds * 1000);
                    row.cliPeakKiB = std::max(row.cliPeakKiB, cliRun.peakKiB);
                    row.minimumPeakKiB = std::max(row.minimumPeakKiB, minimumRun.peakKiB);
                }
            }
            std::fprintf(stderr, "patchbench: %lld MiB %s measured\n", mebibytes, name);
        }
    }
    std::printf("Pairs of runs, the CLI then minimalrewrite, the builds by turn. Each run starts from the\n"
                "installation laid out anew (for a re-patch and an unpatch, patched by that CLI first), synced,\n"
                "in the page cache. Time ratio: median of the pairs' CLI / minimum, and the middle half of them.\n"
                "Load average %.1f at the start, %.1f at the end.\n",
                loadAtStart, loadAverage());
    for (const Table &table : tables)
        printTable(table);
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
    // A signal that ends the bench itself skips the removal; this says what is left to delete.
    std::fprintf(stderr, "patchbench: working in %s\n", work.c_str());
    benchClis(bench, clis, sizes);
    return 0;
}
