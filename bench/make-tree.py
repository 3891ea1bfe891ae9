#!/usr/bin/env python3
"""Lays out, in an empty directory, a whole Qt installation to measure the CLI on (bench/treebench.py).

  make-tree.py qt4 DIR [--files N] [--old-root OLD]
      a Qt-4.8-like installation of N regular files (12,000 by default; 10,000 to 100,000 to see
      the cost grow): the trial installation of scripts/make-trial-qt.sh (qmake and QtCore with
      Qt 4's path slots, 512 + 12 bytes each; every ELF file naming OLD/lib in its RUNPATH; the
      .prl, .la, .pc, qconfig.pri, .qmake.cache and mkspecs it writes), its ELF files then copied
      under the names of twenty modules, twenty tools, seventy plugins and, for 4 % of N, example
      programs, each padded to a real one's size (about 90 MiB in all); the rest
      headers, HTML pages and example sources of a few KiB, none naming the old root.
  make-tree.py qt6 DIR [--files N] [--mib M] [--old-root OLD]
      a Qt-6-like installation of N regular files (50,000 by default) and about M MiB (1536 by
      default): a QtCore and a bin/qmake built here with the one slot Qt 6 keeps (qt_prfxpath=,
      12 + 256 bytes), sixty module libraries, 150 plugins and forty tools, all naming OLD/lib in
      their RUNPATH and padded to share M; their .prl, .pc,
      lib/cmake and mkspecs/modules files; the rest headers and QML files.

The padding is zero bytes with a newline ending every 4 KiB, written on disk, not holes, so that
reading a library costs what reading a real one does. The old root is never created; it is long enough, as real ones are, for the
RUNPATH's room to take $ORIGIN/../../../lib. Needs gcc and strip.
Run by hand, never by CI: it measures nothing itself.
"""
import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TRIAL_QT = os.path.join(HERE, "..", "scripts", "make-trial-qt.sh")
TRIAL_SOURCES = os.path.join(HERE, "..", "scripts", "trial-qt")
MIB = 1024 * 1024

QT4_MODULES = [  # name, MiB of a Qt 4.8.7 x86_64 build, roughly
    ("QtGui", 12), ("QtNetwork", 1.4), ("QtOpenGL", 1.0), ("QtSql", 0.3), ("QtSvg", 0.4),
    ("QtXmlPatterns", 5.5), ("QtScript", 2.6), ("QtScriptTools", 0.8), ("QtDeclarative", 4.2),
    ("QtHelp", 0.5), ("QtMultimedia", 0.2), ("QtTest", 0.2), ("QtCLucene", 1.0),
    ("QtDesigner", 4.5), ("QtDesignerComponents", 4.8), ("QtWebKit", 22), ("phonon", 0.4),
]
QT4_TOOLS = ["moc", "uic", "rcc", "uic3", "qdbusxml2cpp", "qdbuscpp2xml", "qdbus", "qdbusviewer",
             "designer", "linguist", "lrelease", "lconvert", "assistant", "qhelpgenerator",
             "qcollectiongenerator", "qhelpconverter", "pixeltool", "qtconfig", "qt3to4",
             "xmlpatterns", "xmlpatternsvalidator", "qmlviewer", "qmlplugindump"]
QT4_PLUGIN_KINDS = ["accessible", "bearer", "codecs", "designer", "graphicssystems", "iconengines",
                    "imageformats", "inputmethods", "phonon_backend", "qmltooling", "script",
                    "sqldrivers", "gfxdrivers", "kbddrivers", "mousedrivers"]
QT4_LANGUAGES = ["ar", "cs", "da", "de", "es", "fa", "fr", "gl", "he", "hu", "ja", "ko", "pl",
                 "pt", "ru", "sk", "sl", "sv", "uk", "zh_CN", "zh_TW"]
