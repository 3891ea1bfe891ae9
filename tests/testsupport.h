#ifndef ZEL_TESTSUPPORT_H
#define ZEL_TESTSUPPORT_H

// What the tests share: the checked-in files of tests/data and outcomes told by their codes.

#include "app/reasontext.h"
#include "patching/base/fileoutcome.h"

#include <QFile>
#include <QtTest>

Q_DECLARE_METATYPE(FileOutcome)

inline QString reasonFacts(const Reason &reason)
{
    return reasonCodeKey(reason.code) + (reason.cause == Cause::None ? QString() : QLatin1Char('/') + causeKey(reason.cause))
         + (reason.args.isEmpty() ? QString() : QStringLiteral(" (") + reason.args.join(QStringLiteral(", ")) + QLatin1Char(')'));
}

inline char *toString(const Reason &reason) { return QTest::toString(reasonFacts(reason)); }

inline char *toString(const FileOutcome &outcome)
{
    return QTest::toString(outcomeStatusKey(outcome.status) + QLatin1Char(' ') + reasonFacts(outcome.reason));
}

inline FileOutcome failed(ReasonCode code, Cause cause = Cause::None) { return FileOutcome::failed(Reason(code, cause)); }
inline FileOutcome leftAlone(ReasonCode code) { return FileOutcome::leftAlone(Reason(code)); }
inline const FileOutcome changed = FileOutcome::changed();

inline QString dataPath(const QString &relative) { return QStringLiteral(ZEL_TEST_DATA "/") + relative; }

// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes the whole file, making its directory first.
inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

inline QStringList words(const char *text) { return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts); }

#endif
