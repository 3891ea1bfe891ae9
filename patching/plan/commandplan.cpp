#include "patching/plan/commandplan.h"

#include "patching/plan/hostplan.h"
#include "patching/plan/lostbackups.h"
#include "patching/plan/planrecord.h"
#include "patching/formats/pathslots.h"
#include "patching/store/backuprule.h"
#include "patching/store/treewalk.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <climits>

namespace {
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
        if (file.treatment == Treatment::Refused || file.canonicalTarget.isEmpty())
            continue;
        const auto known = speaker.constFind(file.canonicalTarget);
        if (known == speaker.constEnd() || rank(file) > rank(files->at(*known)))
            speaker.insert(file.canonicalTarget, i);
    }
    for (int i = 0; i < files->size(); ++i) {
        PlannedFile &file = (*files)[i];
        const int treating = speaker.value(file.canonicalTarget, i);
        if (file.treatment != Treatment::Refused && treating != i) {
            file.treatedAs = files->at(treating).path;
            file.refusal = FileOutcome::leftAlone(Reason(ReasonCode::SameFileAs, {files->at(treating).relativePath}));
            file.treatment = Treatment::OtherName;
            file.original.release();
            file.current.release();
        }
    }
}

// Whether anything identifies a Qt installation: a file holding Qt's path slots among the files
// planned (qmake and QtCore hold them), or, when there is none, among bin/*QtCore* and lib/*QtCore*
// and the QtCore libraries that mark the generation (a distribution's lib/<multiarch>).
// A qmake alone does not: a system's qmake of another Qt, or a chooser, is not one.
bool identifiesQt(const QtGeneration &generation, const QString &qtPath, const QVector<PlannedFile> &files)
{
    if (std::any_of(files.cbegin(), files.cend(), [](const PlannedFile &file) { return file.holdsSlots; }))
        return true;
    QStringList candidates = markedFiles(qtPath, generation.markers, Limits::maxMarkedFiles);
    if (generation.markersIdentify && !candidates.isEmpty())
        return true;
    for (const char *directory : {"/bin", "/lib"}) {
        for (const QFileInfo &entry : QDir(qtPath + QLatin1String(directory)).entryInfoList({generation.qtCoreNamePattern}, QDir::Files))
            candidates.append(entry.absoluteFilePath());
    }
    candidates.removeDuplicates();
    return std::any_of(candidates.cbegin(), candidates.cend(), [&](const QString &path) {
        const LoadedFile loaded = loadWholeFile(path);
        return loaded.ok && holdsPathSlot(loaded.data, generation.slotKeys);
    });
}

// The files that `files` lead to, by their canonical paths. A file missing or a link leading nowhere
// reaches none: its empty path must not match another such name.
QSet<QString> filesReached(const QVector<PlannedFile> &files)
{
    QSet<QString> reached;
    for (const PlannedFile &file : files) {
        if (!file.canonicalTarget.isEmpty())
            reached.insert(file.canonicalTarget);
    }
    return reached;
}

// The files of bin and lib named like QtCore that the window's listing does not reach, as
// libQtCore.so.4.8.7 when no libQtCore.so leads to it: a patch without --deep leaves them, and one
// that holds path slots is named, for the installation would not be relocated.
// Each is dropped once judged, so the plan's budget left after the window's files bounds each alone.
QVector<PlannedFile> unlistedQtCores(const PlanContext &context, const QVector<PlannedFile> &window, PlanPurpose purpose,
                                     PlanReading *reading)
{
    const QtGeneration &generation = *context.generation;
    const QString &qtPath = context.qtPath;
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
            const qint64 saved = reading->budget;
            bool wanted = true;
            // Read whatever its first bytes: its name, not its head, makes it QtCore.
            PlannedFile file = readRecord(context, entry.absoluteFilePath(), Treatment::Binary, PlanStep::Window, purpose, reading, &wanted);
            reading->budget = saved;
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
                unlisted.append(refusedFile(file, FileOutcome::failed(current.failureAs(ReasonCode::FileNotRead))));
                continue;
            }
            if (!rewriteSlots(current.data, context.rootBytes, slotRule(context)).changes.isEmpty())
                unlisted.append(refusedFile(file, FileOutcome::failed(Reason(ReasonCode::UnlistedSlots))));
        }
    }
    return unlisted;
}

// The files a plan finds, step by step, before their order is settled.
struct FoundFiles {
    QVector<PlannedFile> window, metadata, walked;
    QStringList metadataPaths; // the build metadata the generation lists, in its order
    QSet<QString> listed;
};

