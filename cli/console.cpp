#include "cli/console.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
void writeBytes(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

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
