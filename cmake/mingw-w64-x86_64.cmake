# Cross-builds the 64-bit Windows programs on Debian with mingw-w64 (posix threads, for std::thread
# and Qt's own threads) against a static Qt 5.15 given as -DQt5_DIR=<qt>/lib/cmake/Qt5; scripts/windows.sh
# passes it and runs the test programs under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(zel_target x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${zel_target}-gcc-posix)
set(CMAKE_CXX_COMPILER ${zel_target}-g++-posix)
set(CMAKE_RC_COMPILER ${zel_target}-windres)

# Qt's packages find one another through paths inside the Qt folder, which must therefore be a root
# too; the host's programs (moc, rcc, lrelease) are found outside every root.
set(CMAKE_FIND_ROOT_PATH /usr/${zel_target})
if(Qt5_DIR)
    get_filename_component(zel_qt_prefix "${Qt5_DIR}/../../.." ABSOLUTE)
    list(APPEND CMAKE_FIND_ROOT_PATH "${zel_qt_prefix}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread linked in: the programs need no DLL but Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
