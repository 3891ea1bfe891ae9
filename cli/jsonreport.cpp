#include "cli/jsonreport.h"

#include "cli/reportcounts.h"
#include "cli/textreport.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace {
QString kindKey(FileKind kind)
{
    return kind == FileKind::Binary ? QStringLiteral("binary") : QStringLiteral("text");
}

QString commandKey(Command command)
{
    return command == Command::Patch ? QStringLiteral("patch") : QStringLiteral("unpatch");
}

QJsonObject header(const QString &command, const QString &qtPath)
{
    QJsonObject object;
    object.insert(QStringLiteral("tool"), QCoreApplication::applicationName());
    object.insert(QStringLiteral("version"), QCoreApplication::applicationVersion());
    object.insert(QStringLiteral("command"), command);
    object.insert(QStringLiteral("qtPath"), qtPath);
    return object;
}

QString withoutLineEnd(const QString &line)
{
    return line.endsWith(QLatin1Char('\n')) ? line.left(line.size() - 1) : line;
}

QJsonArray slotsJson(const InspectedContent &content)
{
    QJsonArray array;
    for (const InspectedSlot &found : content.foundSlots) {
        QJsonObject slot;
        slot.insert(QStringLiteral("key"), QString::fromLatin1(found.slot.key));
        slot.insert(QStringLiteral("value"), QString::fromLocal8Bit(found.slot.value));
        slot.insert(QStringLiteral("offset"), QJsonValue(qint64(found.slot.offset)));
        slot.insert(QStringLiteral("room"), QJsonValue(qint64(found.slot.room)));
        slot.insert(QStringLiteral("namesRoot"), found.namesRoot);
        array.append(slot);
    }
    return array;
}

QJsonArray assignmentsJson(const InspectedContent &content)
{
    QJsonArray array;
    for (const InspectedAssignment &found : content.assignments) {
        QJsonObject assignment;
        assignment.insert(QStringLiteral("line"), found.assignment.lineNumber);
        assignment.insert(QStringLiteral("key"), QString::fromLocal8Bit(found.assignment.key));
        assignment.insert(QStringLiteral("value"), QString::fromLocal8Bit(found.assignment.value));
        assignment.insert(QStringLiteral("namesRoot"), found.namesRoot);
        array.append(assignment);
    }
    return array;
}

// The keys shared by a listed file and its backup.
QJsonObject contentJson(const QString &relativePath, const InspectedContent &content)
{
    QJsonObject object;
    object.insert(QStringLiteral("file"), relativePath);
    object.insert(QStringLiteral("exists"), content.exists());
    object.insert(QStringLiteral("entry"), entryTypeKey(content.type));
    object.insert(QStringLiteral("symlink"), content.isSymLink);
    object.insert(QStringLiteral("error"), content.error);
    object.insert(QStringLiteral("slots"), slotsJson(content));
    object.insert(QStringLiteral("assignments"), assignmentsJson(content));
    object.insert(QStringLiteral("namesRoot"), content.namesRoot());
    return object;
}
} // namespace

QString qtPathCheckKey(QtPathCheck check)
{
    switch (check) {
    case QtPathCheck::Accepted:
        return QStringLiteral("accepted");
    case QtPathCheck::NotAnInstallation:
        return QStringLiteral("not-an-installation");
    case QtPathCheck::TooLong:
        return QStringLiteral("too-long");
    case QtPathCheck::NotAsciiOrSpace:
        break;
    }
    return QStringLiteral("not-ascii-or-space");
}

QJsonObject commandReportJson(Command command, const QString &qtPath, WriteMode mode,
                              const QVector<FileReport> &reports)
{
    QJsonObject object = header(commandKey(command), qtPath);
    object.insert(QStringLiteral("dryRun"), mode == WriteMode::DryRun);

    QJsonArray files;
    for (const FileReport &report : reports) {
        QJsonObject file;
        file.insert(QStringLiteral("file"), report.relativePath);
        file.insert(QStringLiteral("path"), report.path);
        file.insert(QStringLiteral("kind"), kindKey(report.kind));
        file.insert(QStringLiteral("status"), outcomeStatusKey(report.outcome.status));
        file.insert(QStringLiteral("reason"), report.outcome.reason);
        files.append(file);
    }
    object.insert(QStringLiteral("files"), files);

    const OutcomeCounts counts = countOutcomes(reports);
    QJsonObject summary;
    summary.insert(QStringLiteral("total"), int(reports.size()));
    summary.insert(QStringLiteral("changed"), counts.changed);
    summary.insert(QStringLiteral("leftAlone"), counts.leftAlone);
    summary.insert(QStringLiteral("failed"), counts.failed);
    object.insert(QStringLiteral("summary"), summary);
    object.insert(QStringLiteral("message"), withoutLineEnd(commandSummaryLine(command, mode, reports)));
    return object;
}

QJsonObject inspectionJson(const Inspection &inspection)
{
    QJsonObject object = header(QStringLiteral("inspect"), inspection.qtPath);

    const RecordedRoot &old = inspection.oldRoot;
    if (old.found) {
        QJsonObject root;
        root.insert(QStringLiteral("value"), old.value);
        root.insert(QStringLiteral("file"), old.relativePath);
        root.insert(QStringLiteral("key"), QString::fromLatin1(old.key));
        root.insert(QStringLiteral("fromBackup"), old.fromBackup);
        object.insert(QStringLiteral("oldRoot"), root);
    } else {
        object.insert(QStringLiteral("oldRoot"), QJsonValue(QJsonValue::Null));
    }

    QJsonArray files;
    for (const InspectedFile &inspected : inspection.files) {
        QJsonObject file = contentJson(inspected.relativePath, inspected.file);
        file.insert(QStringLiteral("path"), inspected.path);
        file.insert(QStringLiteral("kind"), kindKey(inspected.kind));
        QJsonArray visitedBy;
        if (inspected.visitedByPatch)
            visitedBy.append(QStringLiteral("patch"));
        if (inspected.visitedByUnpatch)
            visitedBy.append(QStringLiteral("unpatch"));
        file.insert(QStringLiteral("visitedBy"), visitedBy);
        file.insert(QStringLiteral("backup"),
                    contentJson(inspected.relativePath + QStringLiteral(".back"), inspected.backup));
        files.append(file);
    }
    object.insert(QStringLiteral("files"), files);

    const InspectionCounts counts = countInspection(inspection);
    QJsonObject summary;
    summary.insert(QStringLiteral("total"), counts.files);
    summary.insert(QStringLiteral("present"), counts.present);
    summary.insert(QStringLiteral("backups"), counts.backups);
    summary.insert(QStringLiteral("namingRoot"), counts.namingRoot);
    summary.insert(QStringLiteral("unreadable"), counts.unreadable);
    object.insert(QStringLiteral("summary"), summary);
    object.insert(QStringLiteral("message"), withoutLineEnd(inspectionSummaryLine(inspection)));
    return object;
}

QJsonObject rejectedDirJson(const QString &commandKey, const QString &qtPath, QtPathCheck check)
{
    QJsonObject object = header(commandKey, qtPath);
    QJsonObject error;
    error.insert(QStringLiteral("check"), qtPathCheckKey(check));
    error.insert(QStringLiteral("message"), qtPathCheckMessage(check));
    object.insert(QStringLiteral("error"), error);
    return object;
}

QByteArray jsonDocumentBytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