// Listing: the window's files, then the build metadata, which every plan reads for the roots it
// records and only --deep treats.
void listFiles(FoundFiles *found, const PlanContext &context, PlanPurpose purpose, PlanReading *reading)
{
    const QtGeneration &generation = *context.generation;
    for (const QString &path : commandFiles(generation, context.qtPath, context.command)) {
        if (!found->listed.contains(path)) {
            found->listed.insert(path);
            found->window.append(readRecord(context, path, treatmentFor(generation, path, PlanStep::Window), PlanStep::Window, purpose, reading));
        }
    }
    found->metadataPaths = metadataFiles(generation, context.qtPath);
    for (const QString &path : qAsConst(found->metadataPaths)) {
        if (!found->listed.contains(path)) {
            found->listed.insert(path);
            found->metadata.append(readRecord(context, path, treatmentFor(generation, path, PlanStep::Metadata), PlanStep::Metadata, purpose, reading));
        }
    }
}

// Whether a plan walks the tree: with --deep, for every other file below DIR that may hold slots or
// search paths, found by content; an unpatch without it restores every file that has a backup, however
// it was patched, and the walk then reads only those.
bool restoresAll(const PlanContext &context)
{
    return context.command == Command::Unpatch && !context.deep;
}

// A file of the walk, read as what it is: build metadata wherever it lies (a plugin's .prl) is
// metadata, after the listed files; any other file is wanted for its slots or search paths.
void addWalked(FoundFiles *found, const PlanContext &context, const WalkEntry &entry, ReadableFile *opened, PlanPurpose purpose,
               PlanReading *reading)
{
    const QString &path = entry.path;
    // A link's own place is not its target's: the plan locates it as a listed name.
    std::optional<WalkedFile> walked;
    if (!entry.link && !context.canonicalRoot.isEmpty())
        walked = WalkedFile{entry.backupBeside, entry.head, entry.size, opened};
    const WalkedFile *known = walked ? &*walked : nullptr;
    if (isMetadataName(*context.generation, QFileInfo(path).fileName())) {
        // Its prefix is not the installation's: a .pc of another package below DIR must not make
        // its /usr/local an old root. It is rewritten for the roots the installation records. What it
        // records now and its backup does not is a place the tool patched it for (a distribution's
        // lib/<multiarch>/pkgconfig); a user's own copy beside it records none.
        PlannedFile file = readRecord(context, path, Treatment::Metadata, PlanStep::Metadata, purpose, reading, nullptr, known);
        const QVector<QByteArray> original = file.prefixes;
        file.currentPrefixes.erase(std::remove_if(file.currentPrefixes.begin(), file.currentPrefixes.end(),
                                                  [&original](const QByteArray &prefix) { return original.contains(prefix); }),
                                   file.currentPrefixes.end());
        file.prefixes.clear();
        found->metadata.append(file);
        return;
    }
    bool wanted = true;
    PlannedFile file = readRecord(context, path, Treatment::Binary, PlanStep::Walk, purpose, reading, &wanted, known);
    if (wanted)
        found->walked.append(file);
}

// The walk: the files below DIR that no listing gave.
void walkFiles(FoundFiles *found, const PlanContext &context, PlanPurpose purpose, PlanReading *reading)
{
    const bool all = restoresAll(context);
    const QSet<QString> windowTargets = filesReached(found->window);
    // Most files of a tree are headers and pages: each is looked at once, as the walk finds it, and one
    // whose first bytes show it holds neither slots nor search paths is passed over there, unless a
    // backup lies beside it or its name makes it build metadata.
    WalkLook look;
    look.backedUpOnly = all;
    if (!all) {
        look.wanted = startsLikeBinary;
        look.keptByName = [&context](const QString &name) { return isMetadataName(*context.generation, name); };
    }
    const int metadataListed = int(found->metadata.size());
    const auto take = [&](const WalkEntry &entry, ReadableFile *opened) {
        // A link is walked only for a backup beside its name, which an unpatch must not pass over.
        if ((all || entry.link) && entry.refusal.reason.isNone() && !entry.backupBeside)
            return;
        // The walk never goes through a link: below the canonical root, a file's own name is its canonical one.
        const QString canonical = entry.link || context.canonicalRoot.isEmpty()
            ? QFileInfo(entry.path).canonicalFilePath()
            : context.canonicalRoot + QLatin1Char('/') + relativeToQtPath(context.qtPath, entry.path);
        if (found->listed.contains(entry.path) || windowTargets.contains(canonical))
            return;
        // A patch never wrote behind what the walk refuses, but for a directory it could not read then
        // either and another user may have: an unpatch that restores every backup names only that.
        if (all && !entry.refusal.reason.isNone() && entry.refusal.reason.code != ReasonCode::DirectoryNotRead
            && !entry.backupBeside)
            return;
        if (!entry.refusal.reason.isNone()) {
            PlannedFile file;
            file.path = entry.path;
            file.relativePath = relativeToQtPath(context.qtPath, entry.path);
            found->walked.append(refusedFile(file, entry.refusal));
            return;
        }
        addWalked(found, context, entry, opened, purpose, reading);
    };
    // Each file the walk looked at and keeps is read as it is found, from the file the walk opened;
    // what it does not hand over (build metadata by name, links, places it could not enter, every
    // file on Windows) comes after.
    const auto takeOpened = [&take](const WalkEntry &entry, ReadableFile &opened) { take(entry, &opened); };
    for (const WalkEntry &entry : walkInstallation(context.qtPath, look, takeOpened))
        take(entry, nullptr);
    // In the order of their paths, as a listing gives them, whatever order the walk found them in.
    const auto byPath = [](const PlannedFile &a, const PlannedFile &b) { return a.path < b.path; };
    std::stable_sort(found->walked.begin(), found->walked.end(), byPath);
    std::stable_sort(found->metadata.begin() + metadataListed, found->metadata.end(), byPath);
}