QT6_MODULES = ["Core", "Gui", "Widgets", "Network", "Qml", "Quick", "QuickControls2", "QuickTemplates2",
               "QuickDialogs2", "QuickLayouts", "QuickShapes", "QuickParticles", "QuickTest", "QuickWidgets",
               "OpenGL", "OpenGLWidgets", "Sql", "Svg", "SvgWidgets", "Xml", "Test", "Concurrent", "DBus",
               "PrintSupport", "Designer", "Help", "UiTools", "Multimedia", "MultimediaWidgets",
               "Positioning", "Location", "Sensors", "SerialPort", "WebSockets", "WebChannel",
               "WebEngineCore", "WebEngineWidgets", "WebEngineQuick", "Pdf", "PdfWidgets", "Charts",
               "DataVisualization", "3DCore", "3DRender", "3DInput", "3DExtras", "Quick3D",
               "Quick3DRuntimeRender", "ShaderTools", "StateMachine", "Core5Compat", "TextToSpeech",
               "VirtualKeyboard", "Bluetooth", "Nfc", "RemoteObjects", "Scxml", "HttpServer",
               "LanguageServer", "Wayland"]
# How the libraries share the size: WebEngineCore is most of a real Qt 6 installation's lib/.
QT6_WEIGHTS = {"WebEngineCore": 35, "Core": 7, "Gui": 9, "Widgets": 6, "Qml": 6, "Quick": 6,
               "Quick3DRuntimeRender": 5, "3DRender": 4, "Designer": 5, "ShaderTools": 4, "Pdf": 6}
QT6_PLUGIN_KINDS = ["platforms", "imageformats", "iconengines", "sqldrivers", "tls", "networkinformation",
                    "platforminputcontexts", "platformthemes", "xcbglintegrations", "wayland-shell-integration",
                    "multimedia", "position", "sensors", "qmltooling", "generic", "egldeviceintegrations"]
QT6_TOOLS = ["qmake", "qtpaths", "designer", "linguist", "assistant", "lupdate", "lrelease", "lconvert",
             "qdbus", "qdbusviewer", "qdbuscpp2xml", "qdbusxml2cpp", "pixeltool", "qdoc", "qmllint",
             "qmlformat", "qmlls", "qml", "qmlscene", "qmltestrunner", "qmlpreview", "qmlplugindump",
             "qmltime", "qmlprofiler", "balsam", "meshdebug", "qsb", "qtdiag", "qvkgen", "androiddeployqt"]
QT6_LIBEXEC = ["moc", "rcc", "uic", "qmlcachegen", "qmltyperegistrar", "qmlimportscanner", "qvkgen",
               "tracegen", "cmake_automoc_parser", "qlalr", "syncqt", "QtWebEngineProcess"]

QT6_CORE = r"""
/* A Qt 6 QtCore: one slot, the prefix, 12 + 256 bytes as Qt 6's qconfig.cpp has it; every other
   path is below it. */
#include <stdio.h>
#include <string.h>
static const char qt_configure_prefix_path_str[12 + 256] = "qt_prfxpath=" QT_PREFIX;
static const struct { const char *name; const char *below; } locations[] = {
    {"PrefixPath", ""}, {"DocumentationPath", "/doc"}, {"HeadersPath", "/include"},
    {"LibrariesPath", "/lib"}, {"BinariesPath", "/bin"}, {"PluginsPath", "/plugins"},
    {"ImportsPath", "/imports"}, {"DataPath", ""}, {"TranslationsPath", "/translations"},
    {"ExamplesPath", "/examples"}, {"DemosPath", "/demos"},
};
const char *qlibraryinfo_location(const char *name)
{
    static char path[1024];
    for (size_t i = 0; i < sizeof(locations) / sizeof(locations[0]); ++i)
        if (strcmp(locations[i].name, name) == 0) {
            snprintf(path, sizeof path, "%s%s", qt_configure_prefix_path_str + 12, locations[i].below);
            return path;
        }
    return NULL;
}
const char *qlibraryinfo_build_date(void) { return ""; }
const char *qlibraryinfo_licensee(void) { return "Open Source"; }
"""
QT6_MODULE = r"""
#include <QtCore/qlibraryinfo.h>
const char *qt_module_name(void) { return "Qt6Module"; }
const char *qt_module_translations(void) { return qlibraryinfo_location("TranslationsPath"); }
"""


