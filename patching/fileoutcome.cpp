#include "patching/fileoutcome.h"

#include <QStringList>

FileOutcome FileOutcome::changed(const QString &note)
{
    return FileOutcome{OutcomeStatus::Changed, note};
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
