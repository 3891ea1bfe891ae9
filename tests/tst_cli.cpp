#include "patching/listing.h"
#include "patching/filestore.h"
#include "faultinjection.h"
#include "qt4fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The built front end, run as a user would run it, on generated installations.
class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void helpAndVersion_data();
    void helpAndVersion();
    void usageErrorsWriteNothing_data();
    void usageErrorsWriteNothing();
    void rejectedDirectory_data();
    void rejectedDirectory();
    void rejectedDirectoryAsJson();
    void directoryArgumentIsMadeAbsolute_data();
    void directoryArgumentIsMadeAbsolute();
    void patchThenUnpatch();
    void patchReportsEachFileInCommandOrder();
    void dryRunWritesNothing_data();
    void dryRunWritesNothing();
    void jsonMatchesFilesOnDisk();
    void failedFileGivesExitOne_data();
    void failedFileGivesExitOne();
    void fileSizeLimitFailsBinariesAndKeepsThem();
    void inspectBeforeAndAfterPatch();
    void inspectTextReport();
    void oldRootRecordedByTheInstallation_data();
    void oldRootRecordedByTheInstallation();
    void inspectVisitsBothCommandsFiles();
    void inspectReportsUnreadableFile();

private:
    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    // Runs the front end and waits for it; `workingDir` empty: the test's own.
    static Run runCli(const QStringList &arguments, const QString &workingDir = QString());
    static QJsonObject parseJson(const QByteArray &bytes, QString *error);
    // Every entry below `root` (backups included): content for files, the target for links.
    static QMap<QString, QByteArray> snapshot(const QString &root);
    static QMap<QString, QByteArray> withoutBackups(QMap<QString, QByteArray> entries);
    static QString relativeTo(const QString &root, const QString &path);
    static QStringList relativeFiles(const QString &root, Command command);
    static QByteArray readAll(const QString &path);
    // Slots of the keys the tool rewrites, as an independent reader finds them.
    static int patchedKeySlotCount(const QByteArray &data);
};

TestCli::Run TestCli::runCli(const QStringList &arguments, const QString &workingDir)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Arguments and output are UTF-8 whatever locale the test runs under.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // No display: the front end must not need one.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(ZEL_CLI_PATH), arguments);
    Run run;
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit) {
        run.err = process.errorString().toUtf8() + '\n' + process.readAllStandardError();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QJsonObject TestCli::parseJson(const QByteArray &bytes, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = parseError.errorString() + QStringLiteral(" in: ") + QString::fromUtf8(bytes.left(400));
        return QJsonObject();
    }
    return document.object();
}

QMap<QString, QByteArray> TestCli::snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = relativeTo(root, info.filePath());
        if (info.isSymLink())
            entries.insert(relative, "link to " + info.symLinkTarget().toUtf8());
        else if (info.isDir())
            entries.insert(relative, "directory");
        else
            entries.insert(relative, readAll(info.filePath()));
    }
    return entries;
}

QMap<QString, QByteArray> TestCli::withoutBackups(QMap<QString, QByteArray> entries)
{
    for (auto it = entries.begin(); it != entries.end();) {
        if (it.key().endsWith(QLatin1String(".back")))
            it = entries.erase(it);
        else
            ++it;
    }
    return entries;
}

QString TestCli::relativeTo(const QString &root, const QString &path)
{
    return QDir(root).relativeFilePath(path);
}

QStringList TestCli::relativeFiles(const QString &root, Command command)
{
    QStringList files;
    for (const ListedFile &file : commandFiles(root, command))
        files << relativeTo(root, file.path);
    return files;
}

QByteArray TestCli::readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("unreadable: ") + file.errorString().toUtf8();
    return file.readAll();
}

int TestCli::patchedKeySlotCount(const QByteArray &data)
{
    int count = 0;
    for (const Qt4Fixture::FoundSlot &slot : Qt4Fixture::slotList(data)) {
        if (slot.key != Qt4Fixture::settingsKey())
            ++count;
    }
    return count;
}

void TestCli::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expectedPattern");

    const QString help = QStringLiteral("^Usage : zel-qt-patcher-cli \\[options\\] patch\\|unpatch\\|inspect REPERTOIRE\\n"
                                        "[\\s\\S]*--dry-run[\\s\\S]*--json[\\s\\S]*Code de sortie");
    const QString version = QStringLiteral("^zel-qt-patcher-cli ") + QRegularExpression::escape(QStringLiteral(ZEL_EXPECTED_VERSION))
        + QStringLiteral("\\n$");
    QTest::newRow("--help prints the French usage") << QStringList{QStringLiteral("--help")} << help;
    QTest::newRow("-h is the same") << QStringList{QStringLiteral("-h")} << help;
    QTest::newRow("--help wins over a command") << QStringList{QStringLiteral("patch"), QStringLiteral("--help")} << help;
    QTest::newRow("--version prints name and version") << QStringList{QStringLiteral("--version")} << version;
    QTest::newRow("-v is the same") << QStringList{QStringLiteral("-v")} << version;
}

void TestCli::helpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expectedPattern);

    const Run run = runCli(arguments);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(QRegularExpression(expectedPattern).match(out).hasMatch(), qPrintable(out));
}

void TestCli::usageErrorsWriteNothing_data()
{
    QTest::addColumn<QStringList>("arguments"); // "DIR" stands for a valid installation
    QTest::addColumn<QString>("expectedMessage");

    const QString dir = QStringLiteral("DIR");
    QTest::newRow("no argument at all") << QStringList{} << QStringLiteral("commande manquante : patch, unpatch ou inspect");
    QTest::newRow("an unknown command") << QStringList{QStringLiteral("repatch"), dir}
                                        << QStringLiteral("commande inconnue : « repatch »");
    QTest::newRow("a command without its directory") << QStringList{QStringLiteral("patch")}
                                                     << QStringLiteral("répertoire manquant après « patch »");
    QTest::newRow("one argument too many") << QStringList{QStringLiteral("patch"), dir, QStringLiteral("extra")}
                                           << QStringLiteral("argument en trop : « extra »");
    QTest::newRow("an unknown long option") << QStringList{QStringLiteral("--force"), QStringLiteral("patch"), dir}
                                            << QStringLiteral("option inconnue : --force");
    QTest::newRow("an unknown short option") << QStringList{QStringLiteral("patch"), QStringLiteral("-x"), dir}
                                             << QStringLiteral("option inconnue : -x");
    QTest::newRow("a dry run of inspect, which never writes")
        << QStringList{QStringLiteral("inspect"), QStringLiteral("--dry-run"), dir}
        << QStringLiteral("--dry-run ne s'applique qu'à patch et unpatch");
    QTest::newRow("an empty directory argument") << QStringList{QStringLiteral("patch"), QString()}
                                                 << QStringLiteral("le répertoire donné est vide");
}

