#ifndef ZEL_FILEOUTCOME_H
#define ZEL_FILEOUTCOME_H

#include <QString>

struct LoadedFile;

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

    static FileOutcome changed();
    static FileOutcome leftAlone(const QString &why);
    static FileOutcome failed(const QString &why);
};

bool operator==(const FileOutcome &a, const FileOutcome &b);
inline bool operator!=(const FileOutcome &a, const FileOutcome &b) { return !(a == b); }

// Whether a worker writes, or only tells what it would do (no backup, no write).
enum class WriteMode { Apply, DryRun };

// Whether a backup of another length than the file is refused when the file holds path slots of
// its own (another build): so for binaries, whose patch never changes their length; a configuration
// file's length changes with its root, and a libtool .la file may have been edited by hand.
enum class BackupSize { Any, RefuseOtherBuild };

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
QString noPathSlot();                       // "aucun emplacement de chemin Qt"
QString linkOutsideInstallation();          // "lien menant hors de l'installation"
QString fileTooLarge();                     // "fichier trop volumineux pour être chargé en mémoire"
QString backupNotMade(const QString &err);  // "sauvegarde impossible : <err>"
QString backupNotRead(const QString &err);  // "lecture de la sauvegarde impossible : <err>"
QString fileNotRead(const QString &err);    // "lecture impossible : <err>"
QString fileNotWritten(const QString &err); // "écriture impossible : <err>"
QString slotsTooSmall(const QStringList &keys); // "emplacement trop petit pour qt_prfxpath=, ..."
QString workerException(const QString &what);   // "erreur interne : <what>"
QString fileNotLoaded(const LoadedFile &loaded);   // fileTooLarge() or fileNotRead(<its error>)
QString backupNotLoaded(const LoadedFile &loaded); // fileTooLarge() or backupNotRead(<its error>)

// Details that fill the <err> of the texts above when no system error applies.
QString notRegularFile();                   // "ce n'est pas un fichier ordinaire"
QString partialRead();                      // "lecture incomplète"
QString brokenLink();                       // "lien sans cible"
QString otherNamesOfAnotherOwner();         // "fichier à plusieurs noms (liens physiques) d'un autre propriétaire ..."
QString privilegeWouldBeLost();             // "l'écrire sur place retirerait son bit set-id ou ses capacités, ..."
QString privilegeLost();                    // "fichier écrit, mais le système lui a retiré son bit set-id ..."
QString attributeNotCopied(const QString &name); // "attribut étendu <name> impossible à recopier ; ..."

QString sameFileAs(const QString &treated); // "même fichier que <treated>"
QString backupSizeMismatch();               // "la sauvegarde n'a pas la taille du fichier, ..." and what to do
QString directoryHoldsBack();               // "répertoire contenant \".back\" dans le chemin : ..."
QString patchedWithoutBackup();             // "patché mais sans sauvegarde (ou ajouté depuis le patch) : ..."
QString namesNoOldRoot();                   // "ne nomme pas l'ancienne racine"
QString isDirectory();                      // "c'est un répertoire"
QString rootNotEncodable();                 // "chemin impossible à écrire dans l'encodage local du système"
QString elfMalformed(const QString &what); // "fichier ELF mal formé : <what>"
QString elfWithoutSections();               // "fichier ELF sans table des sections : ..."
QString runPathTooLong();                   // "chemin de recherche des bibliothèques trop long pour son emplacement"
QString runPathShared();                    // "chemin de recherche des bibliothèques partagé avec un autre nom du fichier"

// Why verify reads the slots rather than asking bin/qmake, and how a qmake that ran failed.
QString qmakeMissing();                                  // "aucun bin/qmake"
QString qmakeNotRunnable(const QString &qmake, const QString &err); // "<qmake> ne peut pas être lancé ici (<err>)"
QString qmakeNotOwned(const QString &qmake);             // "<qmake> n'est pas lancé : il n'appartient ni à root ni à ..."
QString qmakeWritableByOthers(const QString &qmake);     // "<qmake> n'est pas lancé : d'autres utilisateurs peuvent ..."
QString qmakeGivesNoPath(const QString &qmake);          // "<qmake> ne donne aucun chemin d'installation"
QString qmakeQueryFailed(const QString &qmake, const QString &how); // "<qmake> -query ne répond pas correctement : <how>"
QString crashed();                                       // "arrêté par un signal"
QString exitCode(int code);                              // "code de sortie <code>"
QString answerTooLong(int limitKiB);                     // "réponse de plus de <limit> Kio"
QString noAnswerInTime(int seconds);                     // "pas de réponse en <seconds> s"
QString notAPath(const QString &answer);                 // "réponse qui n'est pas un chemin : « <answer> »"
} // namespace Reason

#endif
