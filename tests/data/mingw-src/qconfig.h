// The value of the index-th configured string (0 the installation date, then the prefix and the other
// paths), after its key; null past the last one.
#ifdef QT_CORE_DLL
__declspec(dllexport)
#endif
const char *qt_configure_value(unsigned int index);
