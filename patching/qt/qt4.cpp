#include "patching/qt/generation.h"

// Qt 4: the paths live in the slots of qmake and QtCore, in qmake's two configuration files, and in
// the build metadata a `make install` leaves.
const QtGeneration &qt4Generation()
{
    static const QtGeneration qt4 = [] {
        QtGeneration g;
        g.major = 4;
        // The ten of every Qt 4 build, then "qt_impspath=", which Qt 4.7 and 4.8 builds add.
        g.slotKeys = {
            {QByteArrayLiteral("qt_prfxpath="), QByteArray(), "QT_INSTALL_PREFIX"},
            {QByteArrayLiteral("qt_docspath="), QByteArrayLiteral("/doc"), "QT_INSTALL_DOCS"},
            {QByteArrayLiteral("qt_hdrspath="), QByteArrayLiteral("/include"), "QT_INSTALL_HEADERS"},
            {QByteArrayLiteral("qt_libspath="), QByteArrayLiteral("/lib"), "QT_INSTALL_LIBS"},
            {QByteArrayLiteral("qt_binspath="), QByteArrayLiteral("/bin"), "QT_INSTALL_BINS"},
            {QByteArrayLiteral("qt_plugpath="), QByteArrayLiteral("/plugins"), "QT_INSTALL_PLUGINS"},
            {QByteArrayLiteral("qt_datapath="), QByteArray(), "QT_INSTALL_DATA"},
            {QByteArrayLiteral("qt_trnspath="), QByteArrayLiteral("/translations"), "QT_INSTALL_TRANSLATIONS"},
            {QByteArrayLiteral("qt_xmplpath="), QByteArrayLiteral("/examples"), "QT_INSTALL_EXAMPLES"},
            {QByteArrayLiteral("qt_demopath="), QByteArrayLiteral("/demos"), "QT_INSTALL_DEMOS"},
            {QByteArrayLiteral("qt_impspath="), QByteArrayLiteral("/imports"), "QT_INSTALL_IMPORTS"},
        };
        const QString bin = QStringLiteral("bin"), lib = QStringLiteral("lib");
        const CommandStep qmake{bin, {QStringLiteral("qmake"), QStringLiteral("qmake.exe")}};
        const CommandStep libQtCores{lib, {QStringLiteral("*QtCore*.a"), QStringLiteral("*QtCore*.la"), QStringLiteral("*QtCore*.dll"),
                                           QStringLiteral("*QtCore*.lib"), QStringLiteral("*QtCore*.so")}};
        const CommandStep qmakeConf{QStringLiteral("mkspecs/default/qmake.conf"), {}};
        const CommandStep qmakeCache{QStringLiteral(".qmake.cache"), {}};
        // A patch treats the bin libraries whose names begin with QtCore; an unpatch also visits names
        // with something before QtCore, so that a backup an earlier tool left beside one is put back.
        g.patchSteps = {qmake, {bin, {QStringLiteral("QtCore*.dll"), QStringLiteral("QtCore*.so")}}, libQtCores, qmakeConf, qmakeCache};
        g.unpatchSteps = {qmake, {bin, {QStringLiteral("*QtCore*.dll"), QStringLiteral("*QtCore*.so")}}, libQtCores, qmakeConf, qmakeCache};
        // The configuration files name the old root outside the assignments the window rewrites too;
        // Windows builds list their libraries' link lines in lib/prl.txt.
        g.metadataSteps = {qmakeConf,
                           qmakeCache,
                           {QStringLiteral("mkspecs/qconfig.pri"), {}},
                           {lib, {QStringLiteral("*.prl"), QStringLiteral("*.la")}},
                           {QStringLiteral("lib/pkgconfig"), {QStringLiteral("*.pc")}},
                           {QStringLiteral("bin/qt.conf"), {}},
                           {QStringLiteral("lib/prl.txt"), {}}};
        g.metadataSuffixes = QStringList{QStringLiteral(".prl"), QStringLiteral(".la"), QStringLiteral(".pc")};
        g.configNames = QStringList{QStringLiteral("qmake.conf"), QStringLiteral(".qmake.cache")};
        g.qtCoreNamePattern = QStringLiteral("*QtCore*");
        g.qmakePaths = QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe")};
        return g;
    }();
    return qt4;
}
