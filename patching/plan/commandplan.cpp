#include "patching/plan/commandplan.h"

#include "patching/store/backuprule.h"
#include "patching/formats/pathslots.h"
#include "patching/formats/rootrule.h"
#include "patching/formats/textrules.h"
#include "patching/store/treewalk.h"
#include "patching/formats/wholepathrule.h"
#include "patching/qt/generation.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <climits>

namespace {
// Where a file of the plan was found, which tells its treatment.
enum class Step { Window, Metadata, Walk };

// What starts a file that may hold Qt's path slots or library search paths: ELF, PE, an ar archive.
bool looksBinary(const QByteArray &head)
{
    return isElf(head) || head.startsWith("MZ") || head.startsWith("!<arch>\n");
}

Treatment treatmentFor(const QtGeneration &generation, const QString &path, Step step)
{
    const QString name = QFileInfo(path).fileName();
    if (isConfigName(generation, name) && step != Step::Walk)
        return Treatment::Config;
    if (step == Step::Metadata || (step == Step::Window && isMetadataName(generation, name)))
        return Treatment::Metadata;
    return Treatment::Binary;
}

PlannedFile refused(PlannedFile file, const FileOutcome &outcome)
{
    file.treatment = Treatment::Refused;
    file.refusal = outcome;
    file.original.release();
    file.current.release();
    return file;
}

// The bytes the plan keeps for a worker while the budget lasts, past which its worker, verify and
// inspect read them again: a tree of large libraries, or of many large text files, must not all sit
// in memory.
HeldBytes hold(const QByteArray &bytes, FileKind, qint64 *budget)
{
    if (bytes.size() > *budget)
        return HeldBytes();
    *budget -= bytes.size();
    return HeldBytes(bytes);
}

// Reads one file of the plan once, and what it says. `budget` is what the plan may still keep for the
// workers. A file of the walk that is not a binary, or holds neither path slots nor search paths, is
// no file of the plan: `wanted` is then false.
PlannedFile readRecord(const QtGeneration &generation, const QString &qtPath, const QString &path, Treatment treatment, Step step, PlanPurpose purpose,
                       qint64 *budget, bool *wanted = nullptr)
{
    PlannedFile file;
    file.path = path;
    file.relativePath = relativeToQtPath(qtPath, path);
    file.treatment = treatment;
    file.kind = file.treatment == Treatment::Binary ? FileKind::Binary : FileKind::Text;
    file.target = path;
    if (wanted)
        *wanted = true;
    const QFileInfo info(path);
    // A name the system's encoding could not give back comes out of a listing with a replacement character.
    if (path.contains(QChar::ReplacementCharacter) && !entryExists(path))
        return refused(file, FileOutcome::failed(Reason(ReasonCode::UnreadableName)));
    const FileOutcome guarded = backGuardRefusal(file.relativePath);
    if (!guarded.reason.isNone())
        return refused(file, guarded);
    // Missing, or a link leading nowhere: nothing to patch, and a restore must not write through the link.
    const bool missing = !info.exists();
    if (!missing && !resolveInsideRoot(path, qtPath, &file.target))
        return refused(file, FileOutcome::failed(Reason(ReasonCode::LinkOutsideInstallation)));
    // The file a link leads to passes the same guards: no command writes through a link into a backup.
    const QString canonicalRoot = QFileInfo(qtPath).canonicalFilePath();
    if (file.target != path && !canonicalRoot.isEmpty()) {
        const FileOutcome targetGuarded = backGuardRefusal(relativeToQtPath(canonicalRoot, file.target));
        if (!targetGuarded.reason.isNone())
            return refused(file, targetGuarded);
    }
    // A mount below DIR is another tree, which a write must not reach.
    const bool canonicalTarget = !canonicalRoot.isEmpty() && file.target.startsWith(canonicalRoot + QLatin1Char('/'));
    if (!missing && crossesMount(canonicalTarget ? canonicalRoot : qtPath, file.target))
        return refused(file, FileOutcome::failed(Reason(ReasonCode::OtherFileSystem)));
    const QFileInfo targetInfo(file.target);
    // A directory that happens to match a name pattern holds nothing to patch.
    if (targetInfo.isDir())
        return refused(file, FileOutcome::leftAlone(Reason(ReasonCode::IsDirectory)));
    file.exists = !missing;
    file.backupPath = missing ? backupNameOf(path) : backupPathFor(path, file.target);
    file.backupExists = entryExists(file.backupPath);
    // The tool makes every backup as a regular file: a link, even to a file, is not one of its own.
    if (file.backupExists && !isRegularFile(file.backupPath))
        return refused(file, FileOutcome::failed(Reason(ReasonCode::BackupNotRead, Cause::NotRegularFile)));
    if (!file.exists && !file.backupExists)
        return file;

    const qint64 limit = readLimit(file.kind);
    // Of the files the walk finds, only binaries are read whole.
    const LoadedFile original = loadWholeFile(file.readPath(), limit, step == Step::Walk ? looksBinary : nullptr);
    if (original.unwanted) {
        *wanted = false;
        return file;
    }
    if (!original.ok)
        return refused(file, FileOutcome::failed(original.failureAs(file.backupExists ? ReasonCode::BackupNotRead
                                                                                          : ReasonCode::FileNotRead)));
    file.originalStamp = original.stamp;
    const bool binary = file.kind == FileKind::Binary;
    file.holdsSlots = binary && holdsPathSlot(original.data, generation.slotKeys);
    if (binary && isElf(original.data))
        file.originalSearchPaths = readSearchPaths(original.data);
    if (step == Step::Walk && !file.holdsSlots && file.originalSearchPaths.strings.isEmpty()
        && file.originalSearchPaths.error.isNone()) {
        *wanted = false;
        return file;
    }
    const Recorder recorder = recorderFor(QFileInfo(path).fileName(), file.holdsSlots);
    file.prefixes = recordedPrefixes(generation, recorder, original.data, Limits::maxOldRoots);
    if (file.backupExists && file.exists && (file.kind == FileKind::Text || purpose == PlanPurpose::Look)) {
        const LoadedFile current = loadWholeFile(file.target, limit);
        if (!current.ok)
            return refused(file, FileOutcome::failed(current.failureAs(ReasonCode::FileNotRead)));
        file.currentStamp = current.stamp;
        if (file.kind == FileKind::Text)
            file.currentPrefixes = recordedPrefixes(generation, recorder, current.data, Limits::maxOldRoots);
        file.current = hold(current.data, file.kind, budget);
    }
    if (file.prefixes.size() > Limits::maxOldRoots || file.currentPrefixes.size() > Limits::maxOldRoots)
        return refused(file, FileOutcome::failed(Reason(ReasonCode::TooManyPrefixes, {QString::number(Limits::maxOldRoots)})));
    file.original = hold(original.data, file.kind, budget);
    return file;
}

// The paths a window file names that the build left in it: the prefixes of a binary, the
// assignments of a configuration file.
QVector<QByteArray> pathsNamedIn(const PlannedFile &file)
{
    if (file.kind == FileKind::Binary)
        return file.prefixes;
    QVector<QByteArray> paths;
    for (const ConfigAssignment &assignment : findConfigAssignments(file.original.bytes()))
        paths.append(unquotedPath(assignment.value));
    return paths;
}

// Whether `path` names one of `places` as a whole path whose rest exists below DIR (`own`): only such
// a path is the installation's own, written for that place; any other absolute path (a system
// directory, a build directory the tree does not hold) says nothing about where the tool wrote.
bool namesPlaceBelow(const QByteArray &path, const QVector<QByteArray> &places, const QByteArray &own)
{
    return longestOldRoot(path, places, QByteArray(), [&own](const QByteArray &place) { return existsBelow(own, place); }).index >= 0;
}

// Whether a window file without a backup, while the tool patched here, holds a path the build did not
// leave: it was patched and has lost its backup, or was added since. A backup made from it now could
// hold patched bytes, which unpatch would then put back for good. The paths judged are the
// installation's own records of its prefix (the slots, the line rule's assignments): one that names
// no root the build left, or names DIR below such a root (a root below the original prefix is not
// that prefix), was written for another place. Paths that are not absolute tell nothing.
bool windowFileLostBackup(const PlannedFile &file, const QByteArray &own, const QVector<QByteArray> &original)
{
    const QVector<QByteArray> paths = pathsNamedIn(file);
    return std::any_of(paths.cbegin(), paths.cend(), [&](const QByteArray &path) {
        if (!isAbsolutePath(path))
            return false;
        const RootMatch built = longestOldRoot(path, original, QByteArray());
        if (built.index < 0)
            return true;
        return namesPlaceBelow(path, {own}, own) && rootSpelling(own).size() > rootSpelling(original.at(built.index)).size();
    });
}

// Whether another file without a backup names one of `places` (places the installation records that
// the build did not leave) as a whole path whose rest exists below DIR.
bool namesAnyOf(const PlannedFile &file, const QVector<QByteArray> &places, const QByteArray &own)
{
    if (places.isEmpty())
        return false;
    const PlaceExists existsBelowOwn = [&own](const QByteArray &place) { return existsBelow(own, place); };
    if (file.kind == FileKind::Text)
        return !oldRootNamed(file.original.bytes(), Relocation{places, QByteArray(), existsBelowOwn}).isEmpty();
    const QVector<QByteArray> named = file.prefixes + file.originalSearchPaths.entries();
    return std::any_of(named.cbegin(), named.cend(), [&](const QByteArray &path) { return namesPlaceBelow(path, places, own); });
}

void addRoots(OldRoots *old, QSet<QByteArray> *seen, const QByteArray &own, const QVector<QByteArray> &prefixes,
              const QString &relativePath, bool earlier)
{
    for (const QByteArray &prefix : prefixes) {
        if (rootKey(prefix) == rootKey(own)) {
            old->recordsOwnRoot = true;
            continue;
        }
        if (seen->contains(rootKey(prefix)) || old->roots.size() >= Limits::maxOldRoots)
            continue;
        seen->insert(rootKey(prefix));
        old->roots.append({QString::fromLocal8Bit(prefix), relativePath, earlier});
    }
}

// The old roots, and the files the tool patched that have lost their backup. The build's roots are
// read from the backups (never rewritten, so the same from one run to the next), then from the files
// that never needed one; the earlier places the tool patched for, from what the files record now.
// `listed` is how many of the plan's files come first from the listings: the walk's files follow.
void findOldRoots(CommandPlan *plan, int listed)
{
    const QByteArray own = plan->context.qtPath.toLocal8Bit();
    const auto readPath = [&](const PlannedFile &file) {
        return relativeToQtPath(plan->context.qtPath, file.readPath());
    };
    bool patchedHere = false;
    QVector<QByteArray> built;
    for (int i = 0; i < plan->files.size(); ++i) {
        const PlannedFile &file = plan->files.at(i);
        if (file.treatment == Treatment::Refused || !file.backupExists)
            continue;
        // Only Qt's own listed binaries tell that the tool patched here: a walked file's backup may be
        // a user's own copy.
        patchedHere = patchedHere || (file.kind == FileKind::Binary && i < listed);
        built += file.prefixes;
    }
    // The places the tool patched for before: what the files it wrote record now, neither DIR nor a root
    // the build left. A file without a backup is no evidence of its own: its record is the build's, or a
    // package's of its own.
    QVector<QByteArray> earlier;
    QSet<QByteArray> recalled;
    const auto recallEarlier = [&](const QVector<QByteArray> &prefixes) {
        for (const QByteArray &prefix : prefixes) {
            if (rootKey(prefix) != rootKey(own) && longestOldRoot(prefix, built, QByteArray()).index < 0
                && !recalled.contains(prefix)) {
                recalled.insert(prefix);
                earlier.append(prefix);
            }
        }
    };
    for (const PlannedFile &file : qAsConst(plan->files)) {
        if (file.treatment != Treatment::Refused && file.backupExists)
            recallEarlier(file.currentPrefixes);
    }
    // An unpatch cannot put back a file written for DIR itself, unless the build left it there.
    const bool ownIsBuilt = std::any_of(built.cbegin(), built.cend(), [&](const QByteArray &root) { return rootKey(root) == rootKey(own); });
    const bool ownCounts = plan->context.command == Command::Unpatch && !ownIsBuilt;
    // Patch, unpatch, verify and the window judge a file by this one rule, so that they agree.
    for (PlannedFile &file : plan->files) {
        if (!patchedHere || file.treatment == Treatment::Refused || file.backupExists || !file.exists)
            continue;
        const bool lost = file.treatment == Treatment::Config || (file.treatment == Treatment::Binary && file.holdsSlots)
            ? windowFileLostBackup(file, own, built)
            : namesAnyOf(file, ownCounts ? earlier + QVector<QByteArray>{own} : earlier, own);
        if (lost) {
            // What a lost file records is a place the tool patched for too (qmake's slot, say).
            recallEarlier(file.prefixes);
            file = refused(file, FileOutcome::failed(Reason(ReasonCode::PatchedWithoutBackup)));
        }
    }
    // The slots first, where Qt keeps its prefix, each kind in the plan's order.
    QSet<QByteArray> seen;
    for (const FileKind kind : {FileKind::Binary, FileKind::Text}) {
        for (const PlannedFile &file : qAsConst(plan->files)) {
            if (file.treatment != Treatment::Refused && file.kind == kind)
                addRoots(&plan->oldRoots, &seen, own, file.prefixes, readPath(file), false);
        }
    }
    for (const PlannedFile &file : qAsConst(plan->files)) {
        QVector<QByteArray> places;
        for (const QByteArray &prefix : file.currentPrefixes + (file.treatment == Treatment::Refused ? file.prefixes : QVector<QByteArray>())) {
            if (recalled.contains(prefix))
                places.append(prefix);
        }
        addRoots(&plan->oldRoots, &seen, own, places, file.relativePath, true);
    }
    plan->context.oldRoots = plan->oldRoots.values();
    plan->context.earlierPlaces = plan->oldRoots.earlierValues();
}

// Two listed names can lead to one file (a link beside its target, two links to one library).
// Treating it under both would give the second name a backup of bytes the first had just patched,
// which its restore would later put back over the original. One name speaks for each file: the first
// that has a backup, else the file's own name (a library in lib rather than a link to it in bin,
// which may be deleted some day, taking the way to the backup with it), else the first listed.
void markOtherNames(QVector<PlannedFile> *files)
{
    QHash<QString, int> speaker; // canonical target -> the file that treats it
    const auto rank = [](const PlannedFile &file) {
        return (file.backupExists ? 2 : 0) + (QFileInfo(file.path).isSymLink() ? 0 : 1);
    };
    for (int i = 0; i < files->size(); ++i) {
        const PlannedFile &file = files->at(i);
        const QString canonical = QFileInfo(file.target).canonicalFilePath();
        if (file.treatment == Treatment::Refused || canonical.isEmpty())
            continue;
        const auto known = speaker.constFind(canonical);
        if (known == speaker.constEnd() || rank(file) > rank(files->at(*known)))
            speaker.insert(canonical, i);
    }
    for (int i = 0; i < files->size(); ++i) {
        PlannedFile &file = (*files)[i];
        const int treating = speaker.value(QFileInfo(file.target).canonicalFilePath(), i);
        if (file.treatment != Treatment::Refused && treating != i) {
            file.treatedAs = files->at(treating).path;
            file.refusal = FileOutcome::leftAlone(Reason(ReasonCode::SameFileAs, {files->at(treating).relativePath}));
            file.treatment = Treatment::OtherName;
            file.original.release();
            file.current.release();
        }
    }
}

// Whether anything identifies a Qt 4 installation: a file holding Qt's path slots among the files
// planned (qmake and QtCore hold them), or, when there is none, among bin/*QtCore* and lib/*QtCore*.
// A qmake alone does not: a system's qmake of another Qt, or a chooser, is not one.
bool identifiesQt(const QtGeneration &generation, const QString &qtPath, const QVector<PlannedFile> &files)
{
    if (std::any_of(files.cbegin(), files.cend(), [](const PlannedFile &file) { return file.holdsSlots; }))
        return true;
    for (const char *directory : {"/bin", "/lib"}) {
        for (const QFileInfo &entry : QDir(qtPath + QLatin1String(directory)).entryInfoList({generation.qtCoreNamePattern}, QDir::Files)) {
            const LoadedFile loaded = loadWholeFile(entry.absoluteFilePath());
            if (loaded.ok && holdsPathSlot(loaded.data, generation.slotKeys))
                return true;
        }
    }
    return false;
}

// The files that `files` lead to, by their canonical paths. A file missing or a link leading nowhere
// reaches none: its empty path must not match another such name.
QSet<QString> filesReached(const QVector<PlannedFile> &files)
{
    QSet<QString> reached;
    for (const PlannedFile &file : files) {
        const QString canonical = QFileInfo(file.target).canonicalFilePath();
        if (!canonical.isEmpty())
            reached.insert(canonical);
    }
    return reached;
}

// The files of bin and lib named like QtCore that the window's listing does not reach, as
// libQtCore.so.4.8.7 when no libQtCore.so leads to it: a patch without --deep leaves them, and one
// that holds path slots is named, for the installation would not be relocated.
// Each is dropped once judged, so the plan's budget left after the window's files bounds each alone.
QVector<PlannedFile> unlistedQtCores(const QtGeneration &generation, const QString &qtPath, const QVector<PlannedFile> &window, PlanPurpose purpose,
                                     qint64 budget)
{
    QSet<QString> reached = filesReached(window);
    QVector<PlannedFile> unlisted;
    for (const char *folder : {"bin", "lib"}) {
        const QDir dir(qtPath + QLatin1Char('/') + QLatin1String(folder));
        QFileInfoList entries = dir.entryInfoList({generation.qtCoreNamePattern}, QDir::Files, QDir::Name);
        // A file is named by its own name rather than by a link to it.
        std::stable_partition(entries.begin(), entries.end(), [](const QFileInfo &entry) { return !entry.isSymLink(); });
        for (const QFileInfo &entry : qAsConst(entries)) {
            const QString canonical = entry.canonicalFilePath();
            if (reached.contains(canonical) || isToolsOwnName(entry.fileName()))
                continue;
            reached.insert(canonical);
            qint64 left = budget;
            bool wanted = true;
            PlannedFile file = readRecord(generation, qtPath, entry.absoluteFilePath(), Treatment::Binary, Step::Walk, purpose, &left, &wanted);
            // One that cannot be read may hold slots; one refused for its place is not this patch's.
            const ReasonCode refusal = file.refusal.reason.code;
            if (refusal == ReasonCode::FileNotRead || refusal == ReasonCode::BackupNotRead || refusal == ReasonCode::UnreadableName) {
                unlisted.append(file);
                continue;
            }
            if (!wanted || !file.holdsSlots)
                continue;
            // Left stale only when its slots, as it holds them now, would change.
            LoadedFile current = currentBytes(file);
            file.original.release();
            if (!current.ok) {
                unlisted.append(refused(file, FileOutcome::failed(current.failureAs(ReasonCode::FileNotRead))));
                continue;
            }
            if (!rewriteSlots(current.data, qtPath.toLocal8Bit(), generation.slotKeys).changes.isEmpty())
                unlisted.append(refused(file, FileOutcome::failed(Reason(ReasonCode::UnlistedSlots))));
        }
    }
    return unlisted;
}
} // namespace

