#define QT_VERSION_STR "5.7.0"
