<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Cli</name>
    <message>
        <source>zel-qt-patcher-cli : %1
Essayez « zel-qt-patcher-cli --help ».
</source>
        <translation>zel-qt-patcher-cli: %1
Try &apos;zel-qt-patcher-cli --help&apos;.
</translation>
    </message>
    <message>
        <source>zel-qt-patcher-cli : le rapport n&apos;a pas pu être écrit en entier
</source>
        <translation>zel-qt-patcher-cli: the report could not be written in full
</translation>
    </message>
    <message>
        <source>usage : zel-qt-patcher-cli [--deep] [--dry-run] [--json] [--host-qt REPERTOIRE] patch REPERTOIRE, [--deep] [--dry-run] [--json] unpatch REPERTOIRE, ou [--json] inspect|verify REPERTOIRE</source>
        <translation>usage: zel-qt-patcher-cli [--deep] [--dry-run] [--json] [--host-qt DIRECTORY] patch DIRECTORY, [--deep] [--dry-run] [--json] unpatch DIRECTORY, or [--json] inspect|verify DIRECTORY</translation>
    </message>
    <message>
        <source>Usage : zel-qt-patcher-cli [options] patch|unpatch|inspect|verify REPERTOIRE

Relocalise une installation de Qt 4 copiée dans REPERTOIRE : réécrit le chemin
d&apos;origine inscrit dans qmake, les bibliothèques QtCore et les deux fichiers de
configuration de qmake, comme les commandes « patcher » et « unpatcher » de la fenêtre.
Une installation de Qt 5 ou de Qt 6 est relocalisée tout entière, comme avec --deep.

Commandes :
  patch REPERTOIRE     réécrit chaque fichier pour qu&apos;il nomme REPERTOIRE ; une sauvegarde
                       « .back » est faite à côté avant la première modification
  unpatch REPERTOIRE   remet chaque fichier dans l&apos;état de sa sauvegarde
  inspect REPERTOIRE   montre sans rien écrire les fichiers visités, leurs
                       chemins inscrits, leurs sauvegardes et l&apos;ancienne racine
  verify REPERTOIRE    vérifie sans rien écrire que l&apos;installation nomme REPERTOIRE
                       partout (réponses de bin/qmake -query, emplacements, fichiers) ;
                       lance le bin/qmake de l&apos;installation s&apos;il appartient à root ou à
                       l&apos;utilisateur et que personne d&apos;autre ne peut le modifier

