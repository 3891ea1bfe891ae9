
if (CMAKE_VERSION VERSION_LESS 2.8.3)
    message(FATAL_ERROR "Qt 5 requires at least CMake version 2.8.3")
endif()

get_filename_component(_qt5Core_install_prefix ${CMAKE_CURRENT_LIST_DIR}/../../../ ABSOLUTE)

# For backwards compatibility only. Use Qt5Core_VERSION instead.
set(Qt5Core_VERSION_STRING 5.1.1)

set(Qt5Core_LIBRARIES Qt5::Core)

set(_Qt5Core_OWN_INCLUDE_DIRS "${_qt5Core_install_prefix}/include/" "${_qt5Core_install_prefix}/include/QtCore")
set(imported_location "${_qt5Core_install_prefix}/lib/libQt5Core.so.5.1.1")
