// The entry point of the small QtCore DLLs. They are linked without the C runtime, which would add
// tens of KiB and nothing the tests look at.
#include "qconfig.h"

extern "C" int __stdcall QtCoreEntry(void *, unsigned long, void *)
{
    return 1; // the loader may go on
}
