/* bin/qmake of the trial installation: answers -query from libQtCore's path slots. */
#include <stdio.h>
#include <string.h>

#include <QtCore/qlibraryinfo.h>

static const struct {
    const char *property;
    const char *location;
} properties[] = {
    { "QT_INSTALL_PREFIX", "PrefixPath" },
    { "QT_INSTALL_DATA", "DataPath" },
    { "QT_INSTALL_DOCS", "DocumentationPath" },
    { "QT_INSTALL_HEADERS", "HeadersPath" },
    { "QT_INSTALL_LIBS", "LibrariesPath" },
    { "QT_INSTALL_BINS", "BinariesPath" },
    { "QT_INSTALL_PLUGINS", "PluginsPath" },
    { "QT_INSTALL_IMPORTS", "ImportsPath" },
    { "QT_INSTALL_TRANSLATIONS", "TranslationsPath" },
    { "QT_INSTALL_EXAMPLES", "ExamplesPath" },
    { "QT_INSTALL_DEMOS", "DemosPath" },
};
enum { propertyCount = sizeof(properties) / sizeof(properties[0]) };

static void printProperty(const char *property, const char *value, int withName)
{
    if (withName)
        printf("%s:", property);
    puts(value);
}

static const char *propertyValue(const char *property)
{
    static char mkspecs[1024];
    for (int i = 0; i < propertyCount; ++i)
        if (strcmp(properties[i].property, property) == 0)
            return qlibraryinfo_location(properties[i].location);
    if (strcmp(property, "QMAKE_MKSPECS") == 0) {
        snprintf(mkspecs, sizeof mkspecs, "%s/mkspecs", qlibraryinfo_location("DataPath"));
        return mkspecs;
    }
    if (strcmp(property, "QMAKE_VERSION") == 0)
        return "2.01a";
    if (strcmp(property, "QT_VERSION") == 0)
        return QT_VERSION_STR;
    return NULL;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "-v") == 0) {
        printf("QMake version 2.01a\nUsing Qt version %s in %s\n", QT_VERSION_STR,
               qlibraryinfo_location("LibrariesPath"));
        return 0;
    }
    if (argc < 2 || strcmp(argv[1], "-query") != 0) {
        fprintf(stderr, "Usage: %s -query [PROPERTY...] | -v\n", argv[0]);
        return 1;
    }
    if (argc == 2) {
        for (int i = 0; i < propertyCount; ++i)
            printProperty(properties[i].property, propertyValue(properties[i].property), 1);
        const char *extra[] = { "QMAKE_MKSPECS", "QMAKE_VERSION", "QT_VERSION" };
        for (int i = 0; i < 3; ++i)
            printProperty(extra[i], propertyValue(extra[i]), 1);
        return 0;
    }
    int known = 1;
    for (int i = 2; i < argc; ++i) {
        const char *value = propertyValue(argv[i]);
        known = known && value;
        printProperty(argv[i], value ? value : "**Unknown**", argc > 3);
    }
    /* Qt 4's qmake exits 101 when a property is unknown. */
    return known ? 0 : 101;
}
