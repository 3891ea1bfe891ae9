#include "patching/fileoutcome.h"

#include <QCoreApplication>
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
QString noSuchFile() { return QCoreApplication::translate("Reason", "fichier absent"); }
QString pathHoldsBack() { return QCoreApplication::translate("Reason", "chemin contenant \".back\""); }
QString noBackup() { return QCoreApplication::translate("Reason", "aucune sauvegarde"); }
QString upToDate() { return QCoreApplication::translate("Reason", "déjà à jour"); }
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
QString patchedWithoutBackup() { return QCoreApplication::translate("Reason", "patché mais sans sauvegarde"); }
QString namesNoOldRoot() { return QCoreApplication::translate("Reason", "ne nomme pas l'ancienne racine"); }
QString isDirectory() { return QCoreApplication::translate("Reason", "c'est un répertoire"); }
QString rootNotEncodable()
{
    return QCoreApplication::translate("Reason", "chemin impossible à écrire dans l'encodage local du système");
}
QString brokenLink() { return QCoreApplication::translate("Reason", "lien sans cible"); }
} // namespace Reason