void TestCli::usageErrorsWriteNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expectedMessage);

    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    const QMap<QString, QByteArray> before = snapshot(dir);
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DIR$")), dir);

    const Run run = runCli(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.startsWith(QStringLiteral("zel-qt-patcher-cli : ") + expectedMessage), qPrintable(err));
    QVERIFY2(err.endsWith(QStringLiteral("Essayez « zel-qt-patcher-cli --help ».\n")), qPrintable(err));
    QVERIFY(snapshot(dir) == before);
}

void TestCli::rejectedDirectory_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("relativeDir"); // below the temporary root; "#201": 201 characters in all
    QTest::addColumn<bool>("withLib");
    QTest::addColumn<QString>("expectedMessage");

    const QString notQt = QStringLiteral("le repertoire ne contient pas de version de Qt.");
    const QString tooLong = QString::fromUtf8("Le chemin du repertoire ne doit pas d\xc3\xa9passer 200 caract\xc3\xa8res.");
    const QString ascii = QString::fromUtf8(
        "le repertoire qt doit \xc3\xaatre exclusivement compos?de caract\xc3\xa8re ASCII et sans espace.");
    for (const QString &command : {QStringLiteral("patch"), QStringLiteral("unpatch"), QStringLiteral("inspect")}) {
        const QByteArray prefix = command.toUtf8() + ": ";
        QTest::newRow(prefix + "a directory with bin but no lib") << command << QStringLiteral("qt") << false << notQt;
        QTest::newRow(prefix + "a directory that does not exist") << command << QStringLiteral("nowhere/qt") << true
                                                                   << notQt;
        QTest::newRow(prefix + "a path of 201 characters") << command << QStringLiteral("#201") << true << tooLong;
        QTest::newRow(prefix + "a space in a parent directory") << command << QStringLiteral("with blank/qt") << true
                                                                << ascii;
        QTest::newRow(prefix + "a character above U+00FF")
            << command << QString::fromUtf8("qt\xc5\x93uvre") << true << ascii;
    }
}

void TestCli::rejectedDirectory()
{
    QFETCH(QString, command);
    QFETCH(QString, relativeDir);
    QFETCH(bool, withLib);
    QFETCH(QString, expectedMessage);

    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    QString dir = temp.path();
    if (relativeDir.startsWith(QLatin1Char('#'))) {
        const int length = relativeDir.mid(1).toInt();
        while (dir.size() < length - 51)
            dir += QLatin1Char('/') + QString(40, QLatin1Char('d'));
        dir += QLatin1Char('/') + QString(length - dir.size() - 1, QLatin1Char('q'));
        QCOMPARE(dir.size(), length);
    } else {
        dir += QLatin1Char('/') + relativeDir;
    }
    if (!relativeDir.startsWith(QLatin1String("nowhere"))) {
        QVERIFY2(QDir().mkpath(dir + QStringLiteral("/bin")), qPrintable(dir));
        if (withLib)
            QVERIFY(QDir().mkpath(dir + QStringLiteral("/lib")));
        QVERIFY(Qt4Fixture::writeFile(dir + QStringLiteral("/bin/qmake"), Qt4Fixture::binaryWithSlots("/old/qt")));
    }
    const QMap<QString, QByteArray> before = snapshot(temp.path());

    const Run run = runCli({command, dir});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    QCOMPARE(QString::fromUtf8(run.err), dir + QStringLiteral(" : ") + expectedMessage + QLatin1Char('\n'));
    QVERIFY(snapshot(temp.path()) == before);
}

void TestCli::rejectedDirectoryAsJson()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/with blank/qt");
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin")));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/lib")));

    const Run run = runCli({QStringLiteral("patch"), QStringLiteral("--json"), dir});
    QCOMPARE(run.exitCode, 2);
    const QString message = QString::fromUtf8(
        "le repertoire qt doit \xc3\xaatre exclusivement compos?de caract\xc3\xa8re ASCII et sans espace.");
    QCOMPARE(QString::fromUtf8(run.err), dir + QStringLiteral(" : ") + message + QLatin1Char('\n'));
    QString error;
    const QJsonObject report = parseJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(report.value(QStringLiteral("command")).toString(), QStringLiteral("patch"));
    QCOMPARE(report.value(QStringLiteral("qtPath")).toString(), dir);
    const QJsonObject rejection = report.value(QStringLiteral("error")).toObject();
    QCOMPARE(rejection.value(QStringLiteral("check")).toString(), QStringLiteral("not-ascii-or-space"));
    QCOMPARE(rejection.value(QStringLiteral("message")).toString(), message);
    QVERIFY(!report.contains(QStringLiteral("files")));
}

void TestCli::directoryArgumentIsMadeAbsolute_data()
{
    QTest::addColumn<QString>("argument");

    QTest::newRow("a relative name") << QStringLiteral("qt");
    QTest::newRow("a relative name with a trailing slash") << QStringLiteral("qt/");
    QTest::newRow("a path through . and ..") << QStringLiteral("./other/../qt");
    QTest::newRow("an absolute path with doubled and trailing slashes") << QStringLiteral("ABS//qt//");
}

