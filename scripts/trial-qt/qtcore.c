/* libQtCore of the trial installation: the install paths live in fixed-size slots laid out as
   Qt 4's configure writes them into qconfig.cpp, so that a relocation tool can overwrite them in
   place. QT_PREFIX and QT_PLUGINS come from make-trial-qt.sh. */
#include <stddef.h>
#include <string.h>

#include "qlibraryinfo.h"

static const char qt_configure_prefix_path_str       [512 + 12] = "qt_prfxpath=" QT_PREFIX;
static const char qt_configure_documentation_path_str[512 + 12] = "qt_docspath=" QT_PREFIX "/doc";
static const char qt_configure_headers_path_str      [512 + 12] = "qt_hdrspath=" QT_PREFIX "/include";
static const char qt_configure_libraries_path_str    [512 + 12] = "qt_libspath=" QT_PREFIX "/lib";
static const char qt_configure_binaries_path_str     [512 + 12] = "qt_binspath=" QT_PREFIX "/bin";
static const char qt_configure_plugins_path_str      [512 + 12] = "qt_plugpath=" QT_PLUGINS;
static const char qt_configure_imports_path_str      [512 + 12] = "qt_impspath=" QT_PREFIX "/imports";
static const char qt_configure_data_path_str         [512 + 12] = "qt_datapath=" QT_PREFIX;
static const char qt_configure_translations_path_str [512 + 12] = "qt_trnspath=" QT_PREFIX "/translations";
static const char qt_configure_examples_path_str     [512 + 12] = "qt_xmplpath=" QT_PREFIX "/examples";
static const char qt_configure_demos_path_str        [512 + 12] = "qt_demopath=" QT_PREFIX "/demos";
/* Slots that hold no path: a relocation must leave them alone. */
static const char qt_configure_installation          [11  + 12] = "qt_instdate=2015-05-07";
static const char qt_configure_licensee_str          [512 + 12] = "qt_lcnsuser=Open Source";

/* strlen("qt_prfxpath=") == 12: the value starts after the key, as QLibraryInfo reads it. */
#define QT_SLOT_VALUE(slot) ((slot) + 12)

static const struct {
    const char *name;
    const char *slot;
} locations[] = {
    { "PrefixPath", qt_configure_prefix_path_str },
    { "DocumentationPath", qt_configure_documentation_path_str },
    { "HeadersPath", qt_configure_headers_path_str },
    { "LibrariesPath", qt_configure_libraries_path_str },
    { "BinariesPath", qt_configure_binaries_path_str },
    { "PluginsPath", qt_configure_plugins_path_str },
    { "ImportsPath", qt_configure_imports_path_str },
    { "DataPath", qt_configure_data_path_str },
    { "TranslationsPath", qt_configure_translations_path_str },
    { "ExamplesPath", qt_configure_examples_path_str },
    { "DemosPath", qt_configure_demos_path_str },
};

const char *qlibraryinfo_location(const char *name)
{
    for (size_t i = 0; i < sizeof(locations) / sizeof(locations[0]); ++i)
        if (strcmp(locations[i].name, name) == 0)
            return QT_SLOT_VALUE(locations[i].slot);
    return NULL;
}

const char *qlibraryinfo_build_date(void) { return QT_SLOT_VALUE(qt_configure_installation); }
const char *qlibraryinfo_licensee(void) { return QT_SLOT_VALUE(qt_configure_licensee_str); }
