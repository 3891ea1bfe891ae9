#include "patching/plan/lostbackups.h"

#include "patching/plan/planrecord.h"
#include "patching/formats/rootrule.h"
#include "patching/formats/textrules.h"
#include "patching/formats/wholepathrule.h"

#include <QSet>

#include <algorithm>

namespace {
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

// The roots the build left: what the backups record. Only Qt's own listed binaries tell that the tool
// patched here (`patchedHere`): a walked file's backup may be a user's own copy.
QVector<QByteArray> builtRoots(const QVector<PlannedFile> &files, int listed, bool *patchedHere)
{
    QVector<QByteArray> built;
    *patchedHere = false;
    for (int i = 0; i < files.size(); ++i) {
        const PlannedFile &file = files.at(i);
        if (file.treatment == Treatment::Refused || !file.backupExists)
            continue;
        *patchedHere = *patchedHere || (file.kind == FileKind::Binary && i < listed);
        built += file.prefixes;
    }
    return built;
}

// The places the tool patched for before: what the files it wrote record now, neither DIR nor a root
// the build left. A file without a backup is no evidence of its own: its record is the build's, or a
// package's of its own.
class EarlierPlaces
{
public:
    EarlierPlaces(const QByteArray &own, const QVector<QByteArray> &built) : m_own(own), m_built(built) {}
    void recall(const QVector<QByteArray> &prefixes)
    {
        for (const QByteArray &prefix : prefixes) {
            if (rootKey(prefix) != rootKey(m_own) && longestOldRoot(prefix, m_built, QByteArray()).index < 0
                && !m_recalled.contains(prefix)) {
                m_recalled.insert(prefix);
                m_places.append(prefix);
            }
        }
    }
    bool contains(const QByteArray &prefix) const { return m_recalled.contains(prefix); }
    const QVector<QByteArray> &places() const { return m_places; }

private:
    const QByteArray &m_own;
    const QVector<QByteArray> &m_built;
    QVector<QByteArray> m_places;
    QSet<QByteArray> m_recalled;
};

// Refuses each file without a backup that the tool patched. Patch, unpatch, verify and the window
// judge a file by this one rule, so that they agree.
void refuseLostBackups(CommandPlan *plan, const QByteArray &own, const QVector<QByteArray> &built, EarlierPlaces *earlier)
{
    // An unpatch cannot put back a file written for DIR itself, unless the build left it there.
    const bool ownIsBuilt = std::any_of(built.cbegin(), built.cend(), [&](const QByteArray &root) { return rootKey(root) == rootKey(own); });
    const bool ownCounts = plan->context.command == Command::Unpatch && !ownIsBuilt;
    for (PlannedFile &file : plan->files) {
        if (file.treatment == Treatment::Refused || file.backupExists || !file.exists)
            continue;
        const bool lost = file.treatment == Treatment::Config || (file.treatment == Treatment::Binary && file.holdsSlots)
            ? windowFileLostBackup(file, own, built)
            : namesAnyOf(file, ownCounts ? earlier->places() + QVector<QByteArray>{own} : earlier->places(), own);
        if (lost) {
            // What a lost file records is a place the tool patched for too (qmake's slot, say).
            earlier->recall(file.prefixes);
            file = refusedFile(file, FileOutcome::failed(Reason(ReasonCode::PatchedWithoutBackup)));
        }
    }
}

// The old roots in their order: the slots first, where Qt keeps its prefix, each kind in the plan's
// order; then the earlier places, from the files that record them.
void collectOldRoots(CommandPlan *plan, const QByteArray &own, const EarlierPlaces &earlier)
{
    QSet<QByteArray> seen;
    for (const FileKind kind : {FileKind::Binary, FileKind::Text}) {
        for (const PlannedFile &file : qAsConst(plan->files)) {
            if (file.treatment != Treatment::Refused && file.kind == kind)
                addRoots(&plan->oldRoots, &seen, own, file.prefixes, relativeToQtPath(plan->context.qtPath, file.readPath()), false);
        }
    }
    for (const PlannedFile &file : qAsConst(plan->files)) {
        QVector<QByteArray> places;
        for (const QByteArray &prefix : file.currentPrefixes + (file.treatment == Treatment::Refused ? file.prefixes : QVector<QByteArray>())) {
            if (earlier.contains(prefix))
                places.append(prefix);
        }
        addRoots(&plan->oldRoots, &seen, own, places, file.relativePath, true);
    }
}
} // namespace

namespace {
// A cross build's prefix on the device is no place the tree was: whatever file records it (QtCore,
// a .pc file), it is no old root, and it stays as it is.
void setDevicePrefixesApart(CommandPlan *plan)
{
    QSet<QByteArray> device;
    for (const PlannedFile &file : qAsConst(plan->files)) {
        if (file.treatment != Treatment::Refused && !file.devicePrefix.isEmpty() && !device.contains(rootKey(file.devicePrefix))) {
            device.insert(rootKey(file.devicePrefix));
            plan->context.devicePrefixes.append(file.devicePrefix);
        }
    }
    if (device.isEmpty())
        return;
    const auto onDevice = [&device](const QByteArray &prefix) { return device.contains(rootKey(prefix)); };
    for (PlannedFile &file : plan->files) {
        file.prefixes.erase(std::remove_if(file.prefixes.begin(), file.prefixes.end(), onDevice), file.prefixes.end());
        file.currentPrefixes.erase(std::remove_if(file.currentPrefixes.begin(), file.currentPrefixes.end(), onDevice),
                                   file.currentPrefixes.end());
    }
}
} // namespace

void findOldRoots(CommandPlan *plan, int listed)
{
    setDevicePrefixesApart(plan);
    const QByteArray &own = plan->context.rootBytes;
    bool patchedHere = false;
    const QVector<QByteArray> built = builtRoots(plan->files, listed, &patchedHere);
    EarlierPlaces earlier(own, built);
    for (const PlannedFile &file : qAsConst(plan->files)) {
        if (file.treatment != Treatment::Refused && file.backupExists)
            earlier.recall(file.currentPrefixes);
    }
    if (patchedHere)
        refuseLostBackups(plan, own, built, &earlier);
    collectOldRoots(plan, own, earlier);
    plan->context.oldRoots = plan->oldRoots.values();
    plan->context.earlierPlaces = plan->oldRoots.earlierValues();
}