void TestCli::directoryArgumentIsMadeAbsolute()
{
    QFETCH(QString, argument);

    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString base = QFileInfo(temp.path()).canonicalFilePath();
    const QString dir = base + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    QVERIFY(QDir().mkpath(base + QStringLiteral("/other")));
    argument.replace(QStringLiteral("ABS"), base);

    const Run run = runCli({QStringLiteral("patch"), QStringLiteral("--json"), argument}, base);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QJsonObject report = parseJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(report.value(QStringLiteral("qtPath")).toString(), dir);
    // The workers received the clean root: qmake now names it.
    const QMap<QByteArray, QByteArray> values = Qt4Fixture::slotValues(readAll(dir + QStringLiteral("/bin/qmake")));
    QCOMPARE(values.value("qt_prfxpath="), dir.toLocal8Bit());
}

void TestCli::patchThenUnpatch()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/moved-qt");
    const Qt4Fixture::InstallationOptions options;
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    const QByteArray oldRoot = Qt4Fixture::defaultOldRoot(false);
    const QByteArray newRoot = dir.toLocal8Bit();
    const QMap<QString, QByteArray> pristine = snapshot(dir);

    // Contents as the workers will read them, links followed.
    QMap<QString, QByteArray> originals;
    for (const ListedFile &file : commandFiles(dir, Command::Patch))
        originals.insert(file.path, readAll(file.path));

    const Run patch = runCli({QStringLiteral("patch"), dir});
    QVERIFY2(patch.exitCode == 0, patch.out + patch.err);
    QVERIFY2(patch.err.isEmpty(), patch.err.constData());

    for (const ListedFile &file : commandFiles(dir, Command::Patch)) {
        const QByteArray original = originals.value(file.path);
        QCOMPARE(readAll(file.path + QStringLiteral(".back")), original);
        if (file.kind == FileKind::Text)
            continue;
        const QByteArray patched = readAll(file.path);
        QCOMPARE(patched.size(), original.size());
        const QMap<QByteArray, QByteArray> before = Qt4Fixture::slotValues(original);
        const QMap<QByteArray, QByteArray> after = Qt4Fixture::slotValues(patched);
        const QMap<QByteArray, QByteArray> expected = Qt4Fixture::expectedSlotValues(newRoot);
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const QByteArray want = expected.contains(it.key()) ? expected.value(it.key()) : it.value();
            QVERIFY2(after.value(it.key()) == want, qPrintable(file.path + QLatin1Char(' ') + QString::fromLatin1(it.key())));
        }
    }
    QCOMPARE(readAll(dir + QStringLiteral("/mkspecs/default/qmake.conf")),
             Qt4Fixture::patchedQmakeConf(newRoot, oldRoot, options.config));
    QCOMPARE(readAll(dir + QStringLiteral("/.qmake.cache")), Qt4Fixture::patchedQmakeCache(newRoot, oldRoot, options.config));
    QVERIFY(QFileInfo(dir + QStringLiteral("/lib/libQtCore.so")).isSymLink());

    const Run unpatch = runCli({QStringLiteral("unpatch"), dir});
    QVERIFY2(unpatch.exitCode == 0, unpatch.out + unpatch.err);
    QVERIFY2(unpatch.err.isEmpty(), unpatch.err.constData());
    const QStringList unpatchLines = QString::fromUtf8(unpatch.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(unpatchLines.last().startsWith(QStringLiteral("Restauration terminée : ")), qPrintable(unpatchLines.last()));
    QVERIFY2(unpatchLines.contains(QStringLiteral("bin/qmake : restauré")), unpatch.out.constData());

    // Every byte and every link as before the patch; the backups stay.
    const QMap<QString, QByteArray> restored = snapshot(dir);
    QVERIFY(withoutBackups(restored) == pristine);
    for (const ListedFile &file : commandFiles(dir, Command::Patch))
        QVERIFY2(restored.contains(relativeTo(dir, file.path) + QStringLiteral(".back")), qPrintable(file.path));
}

void TestCli::patchReportsEachFileInCommandOrder()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    Qt4Fixture::InstallationOptions options;
    options.windowsStyle = true;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    // A configuration file that is not there is left alone, for its ordinary reason.
    QVERIFY(QFile::remove(dir + QStringLiteral("/.qmake.cache")));

    const Run run = runCli({QStringLiteral("patch"), dir});
    QVERIFY2(run.exitCode == 0, run.out + run.err);
    QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString()); // the output ends with a line ending
    const QString summary = lines.takeLast();

    const QStringList expectedFiles = relativeFiles(dir, Command::Patch);
    QCOMPARE(lines.size(), expectedFiles.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines.at(i).startsWith(expectedFiles.at(i) + QStringLiteral(" : ")), qPrintable(lines.at(i)));
    QVERIFY(lines.contains(QStringLiteral("bin/qmake.exe : modifié")));
    QVERIFY(lines.contains(QStringLiteral("mkspecs/default/qmake.conf : modifié")));
    QCOMPARE(lines.last(), QStringLiteral(".qmake.cache : laissé tel quel (fichier absent)"));
    const int changed = lines.filter(QRegularExpression(QStringLiteral(" : modifié$"))).size();
    const int leftAlone = lines.filter(QStringLiteral(" : laissé tel quel")).size();
    QCOMPARE(changed + leftAlone, lines.size());
    QCOMPARE(summary, QStringLiteral("Patch terminé : %1 fichiers modifiés, %2, aucun échec.")
                          .arg(changed)
                          .arg(leftAlone == 1 ? QStringLiteral("1 laissé tel quel")
                                              : QStringLiteral("%1 laissés tels quels").arg(leftAlone)));
}

void TestCli::dryRunWritesNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("patchedFirst");
    QTest::addColumn<bool>("json");
    QTest::addColumn<QString>("changedWords");
    QTest::addColumn<QString>("summaryStart");

    QTest::newRow("patch of an installation never patched")
        << QStringLiteral("patch") << false << false << QStringLiteral("serait modifié")
        << QStringLiteral("Simulation du patch, rien n'a été écrit : ");
    QTest::newRow("patch of a patched installation, as JSON")
        << QStringLiteral("patch") << true << true << QString() << QString();
    QTest::newRow("unpatch of a patched installation")
        << QStringLiteral("unpatch") << true << false << QStringLiteral("serait restauré")
        << QStringLiteral("Simulation de la restauration, rien n'a été écrit : ");
    QTest::newRow("unpatch of a patched installation, as JSON")
        << QStringLiteral("unpatch") << true << true << QString() << QString();
}

