#ifndef QGLOBAL_H
#define QGLOBAL_H

#define QT_VERSION_STR "4.8.7"
#define QT_VERSION 0x040807
#define QT_VERSION_CHECK(major, minor, patch) ((major << 16) | (minor << 8) | (patch))

#endif
