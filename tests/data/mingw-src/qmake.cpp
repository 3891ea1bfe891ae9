// The entry point of the small qmake.exe, linked without the C runtime: `qmake -query NAME` prints the
// path of NAME from its slots, as Qt 4's qmake does, and "**Unknown**" with exit code 101 for a name it
// does not know; so verify can ask it under wine.
#include "qconfig.h"

#include <windows.h>

namespace {
// The names, in the order of the slots after the installation date.
const char *const names[] = {"QT_INSTALL_PREFIX", "QT_INSTALL_DOCS", "QT_INSTALL_HEADERS", "QT_INSTALL_LIBS",
                             "QT_INSTALL_BINS", "QT_INSTALL_PLUGINS", "QT_INSTALL_DATA", "QT_INSTALL_TRANSLATIONS",
                             "QT_INSTALL_EXAMPLES", "QT_INSTALL_DEMOS", "QT_INSTALL_IMPORTS"};

bool same(const char *a, const char *b, unsigned int size)
{
    for (unsigned int i = 0; i < size; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return b[size] == '\0';
}

unsigned int length(const char *text)
{
    unsigned int size = 0;
    while (text[size] != '\0')
        ++size;
    return size;
}

void say(const char *text)
{
    DWORD written = 0;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    WriteFile(out, text, length(text), &written, nullptr);
    WriteFile(out, "\r\n", 2, &written, nullptr);
}
} // namespace

extern "C" int qmakeEntry()
{
    // The last word of the command line is the name asked for.
    const char *line = GetCommandLineA();
    const char *end = line + length(line);
    while (end > line && end[-1] == ' ')
        --end;
    const char *word = end;
    while (word > line && word[-1] != ' ')
        --word;
    for (unsigned int i = 0; i < sizeof(names) / sizeof(names[0]); ++i) {
        if (same(word, names[i], unsigned(end - word))) {
            say(qt_configure_value(i + 1));
            ExitProcess(0);
        }
    }
    say("**Unknown**");
    ExitProcess(101);
}
