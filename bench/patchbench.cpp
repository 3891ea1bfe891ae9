// Measures the command-line patch against a durable I/O baseline at 64 and 256 MiB, and its
// peak memory. Built with the project, run by hand: patchbench [directory on the disk to test]
// PATCHBENCH_CLI=path measures another build of the command-line tool.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
struct Sample {
    double seconds = 0;
    long peakKiB = 0;
};

// One run of the command-line tool, with its wall time and its peak resident memory.
Sample runCli(const char *command, const QString &qt)
{
    const QByteArray cli = qEnvironmentVariableIsSet("PATCHBENCH_CLI") ? qgetenv("PATCHBENCH_CLI") : ZEL_CLI_PATH;
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child == 0) {
        if (freopen("/dev/null", "w", stdout))
            execl(cli.constData(), cli.constData(), command, QFile::encodeName(qt).constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s failed", command);
    return {timer.nsecsElapsed() / 1e9, usage.ru_maxrss};
}

void syncFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || ::fsync(file.handle()) != 0)
        qFatal("cannot sync %s", qPrintable(path));
}

// What any safe rewrite must do at least: copy the backup through user space and sync it,
// read the file, write and sync the new file, and rename it into place.
double baseline(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const QString backup = path + QStringLiteral(".base"), next = path + QStringLiteral(".new");
    QFile source(path), copy(backup), file(path), out(next);
    if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly))
        qFatal("baseline copy failed");
    for (QByteArray piece = source.read(1 << 20); !piece.isEmpty(); piece = source.read(1 << 20))
        copy.write(piece);
    if (!copy.flush() || ::fsync(copy.handle()) != 0 || !file.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        qFatal("baseline failed");
    const QByteArray data = file.readAll();
    if (out.write(data) != data.size() || !out.flush() || ::fsync(out.handle()) != 0)
        qFatal("baseline write failed");
    out.close();
    if (::rename(QFile::encodeName(next).constData(), QFile::encodeName(path).constData()) != 0)
        qFatal("baseline rename failed");
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile::remove(backup);
    return seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/patchbench-XXXXXX") : QString());
    QTextStream out(stdout);
    const QString qt = dir.path() + QStringLiteral("/qt");
    const QString library = qt + QStringLiteral("/lib/libQtCore.so");
    if (!dir.isValid() || !QDir().mkpath(qt + QStringLiteral("/bin")) || !QDir().mkpath(qt + QStringLiteral("/lib")))
        qFatal("no room for the installation");
    out << "size     first patch  re-patch  (times the durable baseline)  peak memory\n";
    for (const qint64 mib : {64, 256}) {
        // Bytes of no pattern, as in a real library, where a key's first byte is common.
        QByteArray content(mib << 20, Qt::Uninitialized);
        quint32 state = 1;
        for (char &byte : content)
            byte = char((state = state * 1664525u + 1013904223u) >> 24);
        const QByteArray slot = QByteArray("qt_prfxpath=/old/root").leftJustified(256, '\0');
        for (const qint64 at : {qint64(4096), qint64(content.size() / 2), qint64(content.size() - 8192)})
            content.replace(int(at), slot.size(), slot);
        std::vector<double> base, first, again;
        long peak = 0;
        for (int round = 0; round < 3; ++round) {
            QFile::remove(library + QStringLiteral(".back"));
            QFile file(library);
            if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
                qFatal("cannot write the library");
            file.close();
            syncFile(library);
            base.push_back(baseline(library));
            const Sample made = runCli("patch", qt); // makes the backup, then writes
            runCli("unpatch", qt);
            const Sample redone = runCli("patch", qt); // from the existing backup
            first.push_back(made.seconds);
            again.push_back(redone.seconds);
            peak = std::max({peak, made.peakKiB, redone.peakKiB});
        }
        const double b = median(base);
        out << qSetFieldWidth(4) << mib << qSetFieldWidth(0) << " MiB  " << QString::number(median(first) / b, 'f', 2)
            << "         " << QString::number(median(again) / b, 'f', 2) << "                                "
            << peak / 1024 << " MiB = " << QString::number(peak / 1024.0 / mib, 'f', 2) << " x file (limit "
            << 2 * mib + 32 << " MiB)\n";
    }
    return 0;
}
