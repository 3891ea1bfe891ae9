#include "patching/fileoutcome.h"

#include "patching/filestore.h"

#include <QCoreApplication>
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
QString noSuchFile() { return QCoreApplication::translate("Reason", "fichier absent"); }
QString pathHoldsBack() { return QCoreApplication::translate("Reason", "chemin contenant \".back\""); }
QString noBackup() { return QCoreApplication::translate("Reason", "aucune sauvegarde"); }
QString upToDate() { return QCoreApplication::translate("Reason", "déjà à jour"); }
QString noPathSlot() { return QCoreApplication::translate("Reason", "aucun emplacement de chemin Qt"); }
QString linkOutsideInstallation() { return QCoreApplication::translate("Reason", "lien menant hors de l'installation"); }
QString fileTooLarge() { return QCoreApplication::translate("Reason", "fichier trop volumineux pour être chargé en mémoire"); }
QString backupNotMade(const QString &err) { return QCoreApplication::translate("Reason", "sauvegarde impossible : %1").arg(err); }
QString backupNotRead(const QString &err) { return QCoreApplication::translate("Reason", "lecture de la sauvegarde impossible : %1").arg(err); }
QString fileNotRead(const QString &err) { return QCoreApplication::translate("Reason", "lecture impossible : %1").arg(err); }
QString fileNotWritten(const QString &err) { return QCoreApplication::translate("Reason", "écriture impossible : %1").arg(err); }
QString slotsTooSmall(const QStringList &keys)
{
    return QCoreApplication::translate("Reason", "emplacement trop petit pour %1").arg(keys.join(QStringLiteral(", ")));
}
QString workerException(const QString &what) { return QCoreApplication::translate("Reason", "erreur interne : %1").arg(what); }
QString fileNotLoaded(const LoadedFile &loaded) { return loaded.tooLarge ? fileTooLarge() : fileNotRead(loaded.error); }
QString backupNotLoaded(const LoadedFile &loaded) { return loaded.tooLarge ? fileTooLarge() : backupNotRead(loaded.error); }
QString notRegularFile() { return QCoreApplication::translate("Reason", "ce n'est pas un fichier ordinaire"); }
QString partialRead() { return QCoreApplication::translate("Reason", "lecture incomplète"); }
QString sameFileAs(const QString &treated) { return QCoreApplication::translate("Reason", "même fichier que %1").arg(treated); }
QString backupSizeMismatch()
{
    return QCoreApplication::translate("Reason", "la sauvegarde n'a pas la taille du fichier, qui contient ses propres chemins Qt "
                                                 "(autre version ?) : supprimer la sauvegarde pour garder ce fichier, "
                                                 "ou recopier la sauvegarde sur le fichier pour revenir à l'original");
}
QString directoryHoldsBack()
{
    return QCoreApplication::translate("Reason", "répertoire contenant \".back\" dans le chemin : rien n'y est jamais modifié");
}
QString patchedWithoutBackup()
{
    return QCoreApplication::translate("Reason", "patché mais sans sauvegarde (ou ajouté depuis le patch) : recopier "
                                                 "l'original sous le nom du fichier suivi de .back");
}
QString namesNoOldRoot() { return QCoreApplication::translate("Reason", "ne nomme pas l'ancienne racine"); }
QString isDirectory() { return QCoreApplication::translate("Reason", "c'est un répertoire"); }
QString rootNotEncodable()
{
    return QCoreApplication::translate("Reason", "chemin impossible à écrire dans l'encodage local du système");
}
QString brokenLink() { return QCoreApplication::translate("Reason", "lien sans cible"); }
QString otherNamesOfAnotherOwner()
{
    return QCoreApplication::translate("Reason", "fichier à plusieurs noms (liens physiques) d'un autre propriétaire ou groupe : "
                                                 "le remplacer lui ferait changer de propriétaire, l'écrire sur place changerait "
                                                 "aussi ses autres noms");
}
QString privilegeWouldBeLost()
{
    return QCoreApplication::translate("Reason", "l'écrire sur place retirerait son bit set-id ou ses capacités, que seul son "
                                                 "propriétaire ou root peut remettre");
}
QString privilegeLost()
{
    return QCoreApplication::translate("Reason", "fichier écrit, mais le système lui a retiré son bit set-id ou ses capacités "
                                                 "et ils n'ont pas pu être remis");
}
QString attributeNotCopied(const QString &name)
{
    return QCoreApplication::translate("Reason", "attribut étendu %1 impossible à recopier ; le fichier a d'autres noms, "
                                                 "qu'une écriture sur place changerait aussi").arg(name);
}
QString qmakeMissing() { return QCoreApplication::translate("Reason", "aucun bin/qmake"); }
QString qmakeNotRunnable(const QString &qmake, const QString &err)
{
    return QCoreApplication::translate("Reason", "%1 ne peut pas être lancé ici (%2)").arg(qmake, err);
}
QString qmakeNotOwned(const QString &qmake)
{
    return QCoreApplication::translate("Reason", "%1 n'est pas lancé : il n'appartient ni à root ni à l'utilisateur qui vérifie")
        .arg(qmake);
}
QString qmakeWritableByOthers(const QString &qmake)
{
    return QCoreApplication::translate("Reason", "%1 n'est pas lancé : d'autres utilisateurs peuvent le modifier").arg(qmake);
}
QString qmakeGivesNoPath(const QString &qmake)
{
    return QCoreApplication::translate("Reason", "%1 ne donne aucun chemin d'installation").arg(qmake);
}
QString qmakeQueryFailed(const QString &qmake, const QString &how)
{
    return QCoreApplication::translate("Reason", "%1 -query ne répond pas correctement : %2").arg(qmake, how);
}
QString crashed() { return QCoreApplication::translate("Reason", "arrêté par un signal"); }
QString exitCode(int code) { return QCoreApplication::translate("Reason", "code de sortie %1").arg(code); }
QString answerTooLong(int limitKiB) { return QCoreApplication::translate("Reason", "réponse de plus de %1 Kio").arg(limitKiB); }
QString noAnswerInTime(int seconds) { return QCoreApplication::translate("Reason", "pas de réponse en %1 s").arg(seconds); }
QString notAPath(const QString &answer)
{
    return QCoreApplication::translate("Reason", "réponse qui n'est pas un chemin : « %1 »").arg(answer);
}
QString elfMalformed(const QString &what) { return QCoreApplication::translate("Reason", "fichier ELF mal formé : %1").arg(what); }
QString elfWithoutSections()
{
    return QCoreApplication::translate("Reason", "fichier ELF sans table des sections : les noms qui partagent le chemin de "
                                                 "recherche des bibliothèques ne peuvent pas tous être trouvés");
}
QString runPathTooLong()
{
    return QCoreApplication::translate("Reason", "chemin de recherche des bibliothèques trop long pour son emplacement");
}
QString runPathShared()
{
    return QCoreApplication::translate("Reason", "chemin de recherche des bibliothèques partagé avec un autre nom du fichier");
}
} // namespace Reason
