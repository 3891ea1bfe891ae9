/* A plugin of the trial installation, with the two entry points Qt 4's plugin loader looks up.
   QT_PLUGIN comes from make-trial-qt.sh. */
#include <QtCore/qlibraryinfo.h>

const char *qt_plugin_query_verification_data(void)
{
    return "pattern=QT_PLUGIN_VERIFICATION_DATA\nversion=" QT_VERSION_STR
           "\ndebug=false\nbuildkey=x86_64 linux g++-4 full-config\n";
}

const char *qt_plugin_instance(void) { return QT_PLUGIN; }
const char *qt_plugin_directory(void) { return qlibraryinfo_location("PluginsPath"); }
