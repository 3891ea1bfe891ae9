#include "patching/textpatcher.h"

#include "patching/backuppatch.h"
#include "patching/formats/rootrule.h"
#include "patching/formats/textrules.h"
#include "patching/formats/wholepathrule.h"

#include <QDebug>
#include <QHash>

#include <algorithm>
#include <memory>

TextRules textRulesFor(const PlannedFile &file, const PlanContext &context)
{
    TextRules rules;
    rules.configFile = file.treatment == Treatment::Config;
    rules.deep = context.deep;
    const QByteArray root = context.rootBytes;
    // Asked once per place: a file of millions of lines names the same few again and again.
    const auto known = std::make_shared<QHash<QByteArray, bool>>();
    rules.relocation = {context.oldRoots, root, [root, known](const QByteArray &place) {
        const auto cached = known->constFind(place);
        return cached != known->constEnd() ? *cached : *known->insert(place, existsBelow(root, place));
    }, {}, {}, {}};
    // A cross kit's host Qt, named where it is taken to be now.
    if (context.crossKit && !context.hostRoot.isEmpty()) {
        const QByteArray host = context.hostRoot;
        rules.relocation.hostOldRoots = context.hostOldRoots;
        rules.relocation.hostRoot = host;
        rules.relocation.existsBelowHost = [host](const QByteArray &place) { return existsBelow(host, place); };
        rules.earlierHosts = context.earlierHosts;
        // In the files that name the host Qt, a host place is the host's even where it is the kit's own
        // old root too: the kit's rule would make a wrapper run itself.
        const QtGeneration &generation = *context.generation;
        if (generation.hostWrappers.contains(file.relativePath) || generation.hostCMakeFiles.contains(file.relativePath)) {
            QVector<QByteArray> &kitRoots = rules.relocation.oldRoots;
            kitRoots.erase(std::remove_if(kitRoots.begin(), kitRoots.end(), [&](const QByteArray &old) {
                return std::any_of(context.hostPlaces.cbegin(), context.hostPlaces.cend(),
                                   [&old](const QByteArray &host) { return rootKey(host) == rootKey(old); });
            }), kitRoots.end());
        }
        if (context.hostMoved && file.relativePath == context.generation->hostConf) {
            rules.hostConf = true;
            rules.hostConfFolder = QFileInfo(context.generation->hostConf).path().toLocal8Bit();
            rules.hostData = context.hostData;
            rules.hostDataRest = context.hostDataRest;
        }
    }
    return rules;
}

FileOutcome patchTextFile(PlannedFile file, const PlanContext &context, WriteMode mode)
{
    qDebug().noquote() << file.path;
    if (!file.exists)
        return FileOutcome::leftAlone(Reason(ReasonCode::NoSuchFile));
    const TextRules rules = textRulesFor(file, context);
    PatchedContent patched;
    FileOutcome failure;
    if (!takeOriginal(file, &patched.original, &failure) || !holdCurrent(file, &failure))
        return failure;
    const TextPatch text = file.backupExists ? patchText(patched.original, file.current.bytes(), rules, context.earlierPlaces)
                                             : TextPatch{applyTextRules(patched.original, rules), false};
    patched.content = text.content;
    // The line rule left an old root in another line of a configuration file (QMAKE_INCDIR_QT, say):
    // said whether the file changed or not, the user's kept lines first.
    const bool oldRootLeft = file.treatment != Treatment::Metadata && !rules.deep
        && !oldRootNamed(patched.content, rules.relocation).isEmpty();
    if (text.editsKept)
        patched.changedNote = Reason(ReasonCode::EditsKept);
    else if (oldRootLeft)
        patched.changedNote = Reason(ReasonCode::OldRootInDeepLines);
    if (file.treatment == Treatment::Metadata && !rules.deep)
        patched.leftAloneReason = Reason(ReasonCode::DeepOnly);
    else if (text.editsKept)
        patched.leftAloneReason = Reason(ReasonCode::EditsKept); // up to date, and the user's lines in it
    else if (oldRootLeft)
        patched.leftAloneReason = Reason(ReasonCode::OldRootInDeepLines);
    else if (!file.backupExists)
        patched.leftAloneReason = Reason(ReasonCode::NamesNoOldRoot);

    return writePatched(file, patched, context, mode);
}

FileOutcome patchTextFile(const QString &root, const QString &filePath)
{
    const PlanContext context = planContext(Command::Patch, root);
    const PlannedFile file = planOneFile(root, filePath, Treatment::Config);
    if (file.treatment == Treatment::Refused) {
        qDebug().noquote() << filePath;
        return file.refusal;
    }
    return patchTextFile(file, context);
}
