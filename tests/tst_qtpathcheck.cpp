#include "app/qtpathcheck.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(QtPathCheck)

// The directory checks, without any dialog: each row builds a directory below a
// temporary root and expects the first failing check.
class TestQtPathCheck : public QObject
{
    Q_OBJECT

private slots:
    void checksInOrder_data();
    void checksInOrder();
    void messagesAreTheToolsOwn();
};

void TestQtPathCheck::checksInOrder_data()
{
    QTest::addColumn<QString>("relativeDir"); // below the temporary root
    QTest::addColumn<int>("length");          // when not 0: grown to this many characters in all
    QTest::addColumn<bool>("withBin");
    QTest::addColumn<bool>("withLib");
    QTest::addColumn<QtPathCheck>("expected");

    using C = QtPathCheck;
    QTest::newRow("bin and lib present") << "qt" << 0 << true << true << C::Accepted;
    QTest::newRow("lib missing") << "qt" << 0 << true << false << C::NotAnInstallation;
    QTest::newRow("bin missing") << "qt" << 0 << false << true << C::NotAnInstallation;
    QTest::newRow("exactly 200 characters") << "qt" << 200 << true << true << C::Accepted;
    QTest::newRow("201 characters") << "qt" << 201 << true << true << C::TooLong;
    QTest::newRow("201 characters and no lib: only the first check is reported") << "qt" << 201 << true << false
                                                                                 << C::NotAnInstallation;
    QTest::newRow("a space and 201 characters: the length is reported") << "a b" << 201 << true << true << C::TooLong;
    QTest::newRow("a space in a parent directory") << "with blank/qt" << 0 << true << true << C::NotAsciiOrSpace;
    QTest::newRow("a space at the end of the name") << "qt " << 0 << true << true << C::NotAsciiOrSpace;
    QTest::newRow("e with acute accent (U+00E9)") << QString::fromUtf8("qt-\xc3\xa9t\xc3\xa9") << 0 << true << true
                                                  << C::Accepted;
    QTest::newRow("y with diaeresis (U+00FF), the last accepted code") << QString::fromUtf8("qt\xc3\xbf") << 0 << true
                                                                       << true << C::Accepted;
    QTest::newRow("a character above U+00FF (U+0153)") << QString::fromUtf8("qt\xc5\x93uvre") << 0 << true << true
                                                       << C::NotAsciiOrSpace;
    QTest::newRow("punctuation passes") << "qt-4.8_(x86)+#!" << 0 << true << true << C::Accepted;
}

void TestQtPathCheck::checksInOrder()
{
    QFETCH(QString, relativeDir);
    QFETCH(int, length);
    QFETCH(bool, withBin);
    QFETCH(bool, withLib);
    QFETCH(QtPathCheck, expected);

    QTemporaryDir root;
    QVERIFY2(root.isValid(), qPrintable(root.errorString()));
    QString dir = root.path() + QLatin1Char('/') + relativeDir;
    // Short components keep every name within file-system limits.
    while (length - dir.size() > 60)
        dir += QLatin1Char('/') + QString(50, QLatin1Char('d'));
    if (length) {
        dir += QLatin1Char('/') + QString(length - dir.size() - 1, QLatin1Char('e'));
        QCOMPARE(dir.size(), length);
    }
    QVERIFY2(QDir().mkpath(dir), qPrintable(dir));
    QVERIFY(!withBin || QDir().mkpath(dir + QStringLiteral("/bin")));
    QVERIFY(!withLib || QDir().mkpath(dir + QStringLiteral("/lib")));

    QCOMPARE(checkQtPath(dir), expected);
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
