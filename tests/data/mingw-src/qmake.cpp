// The entry point of the small qmake.exe, linked without the C runtime: it exits with the first byte
// of the prefix path, which keeps the slots referenced.
#include "qconfig.h"

extern "C" int qmakeEntry()
{
    return qt_configure_value(1)[0];
}