void TestCli::dryRunWritesNothing()
{
    QFETCH(QString, command);
    QFETCH(bool, patchedFirst);
    QFETCH(bool, json);
    QFETCH(QString, changedWords);
    QFETCH(QString, summaryStart);

    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    if (patchedFirst) {
        // Patched for another root, so that a patch to this one would change every binary.
        const Run first = runCli({QStringLiteral("patch"), dir});
        QVERIFY2(first.exitCode == 0, first.out + first.err);
        QVERIFY(QDir().rename(dir, dir + QStringLiteral("2")));
    }
    const QString target = patchedFirst ? dir + QStringLiteral("2") : dir;
    const QMap<QString, QByteArray> before = snapshot(target);

    QStringList arguments{command, QStringLiteral("--dry-run"), target};
    if (json)
        arguments << QStringLiteral("--json");
    const Run run = runCli(arguments);
    QVERIFY2(run.exitCode == 0, run.out + run.err);
    QVERIFY(snapshot(target) == before);
    if (!patchedFirst) {
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(!it.key().endsWith(QLatin1String(".back")), qPrintable(it.key()));
    }

    const Command engineCommand = command == QLatin1String("patch") ? Command::Patch : Command::Unpatch;
    const QStringList expectedFiles = relativeFiles(target, engineCommand);
    if (json) {
        const QJsonObject report = parseJson(run.out, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(report.value(QStringLiteral("dryRun")).toBool(), true);
        const QJsonArray files = report.value(QStringLiteral("files")).toArray();
        QCOMPARE(files.size(), expectedFiles.size());
        for (int i = 0; i < files.size(); ++i) {
            const QJsonObject file = files.at(i).toObject();
            QCOMPARE(file.value(QStringLiteral("file")).toString(), expectedFiles.at(i));
        }
        // Every file with a backup would be treated: a patch rebuilds it, an unpatch restores it.
        QCOMPARE(files.first().toObject().value(QStringLiteral("status")).toString(), QStringLiteral("changed"));
        QCOMPARE(report.value(QStringLiteral("summary")).toObject().value(QStringLiteral("failed")).toInt(), 0);
    } else {
        QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.takeLast().startsWith(summaryStart), run.out.constData());
        QCOMPARE(lines.size(), expectedFiles.size());
        QCOMPARE(lines.first(), QStringLiteral("bin/qmake : ") + changedWords);
    }
}

void TestCli::jsonMatchesFilesOnDisk()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    QVERIFY(QFile::remove(dir + QStringLiteral("/mkspecs/default/qmake.conf")));
    QMap<QString, QByteArray> originals;
    for (const ListedFile &file : commandFiles(dir, Command::Patch))
        originals.insert(file.path, readAll(file.path));

    const Run run = runCli({QStringLiteral("patch"), QStringLiteral("--json"), dir});
    QVERIFY2(run.exitCode == 0, run.out + run.err);
    const QJsonObject report = parseJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(report.value(QStringLiteral("tool")).toString(), QStringLiteral("zel-qt-patcher-cli"));
    QCOMPARE(report.value(QStringLiteral("command")).toString(), QStringLiteral("patch"));
    QCOMPARE(report.value(QStringLiteral("qtPath")).toString(), dir);
    QCOMPARE(report.value(QStringLiteral("dryRun")).toBool(), false);

    const QVector<ListedFile> listed = commandFiles(dir, Command::Patch);
    const QJsonArray files = report.value(QStringLiteral("files")).toArray();
    QCOMPARE(files.size(), listed.size());
    int changed = 0;
    int leftAlone = 0;
    for (int i = 0; i < files.size(); ++i) {
        const QJsonObject file = files.at(i).toObject();
        const QString path = file.value(QStringLiteral("path")).toString();
        QCOMPARE(path, listed.at(i).path);
        QCOMPARE(file.value(QStringLiteral("file")).toString(), relativeTo(dir, path));
        QCOMPARE(file.value(QStringLiteral("kind")).toString(),
                 listed.at(i).kind == FileKind::Binary ? QStringLiteral("binary") : QStringLiteral("text"));
        const QString status = file.value(QStringLiteral("status")).toString();
        const QString reason = file.value(QStringLiteral("reason")).toString();
        const bool hasBackup = QFileInfo::exists(path + QStringLiteral(".back"));
        if (status == QLatin1String("changed")) {
            ++changed;
            QVERIFY2(hasBackup, qPrintable(path));
            QCOMPARE(readAll(path + QStringLiteral(".back")), originals.value(path));
            QVERIFY2(readAll(path) != originals.value(path) || !reason.isEmpty(), qPrintable(path));
        } else {
            QCOMPARE(status, QStringLiteral("left-alone"));
            ++leftAlone;
            QVERIFY2(!reason.isEmpty(), qPrintable(path));
            QCOMPARE(readAll(path), originals.value(path));
        }
    }
    const QJsonObject missing = files.at(files.size() - 2).toObject();
    QCOMPARE(missing.value(QStringLiteral("file")).toString(), QStringLiteral("mkspecs/default/qmake.conf"));
    QCOMPARE(missing.value(QStringLiteral("status")).toString(), QStringLiteral("left-alone"));
    QCOMPARE(missing.value(QStringLiteral("reason")).toString(), QStringLiteral("fichier absent"));
    QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/mkspecs/default/qmake.conf.back")));

    const QJsonObject summary = report.value(QStringLiteral("summary")).toObject();
    QCOMPARE(summary.value(QStringLiteral("total")).toInt(), files.size());
    QCOMPARE(summary.value(QStringLiteral("changed")).toInt(), changed);
    QCOMPARE(summary.value(QStringLiteral("leftAlone")).toInt(), leftAlone);
    QCOMPARE(summary.value(QStringLiteral("failed")).toInt(), 0);
    QVERIFY(report.value(QStringLiteral("message")).toString().startsWith(QStringLiteral("Patch terminé : ")));
}

