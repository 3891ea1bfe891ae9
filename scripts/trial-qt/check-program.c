/* The user program of make-trial-qt.sh --check-program: which libQtCore it loaded, and the
   prefix and plugin path that library reports. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>

#include <QtCore/qlibraryinfo.h>

int main(void)
{
    Dl_info library;
    if (!dladdr((void *)qlibraryinfo_location, &library)) {
        fputs("cannot tell which libQtCore was loaded\n", stderr);
        return 1;
    }
    printf("libQtCore: %s\nprefix: %s\nplugins: %s\n", library.dli_fname,
           qlibraryinfo_location("PrefixPath"), qlibraryinfo_location("PluginsPath"));
    return 0;
}
