#ifndef ZEL_WORKERCHECKS_H
#define ZEL_WORKERCHECKS_H

// Small helpers shared by the worker tests.

#include "patching/fileoutcome.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QtTest>

Q_DECLARE_METATYPE(FileOutcome)

// Lets QCOMPARE print an outcome as "failed: écriture impossible : ...".
inline char *toString(const FileOutcome &outcome)
{
    const QString text = outcomeStatusKey(outcome.status)
                         + (outcome.reason.isEmpty() ? QString() : QStringLiteral(": ") + outcome.reason);
    return QTest::toString(text);
}

namespace WorkerChecks {

// Every entry of `dir` (hidden ones too), sorted: stray temporary files show up here.
inline QStringList entryNames(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Puts permissions back when a test ends, however it ends, so that the
// temporary directory can be removed and a failure does not hide behind another.
class PermissionsRestorer
{
public:
    void remember(const QString &path) { m_saved.append({path, QFile::permissions(path)}); }
    ~PermissionsRestorer()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (!QFile::setPermissions(it->first, it->second))
                qWarning("could not restore the permissions of %s", qPrintable(it->first));
        }
    }

private:
    QList<QPair<QString, QFileDevice::Permissions>> m_saved;
};

} // namespace WorkerChecks

#endif
