#include "patching/binarypatcher.h"

#include "patching/backuppatch.h"
#include "patching/patchregions.h"
#include "patching/formats/elfrunpath.h"
#include "patching/formats/pathslots.h"
#include "patching/formats/rootrule.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>

QByteArray originDirectory(const QString &filePath, const QString &canonicalFile, const QString &root,
                           const QString &canonicalRoot)
{
    if (canonicalRoot.isEmpty() || canonicalFile.isEmpty())
        return QFile::encodeName(QFileInfo(filePath).absolutePath());
    const QString relative = QDir(canonicalRoot).relativeFilePath(QFileInfo(canonicalFile).absolutePath());
    return QFile::encodeName(QDir::cleanPath(root + QLatin1Char('/') + relative));
}

FileOutcome patchBinaryFile(PlannedFile file, const PlanContext &context, WriteMode mode)
{
    const QByteArray &rootDir = context.rootBytes;
    qDebug().noquote() << file.path;
    if (file.walkOutcome)
        return *file.walkOutcome;
    if (!file.exists)
        return FileOutcome::leftAlone(Reason(ReasonCode::NoSuchFile));
    PatchedContent patched;
    FileOutcome failure;
    if (!takeOriginal(file, &patched.content, &failure))
        return failure;
    const auto givenBack = qScopeGuard([&patched] { giveBackBytes(patched.content); });
    const SlotRule rule = slotRule(context);
    // The plan found no slot key in these very bytes: they are not scanned again.
    SlotRewrite slotRewrite = file.holdsSlots ? rewriteSlots(patched.content, rootDir, rule) : SlotRewrite();
    // A prefix the library reads with a fixed length cannot take a longer root: nothing is written.
    if (slotRewrite.fixedLength >= 0)
        return FileOutcome::failed(Reason(ReasonCode::PrefixLengthFixed, {QString::number(slotRewrite.neededLength),
                                                                          QString::number(slotRewrite.fixedLength)}));
    patched.changes = slotRewrite.changes;
    const ElfSearchPaths &searchPaths = file.originalSearchPaths;
    const PatchRegions regions = patchRegions(slotRewrite.rooms, searchPaths.regions());
    const QVector<bool> &isSearchPath = regions.isSearchPath;
    patched.mayDiffer = regions.regions;
    // A slot that shares bytes with a search path (only a crafted file has one) would be written by both
    // rewrites: neither is done, and nothing is written.
    for (int i = 1; i < patched.mayDiffer.size(); ++i) {
        const Region &before = patched.mayDiffer.at(i - 1);
        if (before.offset + before.size > patched.mayDiffer.at(i).offset && isSearchPath.at(i - 1) != isSearchPath.at(i))
            return FileOutcome::failed(Reason(ReasonCode::RunPathShared));
    }
    const auto rewriteSearch = [&]() {
        const SearchPathRewrite rewrite = rewriteSearchPaths(
            patched.content, searchPaths, context.oldRoots, rootDir, originDirectory(file.target, file.canonicalTarget, context.qtPath, context.canonicalRoot),
            [&rootDir](const QByteArray &place) { return existsBelow(rootDir, place); });
        patched.changes += rewrite.changes;
        if (!rewrite.failure.isNone())
            patched.failure = rewrite.failure;
        return rewrite.rewritten;
    };
    int searchPathsNamingOldRoot = file.searchPaths ? rewriteSearch() : 0;
    std::optional<Comparison> compared;
    // A plain patch keeps what --deep wrote: it rewrites the search paths too when they are not the backup's.
    if (!file.searchPaths && file.backupExists && !searchPaths.strings.isEmpty()) {
        compared = compareWithCurrent(file, patched.content, patched.mayDiffer);
        const bool deepWrote = compared->ok && std::any_of(compared->regions.cbegin(), compared->regions.cend(),
                                                           [&](int region) { return isSearchPath.at(region); });
        if (deepWrote) {
            searchPathsNamingOldRoot = rewriteSearch();
            compared.reset();
        }
    }
    if (!slotRewrite.tooSmall.isEmpty())
        patched.failure = Reason(ReasonCode::SlotsTooSmall, slotRewrite.tooSmall);
    // A file listed by its name alone may hold no path slot: it is not "up to date"; nor is a file
    // whose search paths name no old root and that was never patched.
    const Reason slotsStay = slotsStayReason(rule, slotRewrite);
    if (slotRewrite.found == 0 && (!file.searchPaths || searchPaths.strings.isEmpty()))
        patched.leftAloneReason = Reason(ReasonCode::NoPathSlot);
    else if (!slotsStay.isNone() && searchPathsNamingOldRoot == 0)
        patched.leftAloneReason = slotsStay;
    else if (slotRewrite.found == 0 && !file.backupExists && searchPathsNamingOldRoot == 0)
        patched.leftAloneReason = Reason(ReasonCode::NamesNoOldRoot);
    return writePatched(file, patched, context, mode, compared);
}

FileOutcome patchBinaryFile(const QByteArray &rootDir, const QString &filePath)
{
    PlanContext context = planContext(Command::Patch, QString::fromLocal8Bit(rootDir));
    context.rootBytes = rootDir;
    const PlannedFile file = planOneFile(context.qtPath, filePath, Treatment::Binary);
    if (file.treatment == Treatment::Refused) {
        qDebug().noquote() << filePath;
        return file.refusal;
    }
    return patchBinaryFile(file, context);
}
