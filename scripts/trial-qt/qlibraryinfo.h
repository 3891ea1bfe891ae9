#ifndef QLIBRARYINFO_H
#define QLIBRARYINFO_H

#include <QtCore/qglobal.h>

#ifdef __cplusplus
extern "C" {
#endif
/* name: "PrefixPath", "PluginsPath", ... as QLibraryInfo::LibraryLocation; NULL for another name. */
const char *qlibraryinfo_location(const char *name);
const char *qlibraryinfo_build_date(void);
const char *qlibraryinfo_licensee(void);
#ifdef __cplusplus
}
#endif

#endif