// With --deep, the window's files that are build metadata too (libQtCore.la, the two configuration
// files) come with the metadata, in its order, so that each is rewritten and reported once, in that
// step. `all` is every file of the plan, in the order found; `files` holds the window's.
void orderForDeep(QVector<PlannedFile> *files, const QVector<PlannedFile> &all, const FoundFiles &found)
{
    const int windowCount = int(found.window.size()), metadataCount = int(found.metadata.size());
    QHash<QString, int> metadataOrder;
    for (const QString &path : found.metadataPaths)
        metadataOrder.insert(path, metadataOrder.size());
    QVector<PlannedFile> text;
    for (int i = files->size() - 1; i >= 0; --i) {
        if (files->at(i).kind == FileKind::Text)
            text.prepend(files->takeAt(i));
    }
    text += all.mid(windowCount, metadataCount);
    std::stable_sort(text.begin(), text.end(), [&](const PlannedFile &a, const PlannedFile &b) {
        return metadataOrder.value(a.path, INT_MAX) < metadataOrder.value(b.path, INT_MAX);
    });
    *files += text + all.mid(windowCount + metadataCount);
    for (PlannedFile &file : *files)
        file.searchPaths = rewritesSearchPaths(file);
}

// Ordering: the files the command treats, in the order it treats them. Without --deep the metadata
// was only read, for the roots it records. A patch without any old root would rewrite nothing, and
// recomputing a file from its backup with nothing replaced could undo an earlier patch: the build
// metadata and Qt's other files stay out then too. `reading` holds what the plan may still keep.
void orderFiles(CommandPlan *plan, const FoundFiles &found, PlanPurpose purpose, PlanReading *reading)
{
    const PlanContext &context = plan->context;
    const QVector<PlannedFile> all = plan->files;
    plan->files = all.mid(0, found.window.size());
    if (restoresAll(context)) {
        for (const PlannedFile &file : all.mid(found.window.size(), found.metadata.size()))
            if (file.backupExists)
                plan->files.append(file);
        plan->files += all.mid(found.window.size() + found.metadata.size()); // as marked and judged
    } else if (context.command == Command::Patch && !context.deep && plan->identifiesQt) {
        plan->files += unlistedQtCores(context, found.window, purpose, reading);
    } else if (context.deep && !(context.command == Command::Patch && plan->oldRoots.roots.isEmpty())) {
        orderForDeep(&plan->files, all, found);
    }
}
} // namespace

PlanContext planContext(Command command, const QString &qtPath, bool deep)
{
    PlanContext context;
    context.generation = &generationOf(qtPath);
    context.command = command;
    context.qtPath = qtPath;
    context.rootBytes = qtPath.toLocal8Bit();
    context.canonicalRoot = QFileInfo(qtPath).canonicalFilePath();
    context.deep = deep || (command == Command::Patch && context.generation->patchIsDeep);
    context.build = readBuildFacts(*context.generation, qtPath);
    return context;
}

namespace {
// Whether the installation's QtCore finds its place by itself and never reads its slots.
bool slotsUnread(const PlanContext &context)
{
    const int major = context.generation->major;
    return (major >= 6 || (major == 5 && context.build.minor >= 14)) && context.build.relocatable == BuildFacts::Relocatable::Yes;
}
} // namespace

