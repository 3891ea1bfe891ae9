#ifndef ZEL_FILEOUTCOME_H
#define ZEL_FILEOUTCOME_H

#include <QString>

// What a worker did to the one file it was given. The window and the
// command-line front end decide how to show it; workers never show anything.
enum class OutcomeStatus {
    Changed,   // the file got new content (in a dry run: would get it)
    LeftAlone, // nothing to do, for an ordinary reason (see the reason text)
    Failed     // the file could not be treated as asked; it is as it was, see the reason text
};

struct FileOutcome {
    OutcomeStatus status = OutcomeStatus::LeftAlone;
    QString reason; // short text in the user's language (French in the sources); empty for a plain Changed

    bool isFailure() const { return status == OutcomeStatus::Failed; }

    static FileOutcome changed(const QString &note = QString());
    static FileOutcome leftAlone(const QString &why);
    static FileOutcome failed(const QString &why);
};

bool operator==(const FileOutcome &a, const FileOutcome &b);
inline bool operator!=(const FileOutcome &a, const FileOutcome &b) { return !(a == b); }

// Whether a worker writes, or only tells what it would do (no backup, no write).
enum class WriteMode { Apply, DryRun };

// Whether a backup must have the file's length to be trusted: so for binaries that hold
// path slots, whose patch never changes it; a configuration file's length changes with
// its root, and a libtool .la file, which holds no slot, may have been edited by hand.
enum class BackupSize { Any, MustMatchFile };

// Stable English name of a status, for machine-readable reports ("changed", "left-alone", "failed").
QString outcomeStatusKey(OutcomeStatus status);

// The reason texts shared by every worker, so that the window, the front end
// and the tests all speak of one situation with one sentence. Each is French, wrapped in
// QCoreApplication::translate("Reason", ...); its English is in translations/zel-qt-patcher_en.ts
// (scripts/update-translations.sh brings a new one in).
namespace Reason {
QString noSuchFile();                       // "fichier absent"
QString pathHoldsBack();                    // "chemin contenant \".back\""
QString noBackup();                         // "aucune sauvegarde"
QString upToDate();                         // "déjà à jour"
QString linkOutsideInstallation();          // "lien menant hors de l'installation"
QString fileTooLarge();                     // "fichier trop volumineux pour être chargé en mémoire"
QString backupNotMade(const QString &err);  // "sauvegarde impossible : <err>"
QString backupNotRead(const QString &err);  // "lecture de la sauvegarde impossible : <err>"
QString fileNotRead(const QString &err);    // "lecture impossible : <err>"
QString fileNotWritten(const QString &err); // "écriture impossible : <err>"
QString slotsTooSmall(const QStringList &keys); // "emplacement trop petit pour qt_prfxpath=, ..."
QString workerException(const QString &what);   // "erreur interne : <what>"

// Details that fill the <err> of the texts above when no system error applies.
QString notRegularFile();                   // "ce n'est pas un fichier ordinaire"
QString partialRead();                      // "lecture incomplète"
QString brokenLink();                       // "lien sans cible"

QString sameFileAs(const QString &treated); // "même fichier que <treated>"
QString backupSizeMismatch();               // "la sauvegarde n'a pas la taille du fichier, ..." and what to do
QString directoryHoldsBack();               // "répertoire contenant \".back\" dans le chemin : ..."
QString patchedWithoutBackup();             // "patché mais sans sauvegarde"
QString namesNoOldRoot();                   // "ne nomme pas l'ancienne racine"
QString isDirectory();                      // "c'est un répertoire"
QString rootNotEncodable();                 // "chemin impossible à écrire dans l'encodage local du système"
} // namespace Reason

#endif
