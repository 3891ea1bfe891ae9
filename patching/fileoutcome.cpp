#include "patching/fileoutcome.h"

#include "patching/filestore.h"

#include <QStringList>

FileOutcome FileOutcome::changed()
{
    return FileOutcome{OutcomeStatus::Changed, QString()};
}

FileOutcome FileOutcome::leftAlone(const QString &why)
{
    return FileOutcome{OutcomeStatus::LeftAlone, why};
}

FileOutcome FileOutcome::failed(const QString &why)
{
    return FileOutcome{OutcomeStatus::Failed, why};
}

bool operator==(const FileOutcome &a, const FileOutcome &b)
{
    return a.status == b.status && a.reason == b.reason;
}

QString outcomeStatusKey(OutcomeStatus status)
{
    switch (status) {
    case OutcomeStatus::Changed:
        return QStringLiteral("changed");
    case OutcomeStatus::LeftAlone:
        return QStringLiteral("left-alone");
    case OutcomeStatus::Failed:
        break;
    }
    return QStringLiteral("failed");
}

namespace Reason {
QString noSuchFile() { return QStringLiteral("fichier absent"); }
QString pathHoldsBack() { return QStringLiteral("chemin contenant \".back\""); }
QString noBackup() { return QStringLiteral("aucune sauvegarde"); }
QString upToDate() { return QStringLiteral("déjà à jour"); }
QString linkOutsideInstallation() { return QStringLiteral("lien menant hors de l'installation"); }
QString fileTooLarge() { return QStringLiteral("fichier trop volumineux pour être chargé en mémoire"); }
QString backupNotMade(const QString &err) { return QStringLiteral("sauvegarde impossible : ") + err; }
QString backupNotRead(const QString &err) { return QStringLiteral("lecture de la sauvegarde impossible : ") + err; }
QString fileNotRead(const QString &err) { return QStringLiteral("lecture impossible : ") + err; }
QString fileNotWritten(const QString &err) { return QStringLiteral("écriture impossible : ") + err; }
QString slotsTooSmall(const QStringList &keys)
{
    return QStringLiteral("emplacement trop petit pour ") + keys.join(QStringLiteral(", "));
}
QString workerException(const QString &what) { return QStringLiteral("erreur interne : ") + what; }
QString fileNotLoaded(const LoadedFile &loaded) { return loaded.tooLarge ? fileTooLarge() : fileNotRead(loaded.error); }
QString backupNotLoaded(const LoadedFile &loaded) { return loaded.tooLarge ? fileTooLarge() : backupNotRead(loaded.error); }
QString notRegularFile() { return QStringLiteral("ce n'est pas un fichier ordinaire"); }
QString partialRead() { return QStringLiteral("lecture incomplète"); }
QString sameFileAs(const QString &treated) { return QStringLiteral("même fichier que ") + treated; }
QString backupSizeMismatch()
{
    return QStringLiteral("la sauvegarde n'a pas la taille du fichier, qui contient ses propres chemins Qt "
                          "(autre version ?) : supprimer la sauvegarde pour garder ce fichier, "
                          "ou recopier la sauvegarde sur le fichier pour revenir à l'original");
}
QString directoryHoldsBack()
{
    return QStringLiteral("répertoire contenant \".back\" dans le chemin : rien n'y est jamais modifié");
}
QString patchedWithoutBackup() { return QStringLiteral("patché mais sans sauvegarde"); }
QString namesNoOldRoot() { return QStringLiteral("ne nomme pas l'ancienne racine"); }
QString isDirectory() { return QStringLiteral("c'est un répertoire"); }
QString rootNotEncodable()
{
    return QStringLiteral("chemin impossible à écrire dans l'encodage local du système");
}
QString brokenLink() { return QStringLiteral("lien sans cible"); }
QString otherNamesOfAnotherOwner()
{
    return QStringLiteral("fichier à plusieurs noms (liens physiques) d'un autre propriétaire ou groupe : "
                          "le remplacer lui ferait changer de propriétaire, l'écrire sur place changerait aussi ses autres noms");
}
QString privilegeWouldBeLost()
{
    return QStringLiteral("l'écrire sur place retirerait son bit set-id ou ses capacités, que seul son propriétaire "
                          "ou root peut remettre");
}
QString privilegeLost()
{
    return QStringLiteral("fichier écrit, mais le système lui a retiré son bit set-id ou ses capacités et ils n'ont pas pu être remis");
}
QString attributeNotCopied(const QString &name)
{
    return QStringLiteral("attribut étendu %1 impossible à recopier ; le fichier a d'autres noms, qu'une écriture sur place changerait aussi")
        .arg(name);
}
QString qmakeMissing() { return QStringLiteral("aucun bin/qmake"); }
QString qmakeNotRunnable(const QString &qmake, const QString &err)
{
    return qmake + QStringLiteral(" ne peut pas être lancé ici (") + err + QLatin1Char(')');
}
QString qmakeNotOwned(const QString &qmake)
{
    return qmake + QStringLiteral(" n'est pas lancé : il n'appartient ni à root ni à l'utilisateur qui vérifie");
}
QString qmakeWritableByOthers(const QString &qmake)
{
    return qmake + QStringLiteral(" n'est pas lancé : d'autres utilisateurs peuvent le modifier");
}
QString qmakeGivesNoPath(const QString &qmake) { return qmake + QStringLiteral(" ne donne aucun chemin d'installation"); }
QString qmakeQueryFailed(const QString &qmake, const QString &how)
{
    return qmake + QStringLiteral(" -query ne répond pas correctement : ") + how;
}
QString crashed() { return QStringLiteral("arrêté par un signal"); }
QString exitCode(int code) { return QStringLiteral("code de sortie ") + QString::number(code); }
QString answerTooLong(int limitKiB) { return QStringLiteral("réponse de plus de %1 Kio").arg(limitKiB); }
QString noAnswerInTime(int seconds) { return QStringLiteral("pas de réponse en %1 s").arg(seconds); }
QString notAPath(const QString &answer) { return QStringLiteral("réponse qui n'est pas un chemin : « ") + answer + QStringLiteral(" »"); }
QString elfMalformed(const QString &what) { return QStringLiteral("fichier ELF mal formé : ") + what; }
QString elfWithoutSections()
{
    return QStringLiteral("fichier ELF sans table des sections : les noms qui partagent le chemin de recherche "
                          "des bibliothèques ne peuvent pas tous être trouvés");
}
QString runPathTooLong()
{
    return QStringLiteral("chemin de recherche des bibliothèques trop long pour son emplacement");
}
QString runPathShared()
{
    return QStringLiteral("chemin de recherche des bibliothèques partagé avec un autre nom du fichier");
}
} // namespace Reason
