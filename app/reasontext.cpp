#include "app/reasontext.h"

#include <QCoreApplication>

namespace {
// Each code once: its stable name and its French text, where %1, %2 are its arguments in order and
// %C the cause's text.
struct CodeText {
    ReasonCode code;
    const char *key;
    const char *text;
    bool oneList = false; // its arguments are the items of one list, %1, shown together
};

const CodeText codeTexts[] = {
    {ReasonCode::None, "", ""},
    {ReasonCode::NoSuchFile, "no-such-file", QT_TRANSLATE_NOOP("Reason", "fichier absent")},
    {ReasonCode::PathHoldsBack, "path-holds-back", QT_TRANSLATE_NOOP("Reason", "chemin contenant \".back\"")},
    {ReasonCode::DirectoryHoldsBack, "directory-holds-back",
     QT_TRANSLATE_NOOP("Reason", "répertoire contenant \".back\" dans le chemin : rien n'y est jamais modifié")},
    {ReasonCode::NoBackup, "no-backup", QT_TRANSLATE_NOOP("Reason", "aucune sauvegarde")},
    {ReasonCode::UpToDate, "up-to-date", QT_TRANSLATE_NOOP("Reason", "déjà à jour")},
    {ReasonCode::NoPathSlot, "no-path-slot", QT_TRANSLATE_NOOP("Reason", "aucun emplacement de chemin Qt")},
    {ReasonCode::NamesNoOldRoot, "names-no-old-root", QT_TRANSLATE_NOOP("Reason", "ne nomme pas l'ancienne racine")},
    {ReasonCode::IsDirectory, "is-directory", QT_TRANSLATE_NOOP("Reason", "c'est un répertoire")},
    {ReasonCode::SameFileAs, "same-file-as", QT_TRANSLATE_NOOP("Reason", "même fichier que %1")},
    {ReasonCode::LinkOutsideInstallation, "link-outside-installation",
     QT_TRANSLATE_NOOP("Reason", "lien menant hors de l'installation")},
    {ReasonCode::OtherFileSystem, "other-file-system",
     QT_TRANSLATE_NOOP("Reason", "autre système de fichiers monté ici : non parcouru")},
    {ReasonCode::UnreadableName, "unreadable-name",
     QT_TRANSLATE_NOOP("Reason", "nom que l'encodage du système ne sait pas écrire : ni lu ni modifié")},
    {ReasonCode::DirectoryNotRead, "directory-not-read", QT_TRANSLATE_NOOP("Reason", "lecture du répertoire impossible : %C")},
    {ReasonCode::FileNotRead, "file-not-read", QT_TRANSLATE_NOOP("Reason", "lecture impossible : %C")},
    {ReasonCode::BackupNotRead, "backup-not-read", QT_TRANSLATE_NOOP("Reason", "lecture de la sauvegarde impossible : %C")},
    {ReasonCode::BackupNotMade, "backup-not-made", QT_TRANSLATE_NOOP("Reason", "sauvegarde impossible : %C")},
    {ReasonCode::FileNotWritten, "file-not-written", QT_TRANSLATE_NOOP("Reason", "écriture impossible : %C")},
    {ReasonCode::SlotsTooSmall, "slots-too-small", QT_TRANSLATE_NOOP("Reason", "emplacement trop petit pour %1"), true},
    {ReasonCode::PrefixLengthFixed, "prefix-length-fixed",
     QT_TRANSLATE_NOOP("Reason", "cette QtCore lit son préfixe sur exactement %2 octets et le nouveau chemin en "
                                 "demande %1 : rien n'y est écrit ; patcher l'installation sous un chemin d'au plus "
                                 "%2 octets (un lien court vers elle suffit)")},
    {ReasonCode::SlotsUnread, "slots-unread",
     QT_TRANSLATE_NOOP("Reason", "QtCore relocalisable : elle trouve sa place seule et ne lit jamais ses chemins, laissés tels quels")},
    {ReasonCode::DevicePrefixKept, "device-prefix-kept",
     QT_TRANSLATE_NOOP("Reason", "%1 est le préfixe de l'appareil cible, gardé tel quel")},
    {ReasonCode::HostQtMissing, "host-qt-missing",
     QT_TRANSLATE_NOOP("Reason", "le Qt hôte de ce kit, %1, n'est plus là : le désigner là où il est avec "
                                 "zel-qt-patcher-cli patch --host-qt REPERTOIRE")},
    {ReasonCode::OtherBuild, "other-build",
     QT_TRANSLATE_NOOP("Reason", "le fichier diffère de sa sauvegarde ailleurs que dans ses chemins (autre version ?) : "
                                 "pour garder ce fichier, le recopier sur sa sauvegarde ; pour revenir à l'original, "
                                 "recopier la sauvegarde sur le fichier")},
    {ReasonCode::PatchedWithoutBackup, "patched-without-backup",
     QT_TRANSLATE_NOOP("Reason", "patché mais sans sauvegarde (ou ajouté depuis le patch) : recopier "
                                 "l'original sous le nom du fichier suivi de .back")},
    {ReasonCode::UnlistedSlots, "unlisted-slots",
     QT_TRANSLATE_NOOP("Reason", "contient des chemins de Qt mais n'est pas de ceux que ce patch traite (aucun lien "
                                 "libQtCore.so n'y mène ?) : laissé tel quel ; la ligne de commande le patche avec --deep")},
    {ReasonCode::EditsKept, "edits-kept", QT_TRANSLATE_NOOP("Reason", "lignes écrites depuis le dernier patch gardées")},
    {ReasonCode::EditedSincePatch, "edited-since-patch",
     QT_TRANSLATE_NOOP("Reason", "modifié depuis le dernier patch : la restauration perdrait ces modifications ; pour "
                                 "les abandonner, recopier la sauvegarde sur le fichier")},
    {ReasonCode::ChangedDuringRun, "changed-during-run",
     QT_TRANSLATE_NOOP("Reason", "modifié par un autre programme pendant la commande : la relancer")},
    {ReasonCode::RootNotEncodable, "root-not-encodable",
     QT_TRANSLATE_NOOP("Reason", "chemin impossible à écrire dans l'encodage local du système")},
    {ReasonCode::FileTooLarge, "file-too-large",
     QT_TRANSLATE_NOOP("Reason", "fichier trop volumineux : %1 octets, au plus %2 pour un fichier de ce genre")},
    {ReasonCode::TooManyPrefixes, "too-many-prefixes",
     QT_TRANSLATE_NOOP("Reason", "plus de %1 préfixes différents inscrits : pas une installation de Qt telle que construite")},
    {ReasonCode::ElfMalformed, "elf-malformed", QT_TRANSLATE_NOOP("Reason", "fichier ELF mal formé : %C")},
    {ReasonCode::ElfWithoutSections, "elf-without-sections",
     QT_TRANSLATE_NOOP("Reason", "fichier ELF sans table des sections : les noms qui partagent le chemin de "
                                 "recherche des bibliothèques ne peuvent pas tous être trouvés")},
    {ReasonCode::RunPathTooLong, "run-path-too-long",
     QT_TRANSLATE_NOOP("Reason", "chemin de recherche des bibliothèques trop long pour son emplacement : "
                                 "%1 octets pour %2")},
    {ReasonCode::RunPathShared, "run-path-shared",
     QT_TRANSLATE_NOOP("Reason", "chemin de recherche des bibliothèques partagé avec un autre nom du fichier")},
    {ReasonCode::WorkerException, "worker-exception", QT_TRANSLATE_NOOP("Reason", "erreur interne : %1")},
    {ReasonCode::UnknownException, "unknown-exception", QT_TRANSLATE_NOOP("Reason", "erreur interne : exception inconnue")},
    {ReasonCode::RunInProgress, "run-in-progress",
     QT_TRANSLATE_NOOP("Reason", "une autre commande est en cours sur cette installation : rien n'a été fait ; "
                                 "relancer celle-ci une fois l'autre finie")},
    {ReasonCode::RunLockNotMade, "run-lock-not-made",
     QT_TRANSLATE_NOOP("Reason", "verrou de l'installation impossible à poser, rien n'a été fait : %C")},
    {ReasonCode::DeepOnly, "deep-only", QT_TRANSLATE_NOOP("Reason", "fichier de construction, que seul --deep réécrit")},
    {ReasonCode::OldRootInDeepLines, "old-root-in-deep-lines",
     QT_TRANSLATE_NOOP("Reason", "nomme l'ancienne racine dans des lignes que seul --deep réécrit")},
    {ReasonCode::NamesOldRoot, "names-old-root", QT_TRANSLATE_NOOP("Reason", "nomme encore l'ancienne racine %1")},
    {ReasonCode::SearchPathNamesOldRoot, "search-path-names-old-root",
     QT_TRANSLATE_NOOP("Reason", "RUNPATH ou RPATH nomme encore l'ancienne racine %1")},
    {ReasonCode::StaleSlots, "stale-slots", QT_TRANSLATE_NOOP("Reason", "emplacements de chemin Qt qui ne nomment pas le répertoire")},
    {ReasonCode::WouldChange, "would-change",
     QT_TRANSLATE_NOOP("Reason", "un patch --deep le changerait encore : relancer patch --deep")},
    {ReasonCode::QmakeMissing, "qmake-missing", QT_TRANSLATE_NOOP("Reason", "aucun bin/qmake")},
    {ReasonCode::QmakeNotRunnable, "qmake-not-runnable", QT_TRANSLATE_NOOP("Reason", "%1 ne peut pas être lancé ici (%C)")},
    {ReasonCode::QmakeNotOwned, "qmake-not-owned",
     QT_TRANSLATE_NOOP("Reason", "%1 n'est pas lancé : il n'appartient ni à root ni à l'utilisateur qui vérifie")},
    {ReasonCode::QmakeWritableByOthers, "qmake-writable-by-others",
     QT_TRANSLATE_NOOP("Reason", "%1 n'est pas lancé : d'autres utilisateurs peuvent le modifier")},
    {ReasonCode::QmakeGivesNoPath, "qmake-gives-no-path", QT_TRANSLATE_NOOP("Reason", "%1 ne donne aucun chemin d'installation")},
    {ReasonCode::QmakeQueryFailed, "qmake-query-failed", QT_TRANSLATE_NOOP("Reason", "%1 -query ne répond pas correctement : %C")},
};

struct CauseText {
    Cause cause;
    const char *key;
    const char *text; // %1: the detail
};

const CauseText causeTexts[] = {
    {Cause::None, "", ""},
    {Cause::AccessDenied, "access-denied", QT_TRANSLATE_NOOP("Reason", "accès refusé")},
    {Cause::ReadOnlyFileSystem, "read-only-file-system", QT_TRANSLATE_NOOP("Reason", "système de fichiers en lecture seule")},
    {Cause::NoSpace, "no-space", QT_TRANSLATE_NOOP("Reason", "plus de place sur le disque")},
    {Cause::QuotaExceeded, "quota-exceeded", QT_TRANSLATE_NOOP("Reason", "quota disque dépassé")},
    {Cause::Busy, "busy", QT_TRANSLATE_NOOP("Reason", "fichier en cours d'utilisation")},
    {Cause::FileSizeLimit, "file-size-limit", QT_TRANSLATE_NOOP("Reason", "taille de fichier limite dépassée")},
    {Cause::IsDirectory, "is-directory", QT_TRANSLATE_NOOP("Reason", "c'est un répertoire")},
    {Cause::NotFound, "not-found", QT_TRANSLATE_NOOP("Reason", "introuvable")},
    {Cause::IoError, "io-error", QT_TRANSLATE_NOOP("Reason", "erreur d'entrée-sortie")},
    {Cause::NameTooLong, "name-too-long", QT_TRANSLATE_NOOP("Reason", "chemin trop long")},
    {Cause::TooManyOpenFiles, "too-many-open-files", QT_TRANSLATE_NOOP("Reason", "trop de fichiers ouverts")},
    {Cause::OutOfMemory, "out-of-memory", QT_TRANSLATE_NOOP("Reason", "mémoire insuffisante")},
    {Cause::TooLarge, "too-large", QT_TRANSLATE_NOOP("Reason", "fichier trop volumineux pour être chargé en mémoire")},
    {Cause::NotRegularFile, "not-regular-file", QT_TRANSLATE_NOOP("Reason", "ce n'est pas un fichier ordinaire")},
    {Cause::PartialRead, "partial-read", QT_TRANSLATE_NOOP("Reason", "lecture incomplète")},
    {Cause::BrokenLink, "broken-link", QT_TRANSLATE_NOOP("Reason", "lien sans cible")},
    {Cause::OtherNamesOfAnotherOwner, "other-names-of-another-owner",
     QT_TRANSLATE_NOOP("Reason", "fichier à plusieurs noms (liens physiques) d'un autre propriétaire ou groupe : "
                                 "le remplacer lui ferait changer de propriétaire, l'écrire sur place changerait "
                                 "aussi ses autres noms")},
    {Cause::PrivilegeWouldBeLost, "privilege-would-be-lost",
     QT_TRANSLATE_NOOP("Reason", "l'écrire sur place retirerait son bit set-id ou ses capacités, que seul son "
                                 "propriétaire ou root peut remettre")},
    {Cause::PrivilegeLost, "privilege-lost",
     QT_TRANSLATE_NOOP("Reason", "fichier écrit, mais le système lui a retiré son bit set-id ou ses capacités "
                                 "et ils n'ont pas pu être remis")},
    {Cause::AttributeNotCopied, "attribute-not-copied",
     QT_TRANSLATE_NOOP("Reason", "attribut étendu %1 impossible à recopier ; le fichier a d'autres noms, "
                                 "qu'une écriture sur place changerait aussi")},
    {Cause::System, "system", "%1"},
    {Cause::Crashed, "crashed", QT_TRANSLATE_NOOP("Reason", "arrêté par un signal")},
    {Cause::ExitCode, "exit-code", QT_TRANSLATE_NOOP("Reason", "code de sortie %1")},
    {Cause::AnswerTooLong, "answer-too-long", QT_TRANSLATE_NOOP("Reason", "réponse de plus de %1 Kio")},
    {Cause::NoAnswerInTime, "no-answer-in-time", QT_TRANSLATE_NOOP("Reason", "pas de réponse en %1 s")},
    {Cause::NotAPath, "not-a-path", QT_TRANSLATE_NOOP("Reason", "réponse qui n'est pas un chemin : « %1 »")},
    {Cause::ElfNoSignature, "elf-no-signature", QT_TRANSLATE_NOOP("Reason", "signature absente")},
    {Cause::ElfUnknownClass, "elf-unknown-class", QT_TRANSLATE_NOOP("Reason", "classe ou ordre des octets inconnu")},
    {Cause::ElfHeaderCut, "elf-header-cut", QT_TRANSLATE_NOOP("Reason", "en-tête incomplet")},
    {Cause::ElfSectionsOutside, "elf-sections-outside", QT_TRANSLATE_NOOP("Reason", "table des sections hors du fichier")},
    {Cause::ElfSegmentsOutside, "elf-segments-outside", QT_TRANSLATE_NOOP("Reason", "table des segments hors du fichier")},
    {Cause::ElfDynamicDisagrees, "elf-dynamic-disagrees",
     QT_TRANSLATE_NOOP("Reason", "section et segment dynamiques en désaccord")},
    {Cause::ElfDynamicOutside, "elf-dynamic-outside", QT_TRANSLATE_NOOP("Reason", "section dynamique hors du fichier")},
    {Cause::ElfDynamicWithoutStrings, "elf-dynamic-without-strings",
     QT_TRANSLATE_NOOP("Reason", "section dynamique sans table des chaînes")},
    {Cause::ElfStringsDisagree, "elf-strings-disagree",
     QT_TRANSLATE_NOOP("Reason", "table des chaînes et section des chaînes en désaccord")},
    {Cause::ElfStringsOutside, "elf-strings-outside", QT_TRANSLATE_NOOP("Reason", "table des chaînes hors du fichier")},
    {Cause::ElfStringsOverTables, "elf-strings-over-tables",
     QT_TRANSLATE_NOOP("Reason", "table des chaînes superposée aux tables du fichier")},
    {Cause::ElfStringOutside, "elf-string-outside", QT_TRANSLATE_NOOP("Reason", "chaîne hors de sa table")},
    {Cause::ElfNamesOutside, "elf-names-outside", QT_TRANSLATE_NOOP("Reason", "références de noms hors de leur section")},
    {Cause::ElfTablesOverlap, "elf-tables-overlap",
     QT_TRANSLATE_NOOP("Reason", "tables de noms superposées, plus grandes que le fichier")},
};

const CodeText &entryFor(ReasonCode code)
{
    for (const CodeText &entry : codeTexts) {
        if (entry.code == code)
            return entry;
    }
    return codeTexts[0];
}

const CauseText &entryFor(Cause cause)
{
    for (const CauseText &entry : causeTexts) {
        if (entry.cause == cause)
            return entry;
    }
    return causeTexts[0];
}

QString causeText(const Reason &reason)
{
    const CauseText &entry = entryFor(reason.cause);
    const QString text = reason.cause == Cause::System ? reason.detail
                                                       : QCoreApplication::translate("Reason", entry.text);
    return text.contains(QLatin1String("%1")) ? text.arg(reason.detail) : text;
}

// A piece of a sentence with the arguments it names, %1 and %2.
QString filled(const QString &piece, const QStringList &args)
{
    if (args.size() >= 2 && piece.contains(QLatin1String("%2")))
        return piece.arg(args.at(0), args.at(1));
    if (!args.isEmpty() && piece.contains(QLatin1String("%1")))
        return piece.arg(args.at(0));
    return piece;
}
} // namespace

QString reasonText(const Reason &reason)
{
    const CodeText &entry = entryFor(reason.code);
    const QStringList args = entry.oneList ? QStringList{reason.args.join(QStringLiteral(", "))} : reason.args;
    // Pieces around the cause, each filled on its own: a path or an answer may itself hold "%1".
    QStringList pieces = QCoreApplication::translate("Reason", entry.text).split(QLatin1String("%C"));
    for (QString &piece : pieces)
        piece = filled(piece, args);
    QString text = pieces.join(causeText(reason));
    // What qmake said first when it exited with an error, after its exit code: the code alone tells little.
    if (reason.code == ReasonCode::QmakeQueryFailed && reason.args.size() >= 2)
        text += QCoreApplication::translate("Reason", " : %1").arg(reason.args.at(1));
    // Past the first write the file is neither old nor new: the user must hear that it needs a new run.
    if (reason.partlyWritten)
        text += QCoreApplication::translate("Reason", " ; fichier écrit en partie, relancer la commande le refait depuis sa sauvegarde");
    return text;
}

QString reasonCodeKey(ReasonCode code)
{
    return QLatin1String(entryFor(code).key);
}

QString causeKey(Cause cause)
{
    return QLatin1String(entryFor(cause).key);
}
