#include "patching/plan/hostplan.h"

#include "patching/formats/configlinerule.h"
#include "patching/formats/rootrule.h"
#include "patching/plan/planrecord.h"
#include "patching/qt/hostqt.h"

#include <QDir>
#include <QFileInfo>

void findHostQt(CommandPlan *plan, const QString &hostQt)
{
    PlanContext &context = plan->context;
    const QtGeneration &generation = *context.generation;
    context.crossKit = isCrossKit(generation, context.qtPath);
    if (!context.crossKit)
        return;
    QVector<QByteArray> recorded, now;
    QByteArray confOriginal, confNow;
    for (const PlannedFile &file : qAsConst(plan->files)) {
        const bool conf = file.relativePath == generation.hostConf;
        if (file.treatment == Treatment::Refused || !file.exists
            || (!conf && !generation.hostWrappers.contains(file.relativePath) && !generation.hostCMakeFiles.contains(file.relativePath)))
            continue;
        const LoadedFile original = loadWholeFile(file.readPath(), Limits::maxFactsFileSize);
        const LoadedFile current = file.backupExists ? loadWholeFile(file.target, Limits::maxFactsFileSize) : original;
        if (conf) {
            confOriginal = original.data;
            confNow = current.data;
            continue;
        }
        if (original.ok)
            recorded += recordedHostPrefixes(generation, file.relativePath, original.data);
        if (file.backupExists && current.ok)
            now += recordedHostPrefixes(generation, file.relativePath, current.data);
    }
    // Where the tool wrote a place of its own: a current place the originals do not hold.
    QByteArray movedTo;
    for (const QByteArray &place : qAsConst(now)) {
        if (!recorded.contains(place))
            movedTo = place;
    }
    const QByteArray &root = context.rootBytes;
    // A host that lay inside the kit moved with it; one whose place is the kit's own old root (an
    // installer's kits and host Qts are all built at one place) did not.
    const auto withKit = [&](const QByteArray &place) {
        const RootMatch inside = longestOldRoot(place, context.oldRoots, root);
        const QByteArray moved = inside.index < 0 ? place : rootSpelling(root) + place.mid(inside.length);
        return holdsHostTools(QString::fromLocal8Bit(moved)) ? moved : place;
    };
    context.hostRoot = !hostQt.isEmpty() ? hostQt.toLocal8Bit() : !movedTo.isEmpty() ? movedTo : withKit(recorded.value(0));
    for (const QByteArray &place : recorded + now) {
        if (!context.hostPlaces.contains(place) && context.hostPlaces.size() < Limits::maxOldRoots)
            context.hostPlaces.append(place);
        if (rootKey(place) != rootKey(context.hostRoot) && !context.hostOldRoots.contains(place)
            && context.hostOldRoots.size() < Limits::maxOldRoots)
            context.hostOldRoots.append(place);
    }
    if (context.hostRoot.isEmpty())
        return;
    const QString bin = QFileInfo(context.qtPath + QLatin1Char('/') + generation.hostConf).absolutePath();
    const QString host = QString::fromLocal8Bit(context.hostRoot);
    const bool hostThere = holdsHostTools(host);
    // target_qt.conf is rewritten when the host moved, or when it names, from where the kit now is,
    // another place than the one the wrappers run.
    const QByteArray prefixNow = assignmentValue(confNow, "HostPrefix");
    const bool confElsewhere = !prefixNow.isEmpty()
        && QDir::cleanPath(QDir(bin).absoluteFilePath(QString::fromLocal8Bit(prefixNow))) != QDir::cleanPath(host);
    // The tool wrote HostPrefix before when it differs from the original's.
    const bool confWritten = prefixNow != assignmentValue(confOriginal, "HostPrefix");
    context.hostMoved = !hostQt.isEmpty() || !movedTo.isEmpty() || confWritten || (confElsewhere && hostThere);
    for (const QByteArray &place : qAsConst(now)) {
        if (rootKey(place) != rootKey(context.hostRoot) && !context.earlierHosts.contains(place))
            context.earlierHosts.append(place);
    }
    // HostData, relative to the host the build knew, named the kit's own place.
    const QByteArray data = assignmentValue(confOriginal, "HostData");
    const QByteArray builtHost = recorded.value(0);
    if (!data.isEmpty() && !isAbsolutePath(data) && !builtHost.isEmpty()) {
        const QByteArray dataPlace = QDir::cleanPath(QString::fromLocal8Bit(builtHost + '/' + data)).toLocal8Bit();
        const RootMatch inKit = longestOldRoot(dataPlace, context.oldRoots, root);
        context.hostData = inKit.index >= 0;
        context.hostDataRest = inKit.index >= 0 ? dataPlace.mid(inKit.length) : QByteArray();
    }
    // A patch cannot name a host Qt that is not there: its wrappers fail, saying where it was looked for.
    if (context.command != Command::Patch || !hostQt.isEmpty() || hostThere)
        return;
    // target_qt.conf too, when the tool had named a host there: rewritten for a host that is gone, it would be broken.
    for (PlannedFile &file : plan->files) {
        const bool conf = context.hostMoved && file.relativePath == generation.hostConf;
        if (file.exists && file.treatment != Treatment::Refused && (conf || generation.hostWrappers.contains(file.relativePath)))
            file = refusedFile(file, FileOutcome::failed(Reason(ReasonCode::HostQtMissing, {host})));
    }
}
