#configuration
CONFIG +=  release def_files_disabled exceptions rtti no_mocdepend stl qt_no_framework
QT_ARCH = windows
QT_EDITION = OpenSource
QT_CONFIG += minimal-config small-config medium-config large-config full-config release

#versioning
QT_VERSION = 4.8.1
QT_MAJOR_VERSION = 4
QT_MINOR_VERSION = 8
QT_PATCH_VERSION = 1

QMAKE_INCDIR_QT = D:/dev/qt/include
QMAKE_LIBDIR_QT = D:/dev/qt/lib;C:/Qt/4.8.1-extra/lib