CommandPlan planCommand(Command command, const QString &qtPath, bool deep, PlanPurpose purpose, qint64 budget)
{
    const QtGeneration &generation = generationOf(qtPath);
    CommandPlan plan;
    plan.context.generation = &generation;
    plan.context.command = command;
    plan.context.qtPath = qtPath;
    plan.context.deep = deep;
    plan.rootEncodable = command == Command::Unpatch || rootEncodable(qtPath);

    // Listing: the window's files, then the build metadata, which every plan reads for the roots it
    // records and only --deep treats.
    QSet<QString> listed;
    QVector<PlannedFile> window, metadata, walked;
    for (const QString &path : commandFiles(generation, qtPath, command)) {
        if (!listed.contains(path)) {
            listed.insert(path);
            window.append(readRecord(generation, qtPath, path, treatmentFor(generation, path, Step::Window), Step::Window, purpose, &budget));
        }
    }
    const QStringList metadataPaths = metadataFiles(generation, qtPath);
    for (const QString &path : metadataPaths) {
        if (!listed.contains(path)) {
            listed.insert(path);
            metadata.append(readRecord(generation, qtPath, path, treatmentFor(generation, path, Step::Metadata), Step::Metadata, purpose, &budget));
        }
    }
    plan.identifiesQt = identifiesQt(generation, qtPath, window + metadata);
    // With --deep, every other file below DIR that may hold slots or search paths, found by content. An
    // unpatch without it restores every file that has a backup, however it was patched: the walk then
    // reads only those.
    const bool restoresAll = command == Command::Unpatch && !deep;
    if ((deep || restoresAll) && plan.identifiesQt) {
        const QSet<QString> windowTargets = filesReached(window);
        for (const WalkEntry &entry : walkInstallation(qtPath)) {
            if (listed.contains(entry.path) || windowTargets.contains(QFileInfo(entry.path).canonicalFilePath()))
                continue;
            // A patch never wrote behind what the walk refuses, but for a directory it could not read then
            // either and another user may have: an unpatch that restores every backup names only that.
            if (restoresAll && !entry.refusal.reason.isNone() && entry.refusal.reason.code != ReasonCode::DirectoryNotRead)
                continue;
            if (!entry.refusal.reason.isNone()) {
                PlannedFile file;
                file.path = entry.path;
                file.relativePath = relativeToQtPath(qtPath, entry.path);
                walked.append(refused(file, entry.refusal));
                continue;
            }
            // A link is walked only for a backup beside its name, which an unpatch must not pass over.
            if ((restoresAll || entry.link) && !entryExists(backupNameOf(entry.path)))
                continue;
            // Build metadata wherever it lies (a plugin's .prl) is metadata, after the listed files.
            if (isMetadataName(generation, QFileInfo(entry.path).fileName())) {
                // Its prefix is not the installation's: a .pc of another package below DIR must not make
                // its /usr/local an old root. It is rewritten for the roots the installation records.
                PlannedFile file = readRecord(generation, qtPath, entry.path, Treatment::Metadata, Step::Metadata, purpose, &budget);
                file.prefixes.clear();
                file.currentPrefixes.clear();
                metadata.append(file);
                continue;
            }
            bool wanted = true;
            PlannedFile file = readRecord(generation, qtPath, entry.path, Treatment::Binary, Step::Walk, purpose, &budget, &wanted);
            if (wanted)
                walked.append(file);
        }
    }

    plan.files = window + metadata + walked;
    markOtherNames(&plan.files);
    findOldRoots(&plan, int(window.size() + metadata.size()));
    const QVector<PlannedFile> all = plan.files;
    // Without --deep the metadata was only read, for the roots it records. A patch without any old root
    // would rewrite nothing, and recomputing a file from its backup with nothing replaced could undo an
    // earlier patch: the build metadata and Qt's other files stay out then too.
    plan.files = all.mid(0, window.size());
    if (restoresAll) {
        for (const PlannedFile &file : all.mid(window.size(), metadata.size()))
            if (file.backupExists)
                plan.files.append(file);
        plan.files += walked;
    } else if (command == Command::Patch && !deep && plan.identifiesQt) {
        plan.files += unlistedQtCores(generation, qtPath, window, purpose, budget);
    } else if (deep && !(command == Command::Patch && plan.oldRoots.roots.isEmpty())) {
        // The window's files that are build metadata too (libQtCore.la, the two configuration files)
        // come with the metadata, in its order, so that each is rewritten and reported once, in that step.
        QHash<QString, int> metadataOrder;
        for (const QString &path : metadataPaths)
            metadataOrder.insert(path, metadataOrder.size());
        QVector<PlannedFile> text;
        for (int i = plan.files.size() - 1; i >= 0; --i) {
            if (plan.files.at(i).kind == FileKind::Text)
                text.prepend(plan.files.takeAt(i));
        }
        text += all.mid(window.size(), metadata.size());
        std::stable_sort(text.begin(), text.end(), [&](const PlannedFile &a, const PlannedFile &b) {
            return metadataOrder.value(a.path, INT_MAX) < metadataOrder.value(b.path, INT_MAX);
        });
        plan.files += text + all.mid(window.size() + metadata.size());
        for (PlannedFile &file : plan.files)
            file.searchPaths = file.treatment == Treatment::Binary
                && (!file.originalSearchPaths.strings.isEmpty() || !file.originalSearchPaths.error.isNone());
    }
    return plan;
}

