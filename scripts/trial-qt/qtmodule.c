/* libQtXml or libQtDBus of the trial installation: no path slots, only a dependency on
   libQtCore, as every Qt module has. QT_MODULE comes from make-trial-qt.sh. */
#include <QtCore/qlibraryinfo.h>

const char *qt_module_name(void) { return QT_MODULE; }
const char *qt_module_translations(void) { return qlibraryinfo_location("TranslationsPath"); }
