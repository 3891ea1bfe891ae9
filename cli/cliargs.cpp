#include "cli/cliargs.h"

#include "app/qtpathcheck.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

CliRequest parseCliArguments(const QStringList &arguments)
{
    // Help and version are options of our own: the parser's texts are English.
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption deep(QStringLiteral("deep"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption hostQt(QStringLiteral("host-qt"), QString(), QStringLiteral("DIR"));
    QCommandLineParser parser;
    parser.addOptions({help, version, deep, dryRun, json, hostQt});

    CliRequest request;
    if (!parser.parse(arguments)) {
        request.error = parser.errorText();
        // A script that asked for JSON reads the usage error as JSON too.
        request.json = arguments.mid(1).contains(QStringLiteral("--json"));
        return request;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        request.action = parser.isSet(help) ? CliAction::Help : CliAction::Version;
        return request;
    }
    const QStringList positional = parser.positionalArguments();
    const QStringList commands{QStringLiteral("patch"), QStringLiteral("unpatch"), QStringLiteral("inspect"),
                               QStringLiteral("verify")};
    request.command = positional.value(0);
    const int index = commands.indexOf(request.command);
    request.deep = parser.isSet(deep);
    request.dryRun = parser.isSet(dryRun);
    request.json = parser.isSet(json);
    // inspect and verify never write, so --deep and --dry-run mean nothing to them; only a patch names a host Qt.
    if (index < 0 || positional.size() != 2 || positional.at(1).isEmpty()
        || (index >= 2 && (request.deep || request.dryRun)) || (index != 0 && parser.isSet(hostQt))
        || (parser.isSet(hostQt) && (parser.value(hostQt).isEmpty() || parser.values(hostQt).size() > 1))) {
        request.error = QCoreApplication::translate("Cli", "usage : zel-qt-patcher-cli [--deep] [--dry-run] [--json] [--host-qt REPERTOIRE] "
                                                           "patch REPERTOIRE, [--deep] [--dry-run] [--json] unpatch "
                                                           "REPERTOIRE, ou [--json] inspect|verify REPERTOIRE");
        return request;
    }
    request.action = static_cast<CliAction>(int(CliAction::Patch) + index);
    // As the system resolves it, so that LINK/../qt is the directory beside the link's target.
    request.qtPath = resolvedQtPath(positional.at(1));
    if (request.qtPath.isEmpty())
        request.qtPath = QDir::cleanPath(QDir::fromNativeSeparators(QFileInfo(positional.at(1)).absoluteFilePath()));
    if (parser.isSet(hostQt)) {
        request.hostQt = resolvedQtPath(parser.value(hostQt));
        if (request.hostQt.isEmpty())
            request.hostQt = QDir::cleanPath(QDir::fromNativeSeparators(QFileInfo(parser.value(hostQt)).absoluteFilePath()));
    }
    return request;
}

QString helpText()
{
    return QCoreApplication::translate("Cli",
        "Usage : zel-qt-patcher-cli [options] patch|unpatch|inspect|verify REPERTOIRE\n"
        "\n"
        "Relocalise une installation de Qt 4 copiée dans REPERTOIRE : réécrit le chemin\n"
        "d'origine inscrit dans qmake, les bibliothèques QtCore et les deux fichiers de\n"
        "configuration de qmake, comme les commandes « patcher » et « unpatcher » de la fenêtre.\n"
        "Une installation de Qt 5 ou de Qt 6 est relocalisée tout entière, comme avec --deep.\n"
        "\n"
        "Commandes :\n"
        "  patch REPERTOIRE     réécrit chaque fichier pour qu'il nomme REPERTOIRE ; une sauvegarde\n"
        "                       « .back » est faite à côté avant la première modification\n"
        "  unpatch REPERTOIRE   remet chaque fichier dans l'état de sa sauvegarde\n"
        "  inspect REPERTOIRE   montre sans rien écrire les fichiers visités, leurs\n"
        "                       chemins inscrits, leurs sauvegardes et l'ancienne racine\n"
        "  verify REPERTOIRE    vérifie sans rien écrire que l'installation nomme REPERTOIRE\n"
        "                       partout (réponses de bin/qmake -query, emplacements, fichiers) ;\n"
        "                       lance le bin/qmake de l'installation s'il appartient à root ou à\n"
        "                       l'utilisateur et que personne d'autre ne peut le modifier\n"
        "\n"
        "Options :\n"
        "  --deep          (patch) traite aussi mkspecs/qconfig.pri, lib/*.prl,\n"
        "                  lib/*.la, lib/pkgconfig/*.pc, bin/qt.conf, les chemins que\n"
        "                  qmake.conf et .qmake.cache nomment en dehors des quatre clés,\n"
        "                  et le RUNPATH ou RPATH de chaque fichier ELF de REPERTOIRE ;\n"
        "                  (unpatch) signale aussi ceux de ces fichiers patchés sans sauvegarde\n"
        "  --dry-run       (patch, unpatch) indique ce qui changerait, sans rien écrire\n"
        "                  ni faire de sauvegarde\n"
        "  --json          écrit le rapport sous la forme d'un seul document JSON\n"
        "  --host-qt REP   (patch) où est maintenant le Qt hôte d'un kit de compilation croisée\n"
        "                  de Qt 6 : ses scripts qmake et qtpaths, target_qt.conf et ses\n"
        "                  fichiers CMake le désignent là\n"
        "  -h, --help      affiche cette aide\n"
        "  -v, --version   affiche la version\n"
        "\n"
        "Code de sortie : 0 si aucun fichier n'a échoué (verify : si l'installation est\n"
        "relocalisée), 1 sinon ou si une autre commande s'exécute sur l'installation,\n"
        "2 pour une erreur d'utilisation ou un répertoire refusé.\n");
}
