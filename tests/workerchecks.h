#ifndef ZEL_WORKERCHECKS_H
#define ZEL_WORKERCHECKS_H

// Small helpers shared by the worker tests.

#include "faultinjection.h"
#include "patching/fileoutcome.h"
#include "qt4fixture.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(FileOutcome)

// Lets QCOMPARE print an outcome as "failed: écriture impossible : ...".
inline char *toString(const FileOutcome &outcome)
{
    return QTest::toString(outcomeStatusKey(outcome.status) + QStringLiteral(": ") + outcome.reason);
}

namespace WorkerChecks {

// Every entry of `dir` (hidden ones too), sorted: stray temporary files show up here.
inline QStringList entryNames(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A failure for `reason`; a reason ending in " : " must be followed by the system's own words.
inline bool failedWith(const FileOutcome &outcome, const QString &reason)
{
    if (outcome.status != OutcomeStatus::Failed)
        return false;
    if (!reason.endsWith(QLatin1String(" : ")))
        return outcome.reason == reason;
    return outcome.reason.startsWith(reason) && outcome.reason.size() > reason.size();
}

// A generated installation below a fresh temporary directory, at `root`.
struct Installation {
    QTemporaryDir dir;
    QString root;
    QString error;
    bool valid = false;

    explicit Installation(const Qt4Fixture::InstallationOptions &options = Qt4Fixture::InstallationOptions())
        : root(dir.path() + QStringLiteral("/qt"))
    {
        error = dir.errorString();
        valid = dir.isValid() && !Qt4Fixture::makeInstallation(root, options, &error).isEmpty();
    }
    QString path(const QString &relative) const { return root + QLatin1Char('/') + relative; }
};

// Bits that refuse writing to everyone but root; runAsUser() leaves root behind.
const QFileDevice::Permissions readOnlyFile = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
const QFileDevice::Permissions readOnlyDirectory =
    readOnlyFile | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
const QFileDevice::Permissions writable = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;

// Runs `worker` as the unprivileged user with `permissions` set for the run only;
// false, with `whyNot`, when that cannot be done.
inline bool runAsUser(const QList<QPair<QString, QFileDevice::Permissions>> &permissions,
                      const std::function<FileOutcome()> &worker, FileOutcome *outcome, QString *whyNot)
{
    QList<QPair<QString, QFileDevice::Permissions>> saved;
    bool ready = true;
    for (const auto &entry : permissions) {
        saved.prepend({entry.first, QFile::permissions(entry.first)});
        if (!QFile::setPermissions(entry.first, entry.second)) {
            *whyNot = QStringLiteral("cannot set the permissions of ") + entry.first;
            ready = false;
        }
    }
    Qt4Fixture::UnprivilegedRun run;
    if (ready) {
        run = Qt4Fixture::runAsUnprivileged([&worker] {
            const FileOutcome result = worker();
            return QByteArray::number(int(result.status)) + result.reason.toUtf8();
        });
        if (!run.ran || run.output.isEmpty())
            *whyNot = QStringLiteral("cannot run as an unprivileged user: ") + run.error;
    }
    for (const auto &entry : saved)
        QFile::setPermissions(entry.first, entry.second);
    if (!ready || !run.ran || run.output.isEmpty())
        return false;
    *outcome = FileOutcome{OutcomeStatus(run.output.at(0) - '0'), QString::fromUtf8(run.output.mid(1))};
    return true;
}

} // namespace WorkerChecks

#endif