void TestCli::failedFileGivesExitOne_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<QString>("blockedBackup"); // a directory is made where this backup belongs
    QTest::addColumn<bool>("patchedFirst");

    QTest::newRow("patch: a directory stands where the qmake backup belongs")
        << QStringLiteral("patch") << false << QStringLiteral("bin/qmake.back") << false;
    QTest::newRow("patch: a directory stands where a library backup belongs")
        << QStringLiteral("patch") << false << QStringLiteral("lib/libQtCore.la.back") << false;
    QTest::newRow("dry-run patch: the same fault is foreseen")
        << QStringLiteral("patch") << true << QStringLiteral("bin/qmake.back") << false;
    QTest::newRow("unpatch: a directory stands where the qmake.conf backup belongs")
        << QStringLiteral("unpatch") << false << QStringLiteral("mkspecs/default/qmake.conf.back") << true;
    QTest::newRow("unpatch: a directory stands where the library backup belongs")
        << QStringLiteral("unpatch") << false << QStringLiteral("lib/libQtCore.so.back") << true;
}

void TestCli::failedFileGivesExitOne()
{
    QFETCH(QString, command);
    QFETCH(bool, dryRun);
    QFETCH(QString, blockedBackup);
    QFETCH(bool, patchedFirst);

    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString failedFile = blockedBackup.left(blockedBackup.size() - 5);
    // The same fault in two installations: one run reports in French, the other as JSON.
    QMap<QString, QByteArray> before[2];
    QString dirs[2];
    for (int i = 0; i < 2; ++i) {
        dirs[i] = temp.path() + QStringLiteral("/qt") + QString::number(i);
        QString error;
        QVERIFY2(!Qt4Fixture::makeInstallation(dirs[i], {}, &error).isEmpty(), qPrintable(error));
        if (patchedFirst) {
            const Run first = runCli({QStringLiteral("patch"), dirs[i]});
            QVERIFY2(first.exitCode == 0, first.out + first.err);
            QVERIFY(QFile::remove(dirs[i] + QLatin1Char('/') + blockedBackup));
        }
        QVERIFY(QDir().mkpath(dirs[i] + QLatin1Char('/') + blockedBackup));
        before[i] = snapshot(dirs[i]);
    }

    QStringList arguments{command, dirs[0]};
    if (dryRun)
        arguments << QStringLiteral("--dry-run");
    const Run text = runCli(arguments);
    QCOMPARE(text.exitCode, 1);
    const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString failurePrefix = failedFile + (dryRun ? QStringLiteral(" : échouerait : ") : QStringLiteral(" : échec : "));
    QCOMPARE(lines.filter(failurePrefix).size(), 1);
    QVERIFY2(lines.filter(QStringLiteral(" : échec")).size() + lines.filter(QStringLiteral(" : échouerait")).size() == 1,
             text.out.constData());
    QVERIFY2(lines.last().contains(dryRun ? QStringLiteral("1 échouerait.") : QStringLiteral("1 échec.")),
             qPrintable(lines.last()));
    if (!dryRun) {
        QVERIFY2(lines.last().contains(QStringLiteral("avec des échecs")), qPrintable(lines.last()));
    }
    // The run went on after the failure: every file has its line, then the summary.
    const Command engineCommand = command == QLatin1String("patch") ? Command::Patch : Command::Unpatch;
    QCOMPARE(lines.size(), relativeFiles(dirs[0], engineCommand).size() + 1);

    arguments[1] = dirs[1];
    arguments << QStringLiteral("--json");
    const Run json = runCli(arguments);
    QCOMPARE(json.exitCode, 1);
    QString error;
    const QJsonObject report = parseJson(json.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    int failures = 0;
    for (const QJsonValue &value : report.value(QStringLiteral("files")).toArray()) {
        const QJsonObject file = value.toObject();
        if (file.value(QStringLiteral("status")).toString() != QLatin1String("failed"))
            continue;
        ++failures;
        QCOMPARE(file.value(QStringLiteral("file")).toString(), failedFile);
        QVERIFY(!file.value(QStringLiteral("reason")).toString().isEmpty());
        // The same French reason in both reports.
        QCOMPARE(lines.filter(failurePrefix).first(), failurePrefix + file.value(QStringLiteral("reason")).toString());
    }
    QCOMPARE(failures, 1);
    QCOMPARE(report.value(QStringLiteral("summary")).toObject().value(QStringLiteral("failed")).toInt(), 1);

    // The failed file is as it was, and a dry run wrote nothing at all.
    for (int i = 0; i < 2; ++i) {
        const QMap<QString, QByteArray> after = snapshot(dirs[i]);
        QCOMPARE(after.value(failedFile), before[i].value(failedFile));
        if (dryRun)
            QVERIFY(after == before[i]);
    }
}

void TestCli::fileSizeLimitFailsBinariesAndKeepsThem()
{
#ifndef Q_OS_UNIX
    QSKIP("file-size limits are a POSIX facility");
#else
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    const QMap<QString, QByteArray> pristine = snapshot(dir);

    Run run;
    {
        // Inherited by the front end: every file it writes stops at 64 KiB, root or not.
        // The generated binaries are larger, the configuration files much smaller.
        Qt4Fixture::FileSizeLimit limit(64 * 1024);
        QVERIFY2(limit.isActive(), qPrintable(limit.error()));
        run = runCli({QStringLiteral("patch"), QStringLiteral("--json"), dir});
    }
    QCOMPARE(run.exitCode, 1);
    const QJsonObject report = parseJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QMap<QString, QByteArray> after = snapshot(dir);
    for (const QJsonValue &value : report.value(QStringLiteral("files")).toArray()) {
        const QJsonObject file = value.toObject();
        const QString relative = file.value(QStringLiteral("file")).toString();
        const QString status = file.value(QStringLiteral("status")).toString();
        if (file.value(QStringLiteral("kind")).toString() == QLatin1String("text")) {
            QCOMPARE(status, QStringLiteral("changed"));
            continue;
        }
        const QString path = dir + QLatin1Char('/') + relative;
        if (QFileInfo(path).size() <= 64 * 1024)
            continue;
        QVERIFY2(status == QLatin1String("failed"), qPrintable(relative + QLatin1Char(' ') + status));
        QVERIFY(!file.value(QStringLiteral("reason")).toString().isEmpty());
        // Neither the file nor a partial backup: the file is whole, the backup absent.
        QCOMPARE(after.value(relative), pristine.value(relative));
        QVERIFY2(!after.contains(relative + QStringLiteral(".back")), qPrintable(relative));
    }
    // The library behind the links was not written through either.
    QCOMPARE(after.value(QStringLiteral("lib/libQtCore.so.4.8.7")), pristine.value(QStringLiteral("lib/libQtCore.so.4.8.7")));
    QVERIFY(report.value(QStringLiteral("summary")).toObject().value(QStringLiteral("failed")).toInt() > 0);
#endif
}

void TestCli::inspectBeforeAndAfterPatch()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    const QByteArray oldRoot = Qt4Fixture::defaultOldRoot(false);
    const QByteArray newRoot = dir.toLocal8Bit();
    const QString qmake = dir + QStringLiteral("/bin/qmake");

    for (const bool patched : {false, true}) {
        if (patched) {
            const Run patch = runCli({QStringLiteral("patch"), dir});
            QVERIFY2(patch.exitCode == 0, patch.out + patch.err);
        }
        const QMap<QString, QByteArray> before = snapshot(dir);
        const Run run = runCli({QStringLiteral("inspect"), QStringLiteral("--json"), dir});
        QVERIFY2(run.exitCode == 0, run.out + run.err);
        QVERIFY(snapshot(dir) == before);
        const QJsonObject report = parseJson(run.out, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(report.value(QStringLiteral("command")).toString(), QStringLiteral("inspect"));

        // The old root is the build directory, read from the backup once there is one.
        const QJsonObject old = report.value(QStringLiteral("oldRoot")).toObject();
        QCOMPARE(old.value(QStringLiteral("value")).toString().toLocal8Bit(), oldRoot);
        QCOMPARE(old.value(QStringLiteral("key")).toString(), QStringLiteral("qt_prfxpath="));
        QCOMPARE(old.value(QStringLiteral("fromBackup")).toBool(), patched);
        QCOMPARE(old.value(QStringLiteral("file")).toString(),
                 patched ? QStringLiteral("bin/qmake.back") : QStringLiteral("bin/qmake"));

        const QJsonArray files = report.value(QStringLiteral("files")).toArray();
        QCOMPARE(files.size(), relativeFiles(dir, Command::Unpatch).size());
        int namingRoot = 0;
        for (const QJsonValue &value : files) {
            const QJsonObject file = value.toObject();
            const QString path = file.value(QStringLiteral("path")).toString();
            const QJsonObject backup = file.value(QStringLiteral("backup")).toObject();
            QCOMPARE(file.value(QStringLiteral("exists")).toBool(), QFileInfo::exists(path));
            QCOMPARE(backup.value(QStringLiteral("exists")).toBool(), QFileInfo::exists(path + QStringLiteral(".back")));
            QCOMPARE(backup.value(QStringLiteral("exists")).toBool(), patched);
            QCOMPARE(file.value(QStringLiteral("error")).toString(), QString());
            QCOMPARE(file.value(QStringLiteral("visitedBy")).toArray(),
                     QJsonArray({QStringLiteral("patch"), QStringLiteral("unpatch")}));
            if (file.value(QStringLiteral("namesRoot")).toBool())
                ++namingRoot;

            if (file.value(QStringLiteral("kind")).toString() == QLatin1String("binary")) {
                // Each slot reported is the one on disk, at its offset.
                for (const bool inBackup : {false, true}) {
                    const QJsonObject content = inBackup ? backup : file;
                    const QByteArray data = readAll(inBackup ? path + QStringLiteral(".back") : path);
                    const QJsonArray slotArray = content.value(QStringLiteral("slots")).toArray();
                    QCOMPARE(slotArray.size(), patchedKeySlotCount(data));
                    for (const QJsonValue &slotValue : slotArray) {
                        const QJsonObject slot = slotValue.toObject();
                        const QByteArray key = slot.value(QStringLiteral("key")).toString().toLatin1();
                        const QByteArray value = slot.value(QStringLiteral("value")).toString().toLocal8Bit();
                        const qint64 offset = qint64(slot.value(QStringLiteral("offset")).toDouble());
                        QCOMPARE(data.mid(offset, key.size() + value.size() + 1), key + value + '\0');
                        const QByteArray wanted = Qt4Fixture::expectedSlotValues(newRoot).value(key);
                        QCOMPARE(slot.value(QStringLiteral("namesRoot")).toBool(), value == wanted);
                        QVERIFY(slot.value(QStringLiteral("room")).toDouble() >= key.size() + value.size() + 1);
                    }
                }
            }
        }
        // Before the patch no file names the new root; after it every file with a path does.
        const QJsonObject qmakeEntry = files.at(0).toObject();
        QCOMPARE(qmakeEntry.value(QStringLiteral("path")).toString(), qmake);
        QCOMPARE(qmakeEntry.value(QStringLiteral("namesRoot")).toBool(), patched);
        if (!patched)
            QCOMPARE(namingRoot, 0);
        const QJsonObject conf = files.at(files.size() - 2).toObject();
        QCOMPARE(conf.value(QStringLiteral("file")).toString(), QStringLiteral("mkspecs/default/qmake.conf"));
        const QJsonArray assignments = conf.value(QStringLiteral("assignments")).toArray();
        QVERIFY(!assignments.isEmpty());
        for (const QJsonValue &value : assignments) {
            const QJsonObject assignment = value.toObject();
            const QString written = assignment.value(QStringLiteral("value")).toString();
            QCOMPARE(written.contains(QString::fromLocal8Bit(patched ? newRoot : oldRoot)), true);
            QCOMPARE(assignment.value(QStringLiteral("namesRoot")).toBool(), patched);
        }
        QCOMPARE(conf.value(QStringLiteral("namesRoot")).toBool(), patched);
        const QJsonObject summary = report.value(QStringLiteral("summary")).toObject();
        QCOMPARE(summary.value(QStringLiteral("namingRoot")).toInt(), namingRoot);
        QCOMPARE(summary.value(QStringLiteral("backups")).toInt(), patched ? files.size() : 0);
    }
}

void TestCli::inspectTextReport()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    const QString oldRoot = QString::fromLocal8Bit(Qt4Fixture::defaultOldRoot(false));

    const Run before = runCli({QStringLiteral("inspect"), dir});
    QVERIFY2(before.exitCode == 0, before.out + before.err);
    QStringList lines = QString::fromUtf8(before.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.at(0), QStringLiteral("Installation : ") + dir);
    QCOMPARE(lines.at(1), QStringLiteral("Ancienne racine : ") + oldRoot + QStringLiteral(" (lue dans bin/qmake, qt_prfxpath=)"));
    QCOMPARE(lines.at(2), QStringLiteral("bin/qmake (binaire, patch et unpatch) : fichier présent, pas de sauvegarde, "
                                         "ne nomme pas le répertoire"));
    QVERIFY2(lines.at(3).startsWith(QStringLiteral("  fichier : qt_")), qPrintable(lines.at(3)));
    QVERIFY2(lines.contains(QStringLiteral("  fichier, ligne 1 : QMAKESPEC_ORIGINAL=") + oldRoot
                            + QStringLiteral("/mkspecs/linux-g++")),
             before.out.constData());
    QVERIFY2(lines.last().startsWith(QStringLiteral("Inspection : ")), qPrintable(lines.last()));
    QVERIFY2(lines.last().contains(QStringLiteral(", 0 sauvegarde, 0 nommant déjà le répertoire.")), qPrintable(lines.last()));

    const Run patch = runCli({QStringLiteral("patch"), dir});
    QVERIFY2(patch.exitCode == 0, patch.out + patch.err);
    const Run after = runCli({QStringLiteral("inspect"), dir});
    QVERIFY2(after.exitCode == 0, after.out + after.err);
    lines = QString::fromUtf8(after.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.at(1), QStringLiteral("Ancienne racine : ") + oldRoot
                              + QStringLiteral(" (lue dans bin/qmake.back, qt_prfxpath=)"));
    QCOMPARE(lines.at(2), QStringLiteral("bin/qmake (binaire, patch et unpatch) : fichier présent, sauvegarde présente, "
                                         "nomme déjà le répertoire"));
    QVERIFY(lines.contains(QStringLiteral("  fichier, ligne 1 : QMAKESPEC_ORIGINAL=") + dir
                           + QStringLiteral("/mkspecs/linux-g++")));
    QVERIFY(lines.contains(QStringLiteral("  sauvegarde, ligne 1 : QMAKESPEC_ORIGINAL=") + oldRoot
                           + QStringLiteral("/mkspecs/linux-g++")));
    QVERIFY(lines.contains(QStringLiteral("lib/libQtCore.so (binaire, patch et unpatch) : fichier présent (lien symbolique), "
                                          "sauvegarde présente, nomme déjà le répertoire")));
}

