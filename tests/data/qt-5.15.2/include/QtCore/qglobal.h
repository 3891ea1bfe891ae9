#define QT_VERSION_STR "5.15.2"
