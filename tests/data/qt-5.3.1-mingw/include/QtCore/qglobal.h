#define QT_VERSION_STR "5.3.1"
