#include "app/qtpathcheck.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The directory checks, without any dialog: each row builds a directory below a
// temporary root and expects the first failing check.
class TestQtPathCheck : public QObject
{
    Q_OBJECT

private slots:
    void checksInOrder_data();
    void checksInOrder();
    void messagesAreTheToolsOwn();

private:
    // A directory below `base` whose absolute path has exactly `length` characters.
    static QString pathOfLength(const QString &base, int length);
};

QString TestQtPathCheck::pathOfLength(const QString &base, int length)
{
    QString path = base;
    // Grow by components of at most 50 characters so that no single name exceeds file-system limits.
    while (path.size() < length) {
        const int room = length - path.size() - 1;
        const int take = room > 60 ? 50 : room;
        if (take <= 0) {
            path += QLatin1Char('x');
            break;
        }
        path += QLatin1Char('/') + QString(take, QLatin1Char('d'));
    }
    return path;
}

void TestQtPathCheck::checksInOrder_data()
{
    QTest::addColumn<QString>("relativeDir"); // below the temporary root; "#200" means: total length 200
    QTest::addColumn<bool>("withBin");
    QTest::addColumn<bool>("withLib");
    QTest::addColumn<int>("expected");

    const int accepted = int(QtPathCheck::Accepted);
    const int notQt = int(QtPathCheck::NotAnInstallation);
    const int tooLong = int(QtPathCheck::TooLong);
    const int ascii = int(QtPathCheck::NotAsciiOrSpace);

    QTest::newRow("bin and lib present") << "qt" << true << true << accepted;
    QTest::newRow("lib missing") << "qt" << true << false << notQt;
    QTest::newRow("bin missing") << "qt" << false << true << notQt;
    QTest::newRow("exactly 200 characters") << "#200" << true << true << accepted;
    QTest::newRow("201 characters") << "#201" << true << true << tooLong;
    QTest::newRow("201 characters and no lib: only the first check is reported") << "#201" << true << false << notQt;
    QTest::newRow("a space in a parent directory") << "with blank/qt" << true << true << ascii;
    QTest::newRow("a space at the end of the name") << "qt " << true << true << ascii;
    QTest::newRow("e with acute accent (U+00E9)") << QString::fromUtf8("qt-\xc3\xa9t\xc3\xa9") << true << true << accepted;
    QTest::newRow("y with diaeresis (U+00FF), the last accepted code") << QString::fromUtf8("qt\xc3\xbf") << true << true << accepted;
    QTest::newRow("a character above U+00FF (U+0153)") << QString::fromUtf8("qt\xc5\x93uvre") << true << true << ascii;
    QTest::newRow("punctuation passes") << "qt-4.8_(x86)+#!" << true << true << accepted;
    QTest::newRow("a space and 201 characters: the length is reported") << "#201 " << true << true << tooLong;
}

void TestQtPathCheck::checksInOrder()
{
    QFETCH(QString, relativeDir);
    QFETCH(bool, withBin);
    QFETCH(bool, withLib);
    QFETCH(int, expected);

    QTemporaryDir root;
    QVERIFY2(root.isValid(), qPrintable(root.errorString()));
    QString dir;
    if (relativeDir.startsWith(QLatin1Char('#'))) {
        const bool blank = relativeDir.endsWith(QLatin1Char(' '));
        const int length = relativeDir.mid(1).trimmed().toInt();
        dir = pathOfLength(root.path() + (blank ? QStringLiteral("/a b") : QString()), length);
    } else {
        dir = root.path() + QLatin1Char('/') + relativeDir;
    }
    if (relativeDir.startsWith(QLatin1Char('#')))
        QCOMPARE(dir.size(), relativeDir.mid(1).trimmed().toInt());
    QVERIFY2(QDir().mkpath(dir), qPrintable(dir));
    if (withBin)
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin")));
    if (withLib)
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/lib")));

    QCOMPARE(int(checkQtPath(dir)), expected);
}

void TestQtPathCheck::messagesAreTheToolsOwn()
{
    QCOMPARE(qtPathCheckTitle(), QStringLiteral("repertoire incorect"));
    QCOMPARE(qtPathCheckMessage(QtPathCheck::NotAnInstallation),
             QStringLiteral("le repertoire ne contient pas de version de Qt."));
    QCOMPARE(qtPathCheckMessage(QtPathCheck::TooLong),
             QString::fromUtf8("Le chemin du repertoire ne doit pas d\xc3\xa9passer 200 caract\xc3\xa8res."));
    QCOMPARE(qtPathCheckMessage(QtPathCheck::NotAsciiOrSpace),
             QString::fromUtf8("le repertoire qt doit \xc3\xaatre exclusivement compos?de caract\xc3\xa8re ASCII et sans espace."));
    QVERIFY(qtPathCheckMessage(QtPathCheck::Accepted).isEmpty());
}

QTEST_GUILESS_MAIN(TestQtPathCheck)
#include "tst_qtpathcheck.moc"
