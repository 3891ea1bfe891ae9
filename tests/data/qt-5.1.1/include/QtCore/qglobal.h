#define QT_VERSION_STR "5.1.1"
