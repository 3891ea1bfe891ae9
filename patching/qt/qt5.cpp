#include "patching/qt/generation.h"

// Qt 5: per-path slots in qmake and QtCore up to 5.4; from 5.5 the prefixes alone (qmake's install
// and host prefixes beside the device's); from 5.14 a QtCore that may find its place by itself, or
// read its prefix with the length it had when built. Its build metadata is richer than Qt 4's.
const QtGeneration &qt5Generation()
{
    static const QtGeneration qt5 = [] {
        QtGeneration g;
        g.major = 5;
        // Every path key any Qt 5 holds; the settings, sysroot and host keys are qmake's. What follows
        // the root is Qt's default place, which only a query without a slot to read falls back on.
        g.slotKeys = {
            {QByteArrayLiteral("qt_prfxpath="), QByteArray(), "QT_INSTALL_PREFIX"},
            {QByteArrayLiteral("qt_docspath="), QByteArrayLiteral("/doc"), "QT_INSTALL_DOCS"},
            {QByteArrayLiteral("qt_hdrspath="), QByteArrayLiteral("/include"), "QT_INSTALL_HEADERS"},
            {QByteArrayLiteral("qt_libspath="), QByteArrayLiteral("/lib"), "QT_INSTALL_LIBS"},
            {QByteArrayLiteral("qt_lbexpath="), QByteArrayLiteral("/libexec"), "QT_INSTALL_LIBEXECS"},
            {QByteArrayLiteral("qt_binspath="), QByteArrayLiteral("/bin"), "QT_INSTALL_BINS"},
            {QByteArrayLiteral("qt_plugpath="), QByteArrayLiteral("/plugins"), "QT_INSTALL_PLUGINS"},
            {QByteArrayLiteral("qt_impspath="), QByteArrayLiteral("/imports"), "QT_INSTALL_IMPORTS"},
            {QByteArrayLiteral("qt_qml2path="), QByteArrayLiteral("/qml"), "QT_INSTALL_QML"},
            {QByteArrayLiteral("qt_adatpath="), QByteArray(), "QT_INSTALL_ARCHDATA"},
            {QByteArrayLiteral("qt_datapath="), QByteArray(), "QT_INSTALL_DATA"},
            {QByteArrayLiteral("qt_trnspath="), QByteArrayLiteral("/translations"), "QT_INSTALL_TRANSLATIONS"},
            {QByteArrayLiteral("qt_xmplpath="), QByteArrayLiteral("/examples"), "QT_INSTALL_EXAMPLES"},
            {QByteArrayLiteral("qt_tstspath="), QByteArrayLiteral("/tests"), "QT_INSTALL_TESTS"},
            {QByteArrayLiteral("qt_stngpath="), QByteArray(), "QT_INSTALL_CONFIGURATION"},
            {QByteArrayLiteral("qt_ssrtpath="), QByteArray(), "QT_SYSROOT"},
            {QByteArrayLiteral("qt_hpfxpath="), QByteArray(), "QT_HOST_PREFIX"},
            {QByteArrayLiteral("qt_hbinpath="), QByteArrayLiteral("/bin"), "QT_HOST_BINS"},
            {QByteArrayLiteral("qt_hlibpath="), QByteArrayLiteral("/lib"), "QT_HOST_LIBS"},
            {QByteArrayLiteral("qt_hdatpath="), QByteArray(), "QT_HOST_DATA"},
            {QByteArrayLiteral("qt_epfxpath="), QByteArray(), QByteArray()},
        };
        g.slotPlacement = SlotPlacement::BelowOldRoot;
        g.installPrefixKeys = {QByteArrayLiteral("qt_epfxpath="), QByteArrayLiteral("qt_hpfxpath=")};
        const QString bin = QStringLiteral("bin"), lib = QStringLiteral("lib");
        // The link a build links with names QtCore, as libQtCore.so does for Qt 4; a file it does not
        // reach is named by a patch without --deep.
        const QStringList libraries{QStringLiteral("libQt5Core*.so"), QStringLiteral("libQt5Core*.a"), QStringLiteral("Qt5Core*.lib")};
        const QString multiarch = QStringLiteral("lib/*");
        g.markers = {{lib, {QStringLiteral("libQt5Core*.so*"), QStringLiteral("libQt5Core*.a"), QStringLiteral("Qt5Core*.lib")}},
                     {bin, {QStringLiteral("Qt5Core*.dll")}},
                     {multiarch, {QStringLiteral("libQt5Core*.so*")}}};
        const CommandStep qmake{bin, {QStringLiteral("qmake"), QStringLiteral("qmake.exe")}};
        // A distribution keeps qmake in lib/qt5/bin and QtCore in its multiarch folder of lib.
        g.patchSteps = {qmake, {QStringLiteral("lib/qt5/bin"), {QStringLiteral("qmake")}}, {bin, {QStringLiteral("Qt5Core*.dll")}},
                        {lib, libraries}, {multiarch, libraries}};
        g.unpatchSteps = g.patchSteps;
        g.metadataSteps = {{QStringLiteral("mkspecs"), {QStringLiteral("*.pri")}},
                           {QStringLiteral("mkspecs/modules"), {QStringLiteral("*.pri")}},
                           {lib, {QStringLiteral("*.prl"), QStringLiteral("*.la")}},
                           {QStringLiteral("lib/pkgconfig"), {QStringLiteral("*.pc")}},
                           {QStringLiteral("bin/qt.conf"), {}},
                           // A distribution's wrapper script, which runs its qmake with its qt.conf.
                           {bin, {QStringLiteral("*-qmake")}}};
        // Wherever they lie below DIR: a distribution keeps mkspecs and pkgconfig in its multiarch folder.
        g.metadataSuffixes = QStringList{QStringLiteral(".prl"), QStringLiteral(".la"), QStringLiteral(".pc"),
                                         QStringLiteral(".pri"), QStringLiteral(".cmake"), QStringLiteral("qt.conf")};
        g.qtCoreNamePattern = QStringLiteral("*Qt5Core*");
        g.patchIsDeep = true;
        g.qmakePaths = QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe"), QStringLiteral("lib/qt5/bin/qmake")};
        return g;
    }();
    return qt5;
}