void TestCli::oldRootRecordedByTheInstallation_data()
{
    QTest::addColumn<bool>("patchedFirst");
    QTest::addColumn<bool>("withoutBinaries");
    QTest::addColumn<bool>("withoutConfiguration");
    QTest::addColumn<QString>("expectedFile"); // empty: no root recorded
    QTest::addColumn<QString>("expectedKey");

    const QString prefix = QStringLiteral("qt_prfxpath=");
    const QString tree = QStringLiteral("QT_BUILD_TREE");
    QTest::newRow("never patched: the prefix slot of qmake itself")
        << false << false << false << QStringLiteral("bin/qmake") << prefix;
    QTest::newRow("patched: the prefix slot of qmake's backup")
        << true << false << false << QStringLiteral("bin/qmake.back") << prefix;
    QTest::newRow("no binaries, never patched: the build tree of .qmake.cache")
        << false << true << false << QStringLiteral(".qmake.cache") << tree;
    QTest::newRow("no binaries, patched: the build tree of the .qmake.cache backup")
        << true << true << false << QStringLiteral(".qmake.cache.back") << tree;
    QTest::newRow("nothing left that records a root") << false << true << true << QString() << QString();
}

void TestCli::oldRootRecordedByTheInstallation()
{
    QFETCH(bool, patchedFirst);
    QFETCH(bool, withoutBinaries);
    QFETCH(bool, withoutConfiguration);
    QFETCH(QString, expectedFile);
    QFETCH(QString, expectedKey);

    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    if (patchedFirst) {
        const Run patch = runCli({QStringLiteral("patch"), dir});
        QVERIFY2(patch.exitCode == 0, patch.out + patch.err);
    }
    QStringList removed;
    if (withoutBinaries)
        removed << QStringLiteral("bin/qmake") << QStringLiteral("lib/libQtCore.so") << QStringLiteral("lib/libQtCore.la");
    if (withoutConfiguration)
        removed << QStringLiteral("mkspecs/default/qmake.conf") << QStringLiteral(".qmake.cache");
    for (const QString &relative : removed) {
        for (const QString &suffix : {QString(), QStringLiteral(".back")}) {
            const QString path = dir + QLatin1Char('/') + relative + suffix;
            if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
                QVERIFY2(QFile::remove(path), qPrintable(path));
        }
    }

    const Run run = runCli({QStringLiteral("inspect"), QStringLiteral("--json"), dir});
    QVERIFY2(run.exitCode == 0, run.out + run.err);
    const QJsonObject report = parseJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const Run text = runCli({QStringLiteral("inspect"), dir});
    QVERIFY2(text.exitCode == 0, text.out + text.err);
    const QString rootLine = QString::fromUtf8(text.out).split(QLatin1Char('\n')).value(1);

    if (expectedFile.isEmpty()) {
        QVERIFY(report.value(QStringLiteral("oldRoot")).isNull());
        QCOMPARE(rootLine, QStringLiteral("Ancienne racine : introuvable (ni qt_prfxpath= ni QT_BUILD_TREE)"));
        return;
    }
    const QJsonObject old = report.value(QStringLiteral("oldRoot")).toObject();
    QCOMPARE(old.value(QStringLiteral("file")).toString(), expectedFile);
    QCOMPARE(old.value(QStringLiteral("key")).toString(), expectedKey);
    QCOMPARE(old.value(QStringLiteral("fromBackup")).toBool(), patchedFirst);
    const QString value = old.value(QStringLiteral("value")).toString();
    // A slot holds the bare path; .qmake.cache may wrap it in qmake syntax, kept as written.
    const QString oldRoot = QString::fromLocal8Bit(Qt4Fixture::defaultOldRoot(false));
    if (expectedKey == QLatin1String("qt_prfxpath="))
        QCOMPARE(value, oldRoot);
    else
        QVERIFY2(value.contains(oldRoot) && value == value.trimmed(), qPrintable(value));
    QCOMPARE(rootLine, QStringLiteral("Ancienne racine : ") + value + QStringLiteral(" (lue dans ") + expectedFile
                           + QStringLiteral(", ") + expectedKey + QLatin1Char(')'));
}