def run(command, **kwargs):
    subprocess.run(command, check=True, **kwargs)


def write_text(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as out:
        out.write(text)


def write_padded(path, elf, size, mode=0o755):
    """The ELF bytes `elf`, then padding up to `size`, as a new file of `mode`."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(elf)
        left = max(0, size - len(elf))
        # A newline ends every 4 KiB, as a real library's bytes hold one every few hundred: grep, the
        # floor, holds a whole line in memory, and would hold the whole padding otherwise.
        block = (bytes(4095) + b"\n") * (MIB // 4096)
        while left:
            step = min(left, MIB)
            out.write(block[:step])
            left -= step
    os.chmod(path, mode)


def link(target, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    os.symlink(target, path)


def text_of(kind, name, size):
    """A small text file of about `size` bytes that names no root."""
    line = {"h": "    virtual void %s_member(int index, const QString &text); // %s\n",
            "html": "<p>The %s class provides %s. See also <a href=\"qobject.html\">QObject</a>.</p>\n",
            "cpp": "    %s.setObjectName(QLatin1String(\"%s\"));\n",
            "qml": "    Rectangle { id: %s; objectName: \"%s\"; width: 64; height: 64 }\n"}[kind] % (name, name)
    return line * max(1, size // len(line))


def spread(count, kinds):
    """`count` split over `kinds` (share, ...) by share, the rounding left to the last."""
    total = sum(share for share in kinds)
    parts = [count * share // total for share in kinds]
    parts[-1] += count - sum(parts)
    return parts


def count_files(root):
    return sum(len(files) - sum(1 for f in files if os.path.islink(os.path.join(d, f)))
               for d, _, files in os.walk(root))


def lay_out_qt4(root, files, old):
    with tempfile.TemporaryDirectory() as work:
        stage = os.path.join(work, "stage")
        run([TRIAL_QT, stage, old], stdout=subprocess.DEVNULL)
        shutil.copytree(stage, root, symlinks=True, dirs_exist_ok=True)
    lib, bin_ = os.path.join(root, "lib"), os.path.join(root, "bin")
    module_elf = open(os.path.join(lib, "libQtXml.so.4.8.7"), "rb").read()
    tool_elf = open(os.path.join(bin_, "lupdate"), "rb").read()
    plugin_elf = open(os.path.join(root, "plugins/codecs/libqcncodecs.so"), "rb").read()
    core = os.path.join(lib, "libQtCore.so.4.8.7")
    write_padded(core, open(core, "rb").read(), int(2.9 * MIB))
    write_padded(os.path.join(bin_, "qmake"), open(os.path.join(bin_, "qmake"), "rb").read(), int(1.6 * MIB))
    # Each module as make-trial-qt.sh makes QtXml: its library behind three links, its .prl, .la, .pc.
    xml = {suffix: open(os.path.join(lib, path), "r").read()
           for suffix, path in (("prl", "libQtXml.prl"), ("la", "libQtXml.la"), ("pc", "pkgconfig/QtXml.pc"))}
    for name, mebibytes in QT4_MODULES:
        write_padded(os.path.join(lib, "lib%s.so.4.8.7" % name), module_elf, int(mebibytes * MIB))
        for alias in ("lib%s.so" % name, "lib%s.so.4" % name, "lib%s.so.4.8" % name):
            link("lib%s.so.4.8.7" % name, os.path.join(lib, alias))
        rename = lambda text: text.replace("QtXml", name).replace("Qtxml", name.capitalize()).replace("/xml", "/" + name.lower())
        write_text(os.path.join(lib, "lib%s.prl" % name), rename(xml["prl"]))
        write_text(os.path.join(lib, "lib%s.la" % name), rename(xml["la"]))
        write_text(os.path.join(lib, "pkgconfig/%s.pc" % name), rename(xml["pc"]))
    for index, tool in enumerate(QT4_TOOLS):
        write_padded(os.path.join(bin_, tool), tool_elf, (index % 7 + 1) * 300 * 1024)
    plugin_count = 0
    for index, kind in enumerate(QT4_PLUGIN_KINDS):
        for number in range(index % 6 + 2):
            write_padded(os.path.join(root, "plugins", kind, "libq%s%d.so" % (kind[:6], number)),
                         plugin_elf, (number % 4 + 1) * 100 * 1024)
            plugin_count += 1
    for number in range(8):
        directory = os.path.join(root, "imports/Qt/labs/module%d" % number)
        write_padded(os.path.join(directory, "libqmlmodule%dplugin.so" % number), plugin_elf, 200 * 1024)
        write_text(os.path.join(directory, "qmldir"), "plugin qmlmodule%dplugin\n" % number)
    # The mkspecs of every platform Qt 4.8 ships, one qmake.conf and qplatformdefs.h each.
    conf = open(os.path.join(root, "mkspecs/linux-g++/qmake.conf")).read()
    for number in range(150):
        mkspec = os.path.join(root, "mkspecs", ("qws/" if number % 5 == 0 else "") + "platform-%03d" % number)
        write_text(os.path.join(mkspec, "qmake.conf"), conf.replace("linux-g++", "platform-%03d" % number))
        write_text(os.path.join(mkspec, "qplatformdefs.h"), '#include "../linux-g++/qplatformdefs.h"\n')
    for number in range(110):
        write_text(os.path.join(root, "mkspecs/features/feature%03d.prf" % number), text_of("cpp", "feature%d" % number, 1500))
    for language in QT4_LANGUAGES:
        for catalog in ("qt", "assistant", "designer", "linguist", "qt_help"):
            write_padded(os.path.join(root, "translations/%s_%s.qm" % (catalog, language)), b"\x3c\xb8\x64\x18", 60 * 1024, 0o644)

    left = files - count_files(root)
    if left < 100:
        sys.exit("error: %d files are too few; the fixed part alone holds %d" % (files, files - left))
    headers, pages, sources, programs = spread(left, (58, 28, 10, 4))
    modules = ["QtCore", "QtXml", "QtDBus"] + [name for name, _ in QT4_MODULES]
    for number in range(headers):
        module = modules[number % len(modules)]
        if number % 2:  # Qt 4 installs a CamelCase header beside each class's header
            write_text(os.path.join(root, "include", module, "Q%s%d" % (module[2:] or "Phonon", number)), '#include "q%d.h"\n' % (number - 1))
        else:
            write_text(os.path.join(root, "include", module, "q%d.h" % number), text_of("h", "q%d" % number, 1000 + number % 7 * 900))
    for number in range(pages):
        write_text(os.path.join(root, "doc/html/page%05d.html" % number), text_of("html", "Q%d" % number, 6000))
    for number in range(sources):
        name = "main.cpp" if number % 2 == 0 else "window.cpp"
        write_text(os.path.join(root, "examples/group%02d/example%04d" % (number // 2 % 40, number // 2), name),
                   text_of("cpp", "e%d" % number, 2000 + number % 2 * 1000))
    for number in range(programs):
        write_padded(os.path.join(root, "examples/group%02d/example%04d/example%04d" % (number % 40, number, number)),
                     tool_elf, 40 * 1024)


def lay_out_qt6(root, files, mebibytes, old):
    with tempfile.TemporaryDirectory() as work:
        include = os.path.join(work, "include/QtCore")
        os.makedirs(include)
        for header in ("qglobal.h", "qlibraryinfo.h"):
            shutil.copy(os.path.join(TRIAL_SOURCES, header), include)
        write_text(os.path.join(work, "qt6core.c"), QT6_CORE)
        write_text(os.path.join(work, "qt6module.c"), QT6_MODULE)
        build = ["gcc", "-O2", "-fPIC", "-I" + os.path.join(work, "include"), "-DQT_PREFIX=\"%s\"" % old,
                 "-Wl,-rpath," + old + "/lib", "-Wl,--enable-new-dtags"]
        out = lambda name: os.path.join(work, name)
        run(build + ["-shared", "-Wl,-soname,libQt6Core.so.6", "-o", out("core"), out("qt6core.c")])
        run(build + ["-shared", "-o", out("module"), out("qt6module.c"), "-L" + work, "-l:core"])
        # Qt 6's qmake holds its own copy of the prefix slot, as its bootstrapped QtCore does.
        run(build + ["-o", out("qmake"), os.path.join(TRIAL_SOURCES, "qmake.c"), out("qt6core.c")])
        run(build + ["-o", out("tool"), os.path.join(TRIAL_SOURCES, "lupdate.c"), "-L" + work, "-l:module", "-l:core"])
        run(["strip", "--strip-unneeded", out("core"), out("module"), out("qmake"), out("tool")])
        elf = {name: open(out(name), "rb").read() for name in ("core", "module", "qmake", "tool")}

    version, lib = "6.5.3", os.path.join(root, "lib")
    budget = mebibytes * MIB
    text_bytes = files * 2500  # about what the text files below come to
    libraries_bytes = int((budget - text_bytes) * 0.82)
    others_bytes = budget - text_bytes - libraries_bytes
    weights = [QT6_WEIGHTS.get(name, 1 + len(name) % 3) for name in QT6_MODULES]
    for name, weight in zip(QT6_MODULES, weights):
        library = "libQt6%s.so.%s" % (name, version)
        write_padded(os.path.join(lib, library), elf["core" if name == "Core" else "module"],
                     libraries_bytes * weight // sum(weights))
        link(library, os.path.join(lib, "libQt6%s.so.6" % name))
        link("libQt6%s.so.6" % name, os.path.join(lib, "libQt6%s.so" % name))
        write_text(os.path.join(lib, "libQt6%s.prl" % name),
                   "QMAKE_PRL_BUILD_DIR = %s/build/qtbase/src/%s\nQMAKE_PRL_TARGET = libQt6%s.so.%s\n"
                   "QMAKE_PRL_CONFIG = shared release\nQMAKE_PRL_LIBS = -L%s/lib -lQt6Core -lpthread\n"
                   "QMAKE_PRL_VERSION = %s\n" % (old, name.lower(), name, version, old, version))
        write_text(os.path.join(lib, "pkgconfig/Qt6%s.pc" % name),
                   "prefix=%s\nexec_prefix=${prefix}\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\n"
                   "Name: Qt6 %s\nDescription: Qt %s module\nVersion: %s\nLibs: -L${libdir} -lQt6%s\n"
                   "Cflags: -DQT_%s_LIB -I${includedir}/Qt%s -I${includedir}\nRequires: Qt6Core\n"
                   % (old, name, name, version, name, name.upper(), name))
        for suffix in ("Config", "ConfigVersion", "ConfigVersionImpl", "Targets", "Targets-relwithdebinfo",
                       "AdditionalTargetInfo", "Dependencies", "VersionlessTargets"):
            write_text(os.path.join(lib, "cmake/Qt6%s/Qt6%s%s.cmake" % (name, name, suffix)),
                       text_of("cpp", "Qt6%s%s" % (name, suffix), 3000))
        write_text(os.path.join(lib, "metatypes/qt6%s_relwithdebinfo_metatypes.json" % name.lower()),
                   text_of("qml", name, 20000))
        write_text(os.path.join(root, "mkspecs/modules/qt_lib_%s.pri" % name.lower()),
                   "QT.%s.VERSION = %s\nQT.%s.name = Qt%s\nQT.%s.module = Qt6%s\n"
                   "QT.%s.libs = $$QT_MODULE_LIB_BASE\nQT.%s.includes = $$QT_MODULE_INCLUDE_BASE/Qt%s\n"
                   % ((name.lower(), version) + (name.lower(), name) * 2 + (name.lower(),) * 2 + (name,)))
        write_text(os.path.join(root, "mkspecs/modules/qt_lib_%s_private.pri" % name.lower()),
                   "QT.%s_private.VERSION = %s\n" % (name.lower(), version))
    write_padded(os.path.join(root, "bin/qmake"), elf["qmake"], 4 * MIB)
    elves = [("plugins/%s/libq%s%d.so" % (kind, kind[:8], number), elf["module"])
             for index, kind in enumerate(QT6_PLUGIN_KINDS) for number in range(index % 9 + 5)]
    elves += [("bin/" + tool, elf["tool"]) for tool in QT6_TOOLS if tool != "qmake"]
    elves += [("libexec/" + tool, elf["tool"]) for tool in QT6_LIBEXEC]
    for number, (path, data) in enumerate(elves):
        write_padded(os.path.join(root, path), data, others_bytes * (number % 5 + 1) // (3 * len(elves)))
    conf = "MAKEFILE_GENERATOR = UNIX\nQMAKE_PLATFORM = linux\ninclude(../common/linux.conf)\nload(qt_config)\n"
    for number in range(100):
        write_text(os.path.join(root, "mkspecs/platform-%03d/qmake.conf" % number), conf)
        write_text(os.path.join(root, "mkspecs/platform-%03d/qplatformdefs.h" % number), '#include "../common/posix/qplatformdefs.h"\n')
    write_text(os.path.join(root, "mkspecs/qconfig.pri"), "QT_VERSION = %s\nQT_EDITION = OpenSource\nQMAKE_RPATHDIR += \"%s/lib\"\n" % (version, old))
    for language in QT4_LANGUAGES:
        write_padded(os.path.join(root, "translations/qtbase_%s.qm" % language), b"\x3c\xb8\x64\x18", 150 * 1024, 0o644)

    left = files - count_files(root)
    if left < 100:
        sys.exit("error: %d files are too few; the fixed part alone holds %d" % (files, files - left))
    headers, private, qml = spread(left, (60, 20, 20))
    for number in range(headers):
        module = "Qt" + QT6_MODULES[number % len(QT6_MODULES)]
        if number % 2:
            write_text(os.path.join(root, "include", module, "Q%s%d" % (module[2:], number)), '#include "q%d.h"\n' % (number - 1))
        else:
            write_text(os.path.join(root, "include", module, "q%d.h" % number), text_of("h", "q%d" % number, 1000 + number % 9 * 1000))
    for number in range(private):
        module = "Qt" + QT6_MODULES[number % len(QT6_MODULES)]
        write_text(os.path.join(root, "include", module, version, module, "private/q%d_p.h" % number),
                   text_of("h", "p%d" % number, 3000))
    for number in range(qml):
        directory = os.path.join(root, "qml/Qt%s/Module%03d" % (QT6_MODULES[number % 30], number // 30 % 200))
        write_text(os.path.join(directory, "Item%05d.qml" % number), text_of("qml", "item%d" % number, 2500))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("kind", choices=("qt4", "qt6"))
    parser.add_argument("dir")
    parser.add_argument("--files", type=int, help="regular files (qt4: 12000, qt6: 50000)")
    parser.add_argument("--mib", type=int, default=1536, help="qt6: about this many MiB in all")
    parser.add_argument("--old-root", help="qt4: /usr/local/Trolltech/Qt-4.8.7, qt6: /home/builder/Qt/6.5.3/gcc_64")
    args = parser.parse_args()
    root = os.path.abspath(args.dir)
    if os.path.exists(root) and os.listdir(root):
        sys.exit("error: %s is not empty" % root)
    os.makedirs(root, exist_ok=True)
    os.umask(0o022)
    if args.kind == "qt4":
        lay_out_qt4(root, args.files or 12000, args.old_root or "/usr/local/Trolltech/Qt-4.8.7")
    else:
        lay_out_qt6(root, args.files or 50000, args.mib, args.old_root or "/home/builder/Qt/6.5.3/gcc_64")
    entries = sum(len(dirs) + len(names) for _, dirs, names in os.walk(root))
    size = sum(os.lstat(os.path.join(d, name)).st_size for d, _, names in os.walk(root) for name in names)
    print("%s: %d regular files, %d entries, %.0f MiB" % (root, count_files(root), entries, size / MIB))


if __name__ == "__main__":
    main()