Treatment treatmentByName(const QtGeneration &generation, const QString &path)
{
    return treatmentFor(generation, path, Step::Window);
}

PlannedFile planOneFile(const QString &qtPath, const QString &path, Treatment treatment, PlanPurpose purpose)
{
    qint64 budget = Limits::heldBytesBudget;
    const QtGeneration &generation = generationOf(qtPath);
    return readRecord(generation, qtPath, path, treatment, Step::Window, purpose, &budget);
}

namespace {
LoadedFile heldOrRead(const HeldBytes &held, const QString &path, FileKind kind)
{
    if (!held.held())
        return loadWholeFile(path, readLimit(kind));
    LoadedFile loaded;
    loaded.ok = true;
    loaded.data = held.bytes();
    return loaded;
}
} // namespace

qint64 readLimit(FileKind kind)
{
    return kind == FileKind::Text ? Limits::maxTextFileSize : Limits::maxLoadableFileSize;
}

LoadedFile originalBytes(const PlannedFile &file)
{
    return heldOrRead(file.original, file.readPath(), file.kind);
}

LoadedFile currentBytes(const PlannedFile &file)
{
    return file.backupExists ? heldOrRead(file.current, file.target, file.kind) : originalBytes(file);
}

bool rootEncodable(const QString &qtPath)
{
    return QString::fromLocal8Bit(qtPath.toLocal8Bit()) == qtPath;
}