void TestCli::inspectVisitsBothCommandsFiles()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    Qt4Fixture::InstallationOptions options;
    options.windowsStyle = true;
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    // Only the unpatch command visits this name in bin; a directory named like qmake is listed too.
    QVERIFY(Qt4Fixture::writeFile(dir + QStringLiteral("/bin/libQtCore4.dll"), Qt4Fixture::binaryWithSlots("C:/old")));
    QVERIFY(Qt4Fixture::writeFile(dir + QStringLiteral("/bin/libQtCore4.dll.back"), Qt4Fixture::binaryWithSlots("C:/older")));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin/qmake")));

    const Run run = runCli({QStringLiteral("inspect"), QStringLiteral("--json"), dir});
    QVERIFY2(run.exitCode == 0, run.out + run.err);
    const QJsonObject report = parseJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QStringList patchOrder;
    QStringList unpatchOrder;
    QStringList all;
    for (const QJsonValue &value : report.value(QStringLiteral("files")).toArray()) {
        const QJsonObject file = value.toObject();
        const QString relative = file.value(QStringLiteral("file")).toString();
        all << relative;
        const QJsonArray visitors = file.value(QStringLiteral("visitedBy")).toArray();
        if (visitors.contains(QStringLiteral("patch")))
            patchOrder << relative;
        if (visitors.contains(QStringLiteral("unpatch")))
            unpatchOrder << relative;
        if (relative == QLatin1String("bin/qmake")) {
            QCOMPARE(file.value(QStringLiteral("entry")).toString(), QStringLiteral("directory"));
            QCOMPARE(file.value(QStringLiteral("slots")).toArray().size(), 0);
        }
        if (relative == QLatin1String("bin/libQtCore4.dll")) {
            QCOMPARE(visitors, QJsonArray({QStringLiteral("unpatch")}));
            const QJsonObject backup = file.value(QStringLiteral("backup")).toObject();
            QCOMPARE(backup.value(QStringLiteral("file")).toString(), QStringLiteral("bin/libQtCore4.dll.back"));
            QCOMPARE(backup.value(QStringLiteral("slots")).toArray().first().toObject().value(QStringLiteral("value")).toString(),
                     QStringLiteral("C:/older"));
        }
    }
    QCOMPARE(patchOrder, relativeFiles(dir, Command::Patch));
    QCOMPARE(unpatchOrder, relativeFiles(dir, Command::Unpatch));
    QCOMPARE(all.size(), QSet<QString>(all.cbegin(), all.cend()).size());
    QCOMPARE(all, unpatchOrder); // here the unpatch listing holds every file of the patch listing
    // The Windows build's root, from the first binary with a slot (qmake is a directory here).
    const QJsonObject old = report.value(QStringLiteral("oldRoot")).toObject();
    QCOMPARE(old.value(QStringLiteral("file")).toString(), QStringLiteral("bin/libQtCore4.dll.back"));
    QCOMPARE(old.value(QStringLiteral("value")).toString(), QStringLiteral("C:/older"));
}

