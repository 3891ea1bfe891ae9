#include "patching/qt/generation.h"

// Qt 6: QtCore's prefix alone, empty when QtCore is relocatable (an installer's build), and read with
// the length the build gave it otherwise (a distribution's); qmake6 and qtpaths are ordinary QtCore
// programs. Most of the tree is relative; what names a place is in its build metadata.
const QtGeneration &qt6Generation()
{
    static const QtGeneration qt6 = [] {
        QtGeneration g;
        g.major = 6;
        g.slotKeys = {{QByteArrayLiteral("qt_prfxpath="), QByteArray(), "QT_INSTALL_PREFIX"}};
        g.slotPlacement = SlotPlacement::BelowOldRoot;
        // What `qmake6 -query` answers of the installation's places.
        g.queryNames = {"QT_INSTALL_PREFIX", "QT_INSTALL_ARCHDATA", "QT_INSTALL_DATA", "QT_INSTALL_DOCS", "QT_INSTALL_HEADERS",
                        "QT_INSTALL_LIBS", "QT_INSTALL_LIBEXECS", "QT_INSTALL_BINS", "QT_INSTALL_TESTS", "QT_INSTALL_PLUGINS",
                        "QT_INSTALL_QML", "QT_INSTALL_TRANSLATIONS", "QT_INSTALL_CONFIGURATION", "QT_INSTALL_EXAMPLES",
                        "QT_HOST_PREFIX", "QT_HOST_DATA", "QT_HOST_BINS", "QT_HOST_LIBEXECS", "QT_HOST_LIBS"};
        const QString bin = QStringLiteral("bin"), lib = QStringLiteral("lib");
        const QStringList libraries{QStringLiteral("libQt6Core*.so"), QStringLiteral("libQt6Core*.a"), QStringLiteral("Qt6Core*.lib")};
        const QString multiarch = QStringLiteral("lib/*");
        // A relocatable QtCore's slot is empty, and a kit may come without libraries: the tree's own
        // files say it is Qt 6.
        g.markers = {{lib, {QStringLiteral("libQt6Core*.so*"), QStringLiteral("libQt6Core*.a"), QStringLiteral("Qt6Core*.lib")}},
                     {bin, {QStringLiteral("Qt6Core*.dll"), QStringLiteral("qmake6"), QStringLiteral("qtpaths6")}},
                     {multiarch, {QStringLiteral("libQt6Core*.so*")}},
                     {QStringLiteral("lib/cmake"), {QStringLiteral("Qt6")}}};
        g.markersIdentify = true;
        g.patchSteps = {{bin, {QStringLiteral("Qt6Core*.dll")}}, {lib, libraries}, {multiarch, libraries}};
        g.unpatchSteps = g.patchSteps;
        // A cross kit's wrapper scripts, its CMake files and target_qt.conf name its host Qt.
        g.hostWrappers = QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake6"), QStringLiteral("bin/qtpaths"),
                                     QStringLiteral("bin/qtpaths6"), QStringLiteral("bin/qmake.bat"), QStringLiteral("bin/qmake6.bat"),
                                     QStringLiteral("bin/qtpaths.bat"), QStringLiteral("bin/qtpaths6.bat")};
        g.hostCMakeFiles = QStringList{QStringLiteral("lib/cmake/Qt6/Qt6Dependencies.cmake"), QStringLiteral("lib/cmake/Qt6/qt.toolchain.cmake")};
        g.hostConf = QStringLiteral("bin/target_qt.conf");
        g.metadataSteps = {{QStringLiteral("lib/pkgconfig"), {QStringLiteral("*.pc")}},
                           {QStringLiteral("lib/cmake/Qt6BuildInternals/QtBuildInternalsExtra.cmake"), {}},
                           {QStringLiteral("bin/qt.conf"), {}},
                           // A distribution's wrapper scripts, which run its qmake6 with its qt6.conf; its
                           // Qt 5's too, which shares the tree.
                           {bin, {QStringLiteral("*-qmake6"), QStringLiteral("*-qmake")}}};
        for (const QString &hostFile : g.hostWrappers + g.hostCMakeFiles + QStringList{g.hostConf})
            g.metadataSteps.append({hostFile, {}});
        g.metadataSuffixes = QStringList{QStringLiteral(".prl"), QStringLiteral(".pc"), QStringLiteral(".pri"), QStringLiteral(".cmake"),
                                         QStringLiteral("qt.conf"), QStringLiteral("qt6.conf")};
        g.qtCoreNamePattern = QStringLiteral("*Qt6Core*");
        g.patchIsDeep = true;
        g.qmakePaths = QStringList{QStringLiteral("bin/qmake6"), QStringLiteral("bin/qmake6.exe"), QStringLiteral("bin/qmake"),
                                   QStringLiteral("lib/qt6/bin/qmake6")};
        g.queryWithOwnLibraries = true;
        return g;
    }();
    return qt6;
}
