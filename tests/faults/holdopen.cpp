// Holds a file open as a running program or a loaded DLL does on Windows, sharing reads only, for
// SECONDS seconds; says "held" once it holds it.
// Usage: holdopen FILE SECONDS
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3)
        return 2;
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(DWORD(std::wcstoul(argv[2], nullptr, 10)) * 1000);
    CloseHandle(file);
    return 0;
}
