#include "cli/cliargs.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
CliRequest usageError(const QString &message)
{
    CliRequest request;
    request.action = CliAction::UsageError;
    request.error = message;
    return request;
}

QString quoted(const QString &text)
{
    return QStringLiteral("« ") + text + QStringLiteral(" »");
}
} // namespace

QString absoluteQtPath(const QString &dir)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(QFileInfo(dir).absoluteFilePath()));
}

QString actionKey(CliAction action)
{
    switch (action) {
    case CliAction::Patch:
        return QStringLiteral("patch");
    case CliAction::Unpatch:
        return QStringLiteral("unpatch");
    case CliAction::Inspect:
        return QStringLiteral("inspect");
    default:
        break; // help, version and usage errors name no installation
    }
    return QString();
}

CliRequest parseCliArguments(const QStringList &arguments)
{
    // Help and version are handled here rather than by the parser's own options,
    // whose texts are English.
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")}, QString());
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"), QString());
    const QCommandLineOption jsonOption(QStringLiteral("json"), QString());

    QCommandLineParser parser;
    parser.addOptions({helpOption, versionOption, dryRunOption, jsonOption});
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString dashes = unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
            return usageError(QStringLiteral("option inconnue : ") + dashes + unknown.first());
        }
        // None of the options takes a value; that is the parser's only other complaint.
        for (const QString &argument : arguments.mid(1)) {
            if (argument.startsWith(QLatin1String("--")) && argument.contains(QLatin1Char('=')))
                return usageError(QStringLiteral("l'option ") + argument.section(QLatin1Char('='), 0, 0)
                                  + QStringLiteral(" ne prend pas de valeur"));
        }
        return usageError(QStringLiteral("arguments incorrects"));
    }

    CliRequest request;
    if (parser.isSet(helpOption)) {
        request.action = CliAction::Help;
        return request;
    }
    if (parser.isSet(versionOption)) {
        request.action = CliAction::Version;
        return request;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("commande manquante : patch, unpatch ou inspect"));
    const QString command = positional.first();
    if (command == QLatin1String("patch"))
        request.action = CliAction::Patch;
    else if (command == QLatin1String("unpatch"))
        request.action = CliAction::Unpatch;
    else if (command == QLatin1String("inspect"))
        request.action = CliAction::Inspect;
    else
        return usageError(QStringLiteral("commande inconnue : ") + quoted(command));

    if (positional.size() < 2)
        return usageError(QStringLiteral("répertoire manquant après ") + quoted(command));
    if (positional.size() > 2)
        return usageError(QStringLiteral("argument en trop : ") + quoted(positional.at(2)));
    if (positional.at(1).isEmpty())
        return usageError(QStringLiteral("le répertoire donné est vide"));

    request.dryRun = parser.isSet(dryRunOption);
    request.json = parser.isSet(jsonOption);
    if (request.dryRun && request.action == CliAction::Inspect)
        return usageError(QStringLiteral("--dry-run ne s'applique qu'à patch et unpatch (inspect n'écrit jamais rien)"));
    request.qtPath = absoluteQtPath(positional.at(1));
    return request;
}

QString helpText()
{
    return QStringLiteral(
        "Usage : zel-qt-patcher-cli [options] patch|unpatch|inspect REPERTOIRE\n"
        "\n"
        "Relocalise une installation de Qt 4 copiée dans REPERTOIRE : réécrit le chemin\n"
        "d'origine inscrit dans qmake, les bibliothèques QtCore et les deux fichiers de\n"
        "configuration de qmake, comme les commandes « patcher » et « unpatcher » de la fenêtre.\n"
        "\n"
        "Commandes :\n"
        "  patch REPERTOIRE     réécrit chaque fichier pour qu'il nomme REPERTOIRE ; une sauvegarde\n"
        "                       « .back » est faite à côté avant la première modification\n"
        "  unpatch REPERTOIRE   remet chaque fichier dans l'état de sa sauvegarde\n"
        "  inspect REPERTOIRE   montre sans rien écrire les fichiers visités, leurs\n"
        "                       chemins inscrits, leurs sauvegardes et l'ancienne racine\n"
        "\n"
        "Options :\n"
        "  --dry-run       (patch, unpatch) indique ce qui changerait, sans rien écrire\n"
        "                  ni faire de sauvegarde\n"
        "  --json          écrit le rapport sous la forme d'un seul document JSON\n"
        "  -h, --help      affiche cette aide\n"
        "  -v, --version   affiche la version\n"
        "\n"
        "Code de sortie : 0 si aucun fichier n'a échoué, 1 si au moins un fichier a\n"
        "échoué, 2 pour une erreur d'utilisation ou un répertoire refusé.\n");
}

QString versionText()
{
    return QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion()
        + QLatin1Char('\n');
}

QString tryHelpText()
{
    return QStringLiteral("Essayez « zel-qt-patcher-cli --help ».\n");
}