bool operator==(const PlanContext &a, const PlanContext &b)
{
    return a.generation == b.generation && a.command == b.command && a.qtPath == b.qtPath && a.rootBytes == b.rootBytes
        && a.canonicalRoot == b.canonicalRoot && a.deep == b.deep && a.oldRoots == b.oldRoots && a.earlierPlaces == b.earlierPlaces
        && a.build.minor == b.build.minor && a.build.patch == b.build.patch && a.build.relocatable == b.build.relocatable
        && a.build.mkspecsPath == b.build.mkspecsPath && a.devicePrefixes == b.devicePrefixes && a.crossKit == b.crossKit
        && a.hostOldRoots == b.hostOldRoots && a.hostRoot == b.hostRoot && a.hostMoved == b.hostMoved
        && a.earlierHosts == b.earlierHosts && a.hostPlaces == b.hostPlaces && a.hostData == b.hostData
        && a.hostDataRest == b.hostDataRest;
}

SlotRule slotRule(const PlanContext &context)
{
    const QtGeneration &generation = *context.generation;
    SlotRule rule{generation.slotKeys, generation.slotPlacement};
    if (generation.major < 5)
        return rule;
    rule.oldRoots = context.oldRoots;
    rule.keptPrefixes = context.devicePrefixes;
    rule.record = Limits::slotRecord;
    // Windows builds wrote 524-byte records up to Qt 5.7; a build that does not say is taken at the smaller.
    const int minor = context.build.minor;
    const bool qt5 = generation.major == 5;
    rule.windowsRecord = qt5 && minor >= 0 && minor <= 7 ? Limits::windowsSlotRecord : Limits::slotRecord;
    // From 5.14 a QtCore that reads its prefix reads as many bytes as the build gave it; a build that
    // does not say its version is taken at its word only when shown relocatable.
    rule.fixedPrefixLength = (!qt5 || minor < 0 || minor >= 14) && context.build.relocatable != BuildFacts::Relocatable::Yes;
    rule.unread = slotsUnread(context);
    return rule;
}

namespace {
// The context a plan of `files` comes to: its old roots, earlier places and host Qt.
void settleContext(CommandPlan *plan, int listed, const QString &hostQt)
{
    markOtherNames(&plan->files);
    findOldRoots(plan, listed);
    findHostQt(plan, hostQt);
}

// What the walk's binaries were judged in stands when the plan's own context is the same; otherwise
// each worker judges its file again. (A file refused or treated under another name since never
// reaches a worker.)
void keepWalkOutcomes(CommandPlan *plan, const PlanContext &judgedIn)
{
    if (judgedIn == plan->context)
        return;
    for (PlannedFile &file : plan->files)
        file.walkOutcome.reset();
}
} // namespace

CommandPlan planCommand(Command command, const QString &qtPath, bool deep, PlanPurpose purpose, qint64 budget, const QString &hostQt,
                        const WalkJudge &judge)
{
    CommandPlan plan;
    plan.context = planContext(command, qtPath, deep);
    plan.rootEncodable = command == Command::Unpatch || rootEncodable(qtPath);
    FoundFiles found;
    PlanReading reading;
    reading.budget = budget;
    listFiles(&found, plan.context, purpose, &reading);
    plan.identifiesQt = identifiesQt(*plan.context.generation, qtPath, found.window + found.metadata);
    const int listed = int(found.window.size() + found.metadata.size());
    // The files listed by name tell the old roots of every tree the tool has met: the walk's binaries
    // are judged in the context they give, which the walk seldom changes.
    std::optional<CommandPlan> known;
    if (judge && plan.context.deep && command == Command::Patch && plan.identifiesQt) {
        known = plan;
        known->files = found.window + found.metadata;
        settleContext(&*known, listed, hostQt);
        known->files.clear();
        reading.judge = [&judge, &known](PlannedFile file) { return judge(std::move(file), known->context); };
    }
    if ((plan.context.deep || restoresAll(plan.context)) && plan.identifiesQt)
        walkFiles(&found, plan.context, purpose, &reading);
    plan.files = found.window + found.metadata + found.walked;
    settleContext(&plan, listed, hostQt);
    orderFiles(&plan, found, purpose, &reading);
    if (known)
        keepWalkOutcomes(&plan, known->context);
    return plan;
}

Treatment treatmentByName(const QtGeneration &generation, const QString &path)
{
    return treatmentFor(generation, path, PlanStep::Window);
}

PlannedFile planOneFile(const QString &qtPath, const QString &path, Treatment treatment, PlanPurpose purpose)
{
    PlanReading reading;
    reading.budget = Limits::heldBytesBudget;
    return readRecord(planContext(Command::Patch, qtPath), path, treatment, PlanStep::Window, purpose, &reading);
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

LoadedFile currentBytes(const PlannedFile &file)
{
    // Without a backup, the file is its own original.
    return heldOrRead(file.backupExists ? file.current : file.original, file.target, file.kind);
}

bool rootEncodable(const QString &qtPath)
{
    return QString::fromLocal8Bit(qtPath.toLocal8Bit()) == qtPath;
}
