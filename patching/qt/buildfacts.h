#ifndef ZEL_BUILDFACTS_H
#define ZEL_BUILDFACTS_H

#include <QString>

struct QtGeneration;

// What an installation's own configuration says of how Qt was built, read once per command.
struct BuildFacts {
    int minor = -1; // QT_MINOR_VERSION; -1: not said
    int patch = -1;
    enum class Relocatable { Unknown, Yes, No };
    // Whether QtCore finds its place from its own file (Qt 5.14 and later) rather than read its prefix.
    Relocatable relocatable = Relocatable::Unknown;
    QString mkspecsPath; // the folder the facts were read from; empty when none was found
};

// The major version DIR/mkspecs/qconfig.pri says (QT_MAJOR_VERSION), or 0.
int majorVersionSaid(const QString &qtPath);

// Reads mkspecs/qconfig.pri and mkspecs/qmodule.pri (and a distribution's multiarch copy of mkspecs),
// each bounded in size.
BuildFacts readBuildFacts(const QtGeneration &generation, const QString &qtPath);

#endif
