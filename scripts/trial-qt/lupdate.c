/* bin/lupdate of the trial installation: a tool linked to two Qt libraries. */
#include <stdio.h>

#include <QtCore/qlibraryinfo.h>

const char *qt_module_name(void);

int main(void)
{
    printf("lupdate version %s (%s), translations in %s\n", QT_VERSION_STR, qt_module_name(),
           qlibraryinfo_location("TranslationsPath"));
    return 0;
}
