// Says which QtCore this program loaded and where that QtCore places its installation.
#include <QtCore/QCoreApplication>
#include <QtCore/QLibraryInfo>
#include <QtCore/QString>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string loadedQtCore()
{
    const std::string name = "libQt" + std::to_string(QT_VERSION_MAJOR) + "Core.so";
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t slash = line.find('/');
        if (slash != std::string::npos && line.find(name, slash) != std::string::npos)
            return line.substr(slash);
    }
    return "(none)";
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
QString location(QLibraryInfo::LibraryPath which)
{
    return QLibraryInfo::path(which);
}
#else
QString location(QLibraryInfo::LibraryLocation which)
{
    return QLibraryInfo::location(which);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("program.qtcore: %s\n", loadedQtCore().c_str());
    std::printf("program.qVersion: %s\n", qVersion());
    std::printf("program.PrefixPath: %s\n", qPrintable(location(QLibraryInfo::PrefixPath)));
    std::printf("program.LibrariesPath: %s\n", qPrintable(location(QLibraryInfo::LibrariesPath)));
    std::printf("program.PluginsPath: %s\n", qPrintable(location(QLibraryInfo::PluginsPath)));
    return 0;
}