Options :
  --deep          (patch) traite aussi mkspecs/qconfig.pri, lib/*.prl,
                  lib/*.la, lib/pkgconfig/*.pc, bin/qt.conf, les chemins que
                  qmake.conf et .qmake.cache nomment en dehors des quatre clés,
                  et le RUNPATH ou RPATH de chaque fichier ELF de REPERTOIRE ;
                  (unpatch) signale aussi ceux de ces fichiers patchés sans sauvegarde
  --dry-run       (patch, unpatch) indique ce qui changerait, sans rien écrire
                  ni faire de sauvegarde
  --json          écrit le rapport sous la forme d&apos;un seul document JSON
  --host-qt REP   (patch) où est maintenant le Qt hôte d&apos;un kit de compilation croisée
                  de Qt 6 : ses scripts qmake et qtpaths, target_qt.conf et ses
                  fichiers CMake le désignent là
  -h, --help      affiche cette aide
  -v, --version   affiche la version

Code de sortie : 0 si aucun fichier n&apos;a échoué (verify : si l&apos;installation est
relocalisée), 1 sinon ou si une autre commande s&apos;exécute sur l&apos;installation,
2 pour une erreur d&apos;utilisation ou un répertoire refusé.
</source>
        <translation>Usage: zel-qt-patcher-cli [options] patch|unpatch|inspect|verify DIRECTORY

Relocates a Qt 4 installation copied into DIRECTORY: rewrites the original path
written in qmake, in the QtCore libraries and in qmake&apos;s two configuration files,
as the window&apos;s &quot;patch&quot; and &quot;unpatch&quot; buttons do.
A Qt 5 or Qt 6 installation is relocated whole, as with --deep.

Commands:
  patch DIRECTORY     rewrites each file so that it names DIRECTORY; a &quot;.back&quot;
                      backup is made beside it before its first change
  unpatch DIRECTORY   puts each file back as its backup holds it
  inspect DIRECTORY   shows, writing nothing, the files visited, the paths
                      written in them, their backups and the old root
  verify DIRECTORY    checks, writing nothing, that the installation names
                      DIRECTORY everywhere (bin/qmake -query answers, slots, files);
                      runs the installation&apos;s bin/qmake if it belongs to root or
                      to the user and nobody else can change it

Options:
  --deep          (patch) also treats mkspecs/qconfig.pri, lib/*.prl,
                  lib/*.la, lib/pkgconfig/*.pc, bin/qt.conf, the paths that
                  qmake.conf and .qmake.cache name beyond the four keys,
                  and the RUNPATH or RPATH of every ELF file of DIRECTORY;
                  (unpatch) also reports those files patched without a backup
  --dry-run       (patch, unpatch) tells what would change, writing nothing
                  and making no backup
  --json          writes the report as a single JSON document
  --host-qt DIR   (patch) where a Qt 6 cross-compiling kit&apos;s host Qt now is: its qmake and
                  qtpaths scripts, target_qt.conf and its CMake files name it there
  -h, --help      shows this help
  -v, --version   shows the version

Exit status: 0 if no file failed (verify: if the installation is relocated),
1 otherwise or if another command is running on the installation,
2 for a usage error or a refused directory.
</translation>
    </message>
</context>
<context>
    <name>CommandReport</name>
    <message numerus="yes">
        <source>… et %n autre(s) fichier(s) en échec : voir les détails.</source>
        <translation>
            <numerusform>… and %n other file failed: see the details.</numerusform>
            <numerusform>… and %n other files failed: see the details.</numerusform>
        </translation>
    </message>
    <message>
        <source>Patche en cours...</source>
        <translation>Patching...</translation>
    </message>
    <message>
        <source>Suppression du patche en cours...</source>
        <translation>Removing the patch...</translation>
    </message>
    <message>
        <source>Application du patch termin?</source>
        <translation>Patch applied</translation>
    </message>
    <message>
        <source>Patch enlev?</source>
        <translation>Patch removed</translation>
    </message>
    <message>
        <source>Le patch n&apos;a pas pu être appliqué à certains fichiers :</source>
        <translation>The patch could not be applied to some files:</translation>
    </message>
    <message>
        <source>Certains fichiers n&apos;ont pas pu être restaurés :</source>
        <translation>Some files could not be restored:</translation>
    </message>
    <message>
        <source>%1 : %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Qt Path : </source>
        <translation>Qt path: </translation>
    </message>
    <message>
        <source>patcher</source>
        <translation>patch</translation>
    </message>
    <message>
        <source>unpatcher</source>
        <translation>unpatch</translation>
    </message>
    <message>
        <source>Qt path</source>
        <translation>Qt path</translation>
    </message>
</context>
<context>
    <name>QtPathCheck</name>
    <message>
        <source>le repertoire ne contient pas de version de Qt.</source>
        <translation>The directory holds no Qt installation.</translation>
    </message>
    <message>
        <source>le repertoire qt doit être exclusivement compos?de caractère ASCII et sans espace.</source>
        <translation>The Qt directory&apos;s path must be made of ASCII characters only, without spaces.</translation>
    </message>
    <message>
        <source>repertoire incorect</source>
        <translation>Incorrect directory</translation>
    </message>
    <message>
        <source>Le chemin du repertoire ne doit pas dépasser %1 caractères.</source>
        <translation>The directory path must not be longer than %1 characters.</translation>
    </message>
    <message>
        <source>le chemin du repertoire ne doit pas contenir « %1 », que qmake, make ou le shell liraient autrement.</source>
        <translation>The directory path must not hold &quot;%1&quot;, which qmake, make or the shell would read otherwise.</translation>
    </message>
    <message>
        <source>ce répertoire n&apos;existe pas.</source>
        <translation>The directory does not exist.</translation>
    </message>
    <message>
        <source>le nom du répertoire contient un octet que l&apos;encodage du système (la locale) ne sait pas écrire : le renommer en caractères qu&apos;elle sait écrire.</source>
        <translation>The directory&apos;s name holds a byte the system&apos;s encoding (the locale) cannot spell: rename it in characters it can spell.</translation>
    </message>
</context>
<context>
    <name>Reason</name>
    <message>
        <source>fichier absent</source>
        <translation>missing file</translation>
    </message>
    <message>
        <source>chemin contenant &quot;.back&quot;</source>
        <translation>path containing &quot;.back&quot;</translation>
    </message>
    <message>
        <source>aucune sauvegarde</source>
        <translation>no backup</translation>
    </message>
    <message>
        <source>déjà à jour</source>
        <translation>already up to date</translation>
    </message>
    <message>
        <source>lien menant hors de l&apos;installation</source>
        <translation>link leading out of the installation</translation>
    </message>
    <message>
        <source>fichier trop volumineux pour être chargé en mémoire</source>
        <translation>file too large to be loaded into memory</translation>
    </message>
    <message>
        <source>fichier trop volumineux : %1 octets, au plus %2 pour un fichier de ce genre</source>
        <translation>file too large: %1 bytes, at most %2 for a file of its kind</translation>
    </message>
    <message>
        <source>emplacement trop petit pour %1</source>
        <translation>slot too small for %1</translation>
    </message>
    <message>
        <source>erreur interne : %1</source>
        <translation>internal error: %1</translation>
    </message>
    <message>
        <source>ce n&apos;est pas un fichier ordinaire</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>lecture incomplète</source>
        <translation>incomplete read</translation>
    </message>
    <message>
        <source>même fichier que %1</source>
        <translation>same file as %1</translation>
    </message>
    <message>
        <source>répertoire contenant &quot;.back&quot; dans le chemin : rien n&apos;y est jamais modifié</source>
        <translation>a directory on the path contains &quot;.back&quot;: nothing there is ever changed</translation>
    </message>
    <message>
        <source>ne nomme pas l&apos;ancienne racine</source>
        <translation>does not name the old root</translation>
    </message>
    <message>
        <source>c&apos;est un répertoire</source>
        <translation>is a directory</translation>
    </message>
    <message>
        <source>chemin impossible à écrire dans l&apos;encodage local du système</source>
        <translation>path that cannot be written in the system&apos;s local encoding</translation>
    </message>
    <message>
        <source>lien sans cible</source>
        <translation>link without a target</translation>
    </message>
    <message>
        <source>accès refusé</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>système de fichiers en lecture seule</source>
        <translation>read-only file system</translation>
    </message>
    <message>
        <source>plus de place sur le disque</source>
        <translation>no space left on the disk</translation>
    </message>
    <message>
        <source>quota disque dépassé</source>
        <translation>disk quota exceeded</translation>
    </message>
    <message>
        <source>fichier en cours d&apos;utilisation</source>
        <translation>file in use</translation>
    </message>
    <message>
        <source>taille de fichier limite dépassée</source>
        <translation>file size limit exceeded</translation>
    </message>
    <message>
        <source>introuvable</source>
        <translation>not found</translation>
    </message>
    <message>
        <source>erreur d&apos;entrée-sortie</source>
        <translation>input/output error</translation>
    </message>
    <message>
        <source>chemin trop long</source>
        <translation>path too long</translation>
    </message>
    <message>
        <source>trop de fichiers ouverts</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <source>mémoire insuffisante</source>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source> ; fichier écrit en partie, relancer la commande le refait depuis sa sauvegarde</source>
        <translation>; file partly written, running the command again redoes it from its backup</translation>
    </message>
    <message>
        <source>signature absente</source>
        <translation>no signature</translation>
    </message>
    <message>
        <source>classe ou ordre des octets inconnu</source>
        <translation>unknown class or byte order</translation>
    </message>
    <message>
        <source>en-tête incomplet</source>
        <translation>incomplete header</translation>
    </message>
    <message>
        <source>table des sections hors du fichier</source>
        <translation>section table outside the file</translation>
    </message>
    <message>
        <source>table des segments hors du fichier</source>
        <translation>segment table outside the file</translation>
    </message>
    <message>
        <source>section et segment dynamiques en désaccord</source>
        <translation>dynamic section and segment disagree</translation>
    </message>
    <message>
        <source>section dynamique hors du fichier</source>
        <translation>dynamic section outside the file</translation>
    </message>
    <message>
        <source>section dynamique sans table des chaînes</source>
        <translation>dynamic section without a string table</translation>
    </message>
    <message>
        <source>table des chaînes et section des chaînes en désaccord</source>
        <translation>string table and string section disagree</translation>
    </message>
    <message>
        <source>table des chaînes hors du fichier</source>
        <translation>string table outside the file</translation>
    </message>
    <message>
        <source>table des chaînes superposée aux tables du fichier</source>
        <translation>string table overlapping the file&apos;s tables</translation>
    </message>
    <message>
        <source>chaîne hors de sa table</source>
        <translation>string outside its table</translation>
    </message>
    <message>
        <source>références de noms hors de leur section</source>
        <translation>name references outside their section</translation>
    </message>
    <message>
        <source>fichier à plusieurs noms (liens physiques) d&apos;un autre propriétaire ou groupe : le remplacer lui ferait changer de propriétaire, l&apos;écrire sur place changerait aussi ses autres noms</source>
        <translation>file with several names (hard links) of another owner or group: replacing it would change its owner, writing it in place would change its other names too</translation>
    </message>
    <message>
        <source>l&apos;écrire sur place retirerait son bit set-id ou ses capacités, que seul son propriétaire ou root peut remettre</source>
        <translation>writing it in place would clear its set-id bit or capabilities, which only its owner or root can set again</translation>
    </message>
    <message>
        <source>fichier écrit, mais le système lui a retiré son bit set-id ou ses capacités et ils n&apos;ont pas pu être remis</source>
        <translation>file written, but the system cleared its set-id bit or capabilities and they could not be set again</translation>
    </message>
    <message>
        <source>attribut étendu %1 impossible à recopier ; le fichier a d&apos;autres noms, qu&apos;une écriture sur place changerait aussi</source>
        <translation>extended attribute %1 cannot be copied; the file has other names, which writing it in place would change too</translation>
    </message>
    <message>
        <source>aucun bin/qmake</source>
        <translation>no bin/qmake</translation>
    </message>
    <message>
        <source>%1 n&apos;est pas lancé : il n&apos;appartient ni à root ni à l&apos;utilisateur qui vérifie</source>
        <translation>%1 is not run: it belongs neither to root nor to the verifying user</translation>
    </message>
    <message>
        <source>%1 n&apos;est pas lancé : d&apos;autres utilisateurs peuvent le modifier</source>
        <translation>%1 is not run: other users can change it</translation>
    </message>
    <message>
        <source>%1 ne donne aucun chemin d&apos;installation</source>
        <translation>%1 gives no install path</translation>
    </message>
    <message>
        <source>arrêté par un signal</source>
        <translation>stopped by a signal</translation>
    </message>
    <message>
        <source>code de sortie %1</source>
        <translation>exit status %1</translation>
    </message>
    <message>
        <source>réponse de plus de %1 Kio</source>
        <translation>answer longer than %1 KiB</translation>
    </message>
    <message>
        <source>pas de réponse en %1 s</source>
        <translation>no answer within %1 s</translation>
    </message>
    <message>
        <source>réponse qui n&apos;est pas un chemin : « %1 »</source>
        <translation>answer that is not a path: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>fichier ELF sans table des sections : les noms qui partagent le chemin de recherche des bibliothèques ne peuvent pas tous être trouvés</source>
        <translation>ELF file without a section table: the names that share the library search path cannot all be found</translation>
    </message>
    <message>
        <source>chemin de recherche des bibliothèques partagé avec un autre nom du fichier</source>
        <translation>library search path shared with another name of the file</translation>
    </message>
    <message>
        <source>aucun emplacement de chemin Qt</source>
        <translation>no Qt path slot</translation>
    </message>
    <message>
        <source>patché mais sans sauvegarde (ou ajouté depuis le patch) : recopier l&apos;original sous le nom du fichier suivi de .back</source>
        <translation>patched but without a backup (or added since the patch): copy the original to the name of the file followed by .back</translation>
    </message>
    <message>
        <source>autre système de fichiers monté ici : non parcouru</source>
        <translation>another file system is mounted here: not entered</translation>
    </message>
    <message>
        <source>nom que l&apos;encodage du système ne sait pas écrire : ni lu ni modifié</source>
        <translation>a name the system&apos;s encoding cannot spell: neither read nor changed</translation>
    </message>
    <message>
        <source>lecture du répertoire impossible : %C</source>
        <translation>cannot read the directory: %C</translation>
    </message>
    <message>
        <source>lecture impossible : %C</source>
        <translation>cannot read: %C</translation>
    </message>
    <message>
        <source>lecture de la sauvegarde impossible : %C</source>
        <translation>cannot read the backup: %C</translation>
    </message>
    <message>
        <source>sauvegarde impossible : %C</source>
        <translation>cannot make the backup: %C</translation>
    </message>
    <message>
        <source>écriture impossible : %C</source>
        <translation>cannot write: %C</translation>
    </message>
    <message>
        <source>lignes écrites depuis le dernier patch gardées</source>
        <translation>lines written since the last patch kept</translation>
    </message>
    <message>
        <source>modifié depuis le dernier patch : la restauration perdrait ces modifications ; pour les abandonner, recopier la sauvegarde sur le fichier</source>
        <translation>changed since the last patch: restoring would lose these changes; to drop them, copy the backup over the file</translation>
    </message>
    <message>
        <source>modifié par un autre programme pendant la commande : la relancer</source>
        <translation>changed by another program during the command: run it again</translation>
    </message>
    <message>
        <source>plus de %1 préfixes différents inscrits : pas une installation de Qt telle que construite</source>
        <translation>more than %1 different prefixes recorded: not a Qt installation as built</translation>
    </message>
    <message>
        <source>fichier ELF mal formé : %C</source>
        <translation>malformed ELF file: %C</translation>
    </message>
    <message>
        <source>erreur interne : exception inconnue</source>
        <translation>internal error: unknown exception</translation>
    </message>
    <message>
        <source>fichier de construction, que seul --deep réécrit</source>
        <translation>build file, which only --deep rewrites</translation>
    </message>
    <message>
        <source>%1 ne peut pas être lancé ici (%C)</source>
        <translation>%1 cannot be run here (%C)</translation>
    </message>
    <message>
        <source>%1 -query ne répond pas correctement : %C</source>
        <translation>%1 -query does not answer properly: %C</translation>
    </message>
    <message>
        <source>tables de noms superposées, plus grandes que le fichier</source>
        <translation>overlapping name tables, larger than the file</translation>
    </message>
    <message>
        <source>le fichier diffère de sa sauvegarde ailleurs que dans ses chemins (autre version ?) : pour garder ce fichier, le recopier sur sa sauvegarde ; pour revenir à l&apos;original, recopier la sauvegarde sur le fichier</source>
        <translation>the file differs from its backup outside its paths (another version?): to keep this file, copy it over its backup; to go back to the original, copy the backup over the file</translation>
    </message>
    <message>
        <source>contient des chemins de Qt mais n&apos;est pas de ceux que ce patch traite (aucun lien libQtCore.so n&apos;y mène ?) : laissé tel quel ; la ligne de commande le patche avec --deep</source>
        <translation>holds Qt&apos;s paths but is not one of the files this patch treats (no libQtCore.so link leads to it?): left as it is; the command line patches it with --deep</translation>
    </message>
    <message>
        <source>chemin de recherche des bibliothèques trop long pour son emplacement : %1 octets pour %2</source>
        <translation>library search path too long for its room: %1 bytes for %2</translation>
    </message>
    <message>
        <source>une autre commande est en cours sur cette installation : rien n&apos;a été fait ; relancer celle-ci une fois l&apos;autre finie</source>
        <translation>another command is running on this installation: nothing was done; run this one again once the other has finished</translation>
    </message>
    <message>
        <source>verrou de l&apos;installation impossible à poser, rien n&apos;a été fait : %C</source>
        <translation>the installation&apos;s lock could not be made, nothing was done: %C</translation>
    </message>
    <message>
        <source>nomme l&apos;ancienne racine dans des lignes que seul --deep réécrit</source>
        <translation>names the old root in lines only --deep rewrites</translation>
    </message>
    <message>
        <source>nomme encore l&apos;ancienne racine %1</source>
        <translation>still names the old root %1</translation>
    </message>
    <message>
        <source>RUNPATH ou RPATH nomme encore l&apos;ancienne racine %1</source>
        <translation>RUNPATH or RPATH still names the old root %1</translation>
    </message>
    <message>
        <source>emplacements de chemin Qt qui ne nomment pas le répertoire</source>
        <translation>Qt path slots that do not name the directory</translation>
    </message>
    <message>
        <source>un patch --deep le changerait encore : relancer patch --deep</source>
        <translation>a patch --deep would still change it: run patch --deep again</translation>
    </message>
    <message>
        <source> : %1</source>
        <translation> : %1</translation>
    </message>
    <message>
        <source>QtCore relocalisable : elle trouve sa place seule et ne lit jamais ses chemins, laissés tels quels</source>
        <translation>relocatable QtCore: it finds its own place and never reads its paths, left as they are</translation>
    </message>
    <message>
        <source>cette QtCore lit son préfixe sur exactement %2 octets et le nouveau chemin en demande %1 : rien n&apos;y est écrit ; patcher l&apos;installation sous un chemin d&apos;au plus %2 octets (un lien court vers elle suffit)</source>
        <translation>this QtCore reads its prefix as exactly %2 bytes and the new path needs %1: nothing is written to it; patch the installation under a path of at most %2 bytes (a short link to it will do)</translation>
    </message>
    <message>
        <source>%1 est le préfixe de l&apos;appareil cible, gardé tel quel</source>
        <translation>%1 is the target device&apos;s prefix, kept as it is</translation>
    </message>
    <message>
        <source>le Qt hôte de ce kit, %1, n&apos;est plus là : le désigner là où il est avec zel-qt-patcher-cli patch --host-qt REPERTOIRE</source>
        <translation>this kit&apos;s host Qt, %1, is no longer there: name where it is with zel-qt-patcher-cli patch --host-qt DIRECTORY</translation>
    </message>
</context>
<context>
    <name>Report</name>
    <message>
        <source>Installation : %1</source>
        <translation>Installation: %1</translation>
    </message>
    <message>
        <source>Ancienne racine : %1 (lue dans %2)</source>
        <translation>Old root: %1 (read in %2)</translation>
    </message>
    <message>
        <source>échouerait : %1</source>
        <translation>would fail: %1</translation>
    </message>
    <message>
        <source>échec : %1</source>
        <translation>failed: %1</translation>
    </message>
    <message>
        <source>laissé tel quel</source>
        <translation>left alone</translation>
    </message>
    <message>
        <source>serait modifié</source>
        <translation>would be changed</translation>
    </message>
    <message>
        <source>serait restauré</source>
        <translation>would be restored</translation>
    </message>
    <message>
        <source>modifié</source>
        <translation>changed</translation>
    </message>
    <message>
        <source>restauré</source>
        <translation>restored</translation>
    </message>
    <message>
        <source>%1 : %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Simulation du patch, rien n&apos;a été écrit : </source>
        <translation>Patch dry run, nothing was written: </translation>
    </message>
    <message>
        <source>Simulation de la restauration, rien n&apos;a été écrit : </source>
        <translation>Restore dry run, nothing was written: </translation>
    </message>
    <message>
        <source>Patch terminé avec des échecs : </source>
        <translation>Patch finished with failures: </translation>
    </message>
    <message>
        <source>Restauration terminée avec des échecs : </source>
        <translation>Restore finished with failures: </translation>
    </message>
    <message>
        <source>Patch terminé : </source>
        <translation>Patch finished: </translation>
    </message>
    <message>
        <source>Restauration terminée : </source>
        <translation>Restore finished: </translation>
    </message>
    <message numerus="yes">
        <source>%n fichier serait modifié</source>
        <translation>
            <numerusform>%n file would be changed</numerusform>
            <numerusform>%n files would be changed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichiers seraient modifiés</source>
        <translation>
            <numerusform>%n file would be changed</numerusform>
            <numerusform>%n files would be changed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichier modifié</source>
        <translation>
            <numerusform>%n file changed</numerusform>
            <numerusform>%n files changed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichiers modifiés</source>
        <translation>
            <numerusform>%n file changed</numerusform>
            <numerusform>%n files changed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichier serait restauré</source>
        <translation>
            <numerusform>%n file would be restored</numerusform>
            <numerusform>%n files would be restored</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichiers seraient restaurés</source>
        <translation>
            <numerusform>%n file would be restored</numerusform>
            <numerusform>%n files would be restored</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichier restauré</source>
        <translation>
            <numerusform>%n file restored</numerusform>
            <numerusform>%n files restored</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichiers restaurés</source>
        <translation>
            <numerusform>%n file restored</numerusform>
            <numerusform>%n files restored</numerusform>
        </translation>
    </message>
    <message>
        <source>aucun échec</source>
        <translation>no failure</translation>
    </message>
    <message numerus="yes">
        <source>%n échouerait</source>
        <translation>
            <numerusform>%n would fail</numerusform>
            <numerusform>%n would fail</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n échoueraient</source>
        <translation>
            <numerusform>%n would fail</numerusform>
            <numerusform>%n would fail</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n échec</source>
        <translation>
            <numerusform>%n failure</numerusform>
            <numerusform>%n failures</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n échecs</source>
        <translation>
            <numerusform>%n failure</numerusform>
            <numerusform>%n failures</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n laissé tel quel</source>
        <translation>
            <numerusform>%n left alone</numerusform>
            <numerusform>%n left alone</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n laissés tels quels</source>
        <translation>
            <numerusform>%n left alone</numerusform>
            <numerusform>%n left alone</numerusform>
        </translation>
    </message>
    <message>
        <source>ne nomme pas le répertoire</source>
        <translation>does not name the directory</translation>
    </message>
    <message>
        <source>aucun chemin reconnu</source>
        <translation>no path recognised</translation>
    </message>
    <message>
        <source>nomme déjà le répertoire</source>
        <translation>already names the directory</translation>
    </message>
    <message>
        <source>ne nomme le répertoire qu&apos;en partie</source>
        <translation>names the directory only in part</translation>
    </message>
    <message>
        <source>, sauvegarde présente</source>
        <translation>, backup present</translation>
    </message>
    <message>
        <source>, pas de sauvegarde</source>
        <translation>, no backup</translation>
    </message>
    <message>
        <source>Inspection : </source>
        <translation>Inspection: </translation>
    </message>
    <message numerus="yes">
        <source>%n fichier visité</source>
        <translation>
            <numerusform>%n file visited</numerusform>
            <numerusform>%n files visited</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichiers visités</source>
        <translation>
            <numerusform>%n file visited</numerusform>
            <numerusform>%n files visited</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n présent</source>
        <translation>
            <numerusform>%n present</numerusform>
            <numerusform>%n present</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n présents</source>
        <translation>
            <numerusform>%n present</numerusform>
            <numerusform>%n present</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n sauvegarde</source>
        <translation>
            <numerusform>%n backup</numerusform>
            <numerusform>%n backups</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n sauvegardes</source>
        <translation>
            <numerusform>%n backup</numerusform>
            <numerusform>%n backups</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 nommant déjà le répertoire</source>
        <translation>%1 already naming the directory</translation>
    </message>
    <message numerus="yes">
        <source>%n illisible</source>
        <translation>
            <numerusform>%n unreadable</numerusform>
            <numerusform>%n unreadable</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n illisibles</source>
        <translation>
            <numerusform>%n unreadable</numerusform>
            <numerusform>%n unreadable</numerusform>
        </translation>
    </message>
    <message>
        <source>Chemins d&apos;installation : réponses de %1</source>
        <translation>Install paths: answers of %1</translation>
    </message>
    <message>
        <source>Chemins d&apos;installation : lus dans les emplacements des binaires (%1)</source>
        <translation>Install paths: read in the binaries&apos; slots (%1)</translation>
    </message>
    <message>
        <source>%1 (%2) : %3 au lieu de %4</source>
        <translation>%1 (%2): %3 instead of %4</translation>
    </message>
    <message>
        <source>Vérification : l&apos;installation est relocalisée dans %1.</source>
        <translation>Verification: the installation is relocated to %1.</translation>
    </message>
    <message>
        <source>Vérification : l&apos;installation n&apos;est pas relocalisée dans %1 : </source>
        <translation>Verification: the installation is not relocated to %1: </translation>
    </message>
    <message numerus="yes">
        <source>%n fichier à mettre à jour</source>
        <translation>
            <numerusform>%n file to update</numerusform>
            <numerusform>%n files to update</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fichiers à mettre à jour</source>
        <translation>
            <numerusform>%n file to update</numerusform>
            <numerusform>%n files to update</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n chemin ne nomme pas le répertoire</source>
        <translation>
            <numerusform>%n path does not name the directory</numerusform>
            <numerusform>%n paths do not name the directory</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n chemins ne nomment pas le répertoire</source>
        <translation>
            <numerusform>%n path does not name the directory</numerusform>
            <numerusform>%n paths do not name the directory</numerusform>
        </translation>
    </message>
    <message>
        <source>Ancienne racine : aucune, chaque préfixe inscrit nomme déjà le répertoire</source>
        <translation>Old root: none, every recorded prefix already names the directory</translation>
    </message>
    <message>
        <source>Ancienne racine : introuvable (aucun qt_prfxpath= dans qmake ni QtCore, aucun prefix= ni QT_BUILD_TREE)</source>
        <translation>Old root: not found (no qt_prfxpath= in qmake or QtCore, no prefix= or QT_BUILD_TREE)</translation>
    </message>
    <message>
        <source>Fichiers de construction laissés tels quels : rien à réécrire.</source>
        <translation>Build files left as they are: nothing to rewrite.</translation>
    </message>
    <message>
        <source>qmake en échec, </source>
        <translation>qmake failing, </translation>
    </message>
    <message>
        <source>Emplacement précédent : %1 (lu dans %2)</source>
        <translation>Earlier place: %1 (read in %2)</translation>
    </message>
    <message>
        <source>… d&apos;autres chemins ne sont pas montrés (%1 au plus par fichier)</source>
        <translation>… other paths are not shown (%1 at most per file)</translation>
    </message>
    <message>
        <source>non dit</source>
        <translation>not said</translation>
    </message>
    <message>
        <source>oui, elle trouve sa place seule</source>
        <translation>yes, it finds its own place</translation>
    </message>
    <message>
        <source>non</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Qt %1</source>
        <translation>Qt %1</translation>
    </message>
    <message>
        <source>Qt %1 ; QtCore relocalisable : %2</source>
        <translation>Qt %1; relocatable QtCore: %2</translation>
    </message>
    <message>
        <source>Préfixe de QtCore lu sur exactement %1 octets : un nouveau chemin en compte au plus autant</source>
        <translation>QtCore reads its prefix as exactly %1 bytes: a new path may have at most as many</translation>
    </message>
    <message>
        <source>Préfixe de l&apos;appareil cible : %1 (gardé tel quel)</source>
        <translation>Target device prefix: %1 (kept as it is)</translation>
    </message>
    <message>
        <source>rien n&apos;y désigne une installation de Qt 4, 5 ou 6 : aucun fichier n&apos;y porte les emplacements de chemin (qt_prfxpath=) que qmake et QtCore portent, ni aucun des fichiers qui marquent Qt 6 (libQt6Core, lib/cmake/Qt6, bin/qmake6)</source>
        <translation>nothing there points to a Qt 4, 5 or 6 installation: no file holds the path slots (qt_prfxpath=) that qmake and QtCore hold, nor any of the files that mark Qt 6 (libQt6Core, lib/cmake/Qt6, bin/qmake6)</translation>
    </message>
    <message>
        <source>--host-qt : %1 n&apos;est pas un kit de compilation croisée (aucun bin/target_qt.conf) : il n&apos;a pas de Qt hôte</source>
        <translation>--host-qt: %1 is no cross-compiling kit (no bin/target_qt.conf): it has no host Qt</translation>
    </message>
    <message>
        <source>Qt hôte de ce kit : %1</source>
        <translation>Host Qt of this kit: %1</translation>
    </message>
    <message>
        <source>Qt hôte de ce kit : %1, qui n&apos;est plus là (--host-qt REPERTOIRE le désigne là où il est)</source>
        <translation>Host Qt of this kit: %1, which is no longer there (--host-qt DIRECTORY names where it is)</translation>
    </message>
    <message>
        <source>--host-qt : %1 n&apos;est pas un Qt hôte : il ne contient aucun de ses outils (bin/qmake, bin/qtpaths, libexec/moc), ou c&apos;est un kit (bin/target_qt.conf)</source>
        <translation>--host-qt: %1 is no host Qt: it holds none of its tools (bin/qmake, bin/qtpaths, libexec/moc), or it is a kit (bin/target_qt.conf)</translation>
    </message>
</context>
</TS>
