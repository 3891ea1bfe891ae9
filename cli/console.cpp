#include "cli/console.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
bool stdoutFailed = false;

void writeBytes(std::FILE *stream, const QByteArray &bytes)
{
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    if ((written != size_t(bytes.size()) || std::fflush(stream) != 0) && stream == stdout)
        stdoutFailed = true;
}
} // namespace

bool reportWriteFailed()
{
    return stdoutFailed || std::ferror(stdout) != 0;
}

void writeOut(const QString &text)
{
    writeBytes(stdout, text.toUtf8());
}

void writeOutBytes(const QByteArray &bytes)
{
    writeBytes(stdout, bytes);
}

void writeErr(const QString &text)
{
    writeBytes(stderr, text.toUtf8());
}

void prepareConsole()
{
#ifdef Q_OS_WIN
    SetConsoleOutputCP(CP_UTF8);
#endif
}
