// The path slots of a Qt 4.8.7 configured with -prefix C:/Qt/4.8.7, declared as the configure step
// declares them: each value has room for 512 bytes after its 12-byte key, so that an installation
// moved elsewhere can have them rewritten in place.
#include "qconfig.h"

static const char qt_configure_installation          [11  + 12] = "qt_instdate=2015-05-26";
static const char qt_configure_prefix_path_str       [512 + 12] = "qt_prfxpath=C:/Qt/4.8.7";
static const char qt_configure_documentation_path_str[512 + 12] = "qt_docspath=C:/Qt/4.8.7/doc";
static const char qt_configure_headers_path_str      [512 + 12] = "qt_hdrspath=C:/Qt/4.8.7/include";
static const char qt_configure_libraries_path_str    [512 + 12] = "qt_libspath=C:/Qt/4.8.7/lib";
static const char qt_configure_binaries_path_str     [512 + 12] = "qt_binspath=C:/Qt/4.8.7/bin";
static const char qt_configure_plugins_path_str      [512 + 12] = "qt_plugpath=C:/Qt/4.8.7/plugins";
static const char qt_configure_data_path_str         [512 + 12] = "qt_datapath=C:/Qt/4.8.7";
static const char qt_configure_translations_path_str [512 + 12] = "qt_trnspath=C:/Qt/4.8.7/translations";
static const char qt_configure_examples_path_str     [512 + 12] = "qt_xmplpath=C:/Qt/4.8.7/examples";
static const char qt_configure_demos_path_str        [512 + 12] = "qt_demopath=C:/Qt/4.8.7/demos";
static const char qt_configure_imports_path_str      [512 + 12] = "qt_impspath=C:/Qt/4.8.7/imports";

// Every slot is read through this table, as QLibraryInfo reads them, so the compiler keeps them all.
static const char *const qt_configure_strings[] = {
    qt_configure_installation,          qt_configure_prefix_path_str,      qt_configure_documentation_path_str,
    qt_configure_headers_path_str,      qt_configure_libraries_path_str,   qt_configure_binaries_path_str,
    qt_configure_plugins_path_str,      qt_configure_data_path_str,        qt_configure_translations_path_str,
    qt_configure_examples_path_str,     qt_configure_demos_path_str,       qt_configure_imports_path_str,
};

const char *qt_configure_value(unsigned int index)
{
    const unsigned int count = sizeof(qt_configure_strings) / sizeof(qt_configure_strings[0]);
    return index < count ? qt_configure_strings[index] + 12 : nullptr;
}