void TestCli::inspectReportsUnreadableFile()
{
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    const QString dir = temp.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(dir, {}, &error).isEmpty(), qPrintable(error));
    // A sparse file just past what the engine loads: no disk space is used, and root cannot read it either.
    const qint64 limit = maxLoadableFileSize();
    QVERIFY2(limit > 0, "the engine names no largest loadable size");
    QFile huge(dir + QStringLiteral("/lib/libQtCore.la"));
    QVERIFY2(huge.open(QIODevice::ReadWrite), qPrintable(huge.errorString()));
    if (!huge.resize(limit + 1))
        QSKIP(qPrintable(QStringLiteral("no sparse file of that size here: ") + huge.errorString()));
    huge.close();

    const Run run = runCli({QStringLiteral("inspect"), QStringLiteral("--json"), dir});
    QCOMPARE(run.exitCode, 1);
    const QJsonObject report = parseJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    int unreadable = 0;
    for (const QJsonValue &value : report.value(QStringLiteral("files")).toArray()) {
        const QJsonObject file = value.toObject();
        const QString message = file.value(QStringLiteral("error")).toString();
        if (file.value(QStringLiteral("file")).toString() == QLatin1String("lib/libQtCore.la")) {
            QCOMPARE(message, QString::fromUtf8("fichier trop volumineux pour \xc3\xaatre charg\xc3\xa9 en m\xc3\xa9moire"));
            ++unreadable;
        } else {
            QCOMPARE(message, QString());
        }
    }
    QCOMPARE(unreadable, 1);
    QCOMPARE(report.value(QStringLiteral("summary")).toObject().value(QStringLiteral("unreadable")).toInt(), 1);

    const Run text = runCli({QStringLiteral("inspect"), dir});
    QCOMPARE(text.exitCode, 1);
    QVERIFY2(text.out.contains(QString::fromUtf8("  fichier illisible : fichier trop volumineux").toUtf8()), text.out.constData());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
