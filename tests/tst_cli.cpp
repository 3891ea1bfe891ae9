#include "patching/filestore.h"
#include "patching/listing.h"
#include "app/qtpathcheck.h"

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

#ifdef Q_OS_LINUX
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>

// Stand-ins for the generated installations this test was written for, taken from tests/data
// (the sample of scripts/make-sample.sh) until the test is rewritten for those files.
namespace Qt4Fixture {
struct InstallationOptions {
    bool windowsStyle = false;
};
struct FoundSlot {
    QByteArray key;
};
QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}
// The sample's qmake with its slots naming `root` (shorter than the sample's own root).
QByteArray binaryWithSlots(const QByteArray &root)
{
    const QByteArray old = "/home/builder/qt-4.8.7";
    return readFile(QStringLiteral(ZEL_TEST_DATA "/qt-4.8.7/bin/qmake")).replace(old, root + QByteArray(old.size() - root.size(), '\0'));
}
// The sample, with a real mkspecs/default directory as this test expects, and no bin/qmake for the Windows shape.
QStringList makeInstallation(const QString &dir, const InstallationOptions &options, QString *error)
{
    const QString spec = dir + QStringLiteral("/mkspecs/");
    const bool made = QProcess::execute(QStringLiteral(ZEL_MAKE_SAMPLE), {dir}) == 0 && QFile::remove(spec + QStringLiteral("default"))
                      && QDir().mkpath(spec + QStringLiteral("default"))
                      && QFile::copy(spec + QStringLiteral("linux-g++/qmake.conf"), spec + QStringLiteral("default/qmake.conf"))
                      && (!options.windowsStyle || QFile::remove(dir + QStringLiteral("/bin/qmake")));
    *error = made ? QString() : QStringLiteral("cannot make the sample in ") + dir;
    return made ? QStringList{dir} : QStringList();
}
QByteArray defaultOldRoot(bool) { return "/home/builder/qt-4.8.7"; }
QByteArray settingsKey() { return "qt_stngpath="; }
QList<FoundSlot> slotList(const QByteArray &data)
{
    QList<FoundSlot> found;
    for (qsizetype at = data.indexOf("qt_"); at >= 0; at = data.indexOf("qt_", at + 1)) {
        if (data.mid(at + 7, 5) == "path=")
            found.append({data.mid(at, 12)});
    }
    return found;
}
QMap<QByteArray, QByteArray> slotValues(const QByteArray &data)
{
    const qsizetype at = data.indexOf("qt_prfxpath=") + 12;
    return {{"qt_prfxpath=", data.mid(at, data.indexOf('\0', at) - at)}};
}
} // namespace Qt4Fixture
using Qt4Fixture::readFile;

Q_DECLARE_METATYPE(QtPathCheck)

namespace {
struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QStringList lines() const { return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    // Empty when stdout is not one JSON object.
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

// The built front end, as a script runs it: UTF-8 locale, no display.
Run runCli(const QStringList &arguments, const QString &workingDir = QString())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(ZEL_CLI_PATH), arguments);
    Run run;
    if (process.waitForStarted(-1) && process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    else
        run.err = process.errorString().toUtf8() + '\n';
    run.out = process.readAllStandardOutput();
    run.err += process.readAllStandardError();
    return run;
}

QJsonValue field(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key));
}

// Every entry below `root`, backups included: content for files, the target for links.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink())
            entries.insert(relative, "link to " + info.symLinkTarget().toUtf8());
        else
            entries.insert(relative, info.isDir() ? QByteArray("directory") : readFile(info.filePath()));
    }
    return entries;
}

QStringList relativeFiles(const QString &root, Command command)
{
    QStringList files;
    for (const ListedFile &file : commandFiles(root, command))
        files << QDir(root).relativeFilePath(file.path);
    return files;
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_temp.reset(new QTemporaryDir); }
    void cleanup() { m_temp.reset(); }
    void arguments_data();
    void arguments();
    void rejectedDirectory_data();
    void rejectedDirectory();
    void patchThenUnpatch();
    void runReportsEveryFile_data();
    void runReportsEveryFile();
    void inspectBeforeAndAfterPatch();
    void inspectReportsEveryVisitedFile();
    void reportThatCannotBeWrittenFails();

private:
    // A generated installation at <this test's temporary directory>/qt; empty on failure, with m_error set.
    QString newInstallation(const Qt4Fixture::InstallationOptions &options = {})
    {
        const QString dir = m_temp->path() + QStringLiteral("/qt");
        if (!m_temp->isValid())
            m_error = m_temp->errorString();
        else if (!Qt4Fixture::makeInstallation(dir, options, &m_error).isEmpty())
            return dir;
        return QString();
    }

    QScopedPointer<QTemporaryDir> m_temp;
    QString m_error;
};

void TestCli::arguments_data()
{
    QTest::addColumn<QStringList>("arguments"); // "DIR" stands for a valid installation
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outPattern");
    QTest::addColumn<QString>("error"); // after "zel-qt-patcher-cli : "; empty: nothing on stderr

    const QString help = QStringLiteral("^Usage : zel-qt-patcher-cli \\[options\\] patch\\|unpatch\\|inspect "
                                        "REPERTOIRE\\n[\\s\\S]*--dry-run[\\s\\S]*--json[\\s\\S]*Code de sortie");
    const QString version = QStringLiteral("^zel-qt-patcher-cli ")
        + QRegularExpression::escape(QStringLiteral(ZEL_EXPECTED_VERSION)) + QStringLiteral("\\n$");
    const QString none = QStringLiteral("^$");
    const auto words = [](const char *line) { return QString::fromUtf8(line).split(QLatin1Char(' ')); };
    QTest::newRow("--help prints the French usage") << words("--help") << 0 << help << QString();
    QTest::newRow("--help wins over a command") << words("patch --help DIR") << 0 << help << QString();
    QTest::newRow("--version prints name and version") << words("--version") << 0 << version << QString();
    const auto usageError = [&](const char *name, const QStringList &arguments, const char *message) {
        QTest::newRow(name) << arguments << 2 << none << QString::fromUtf8(message);
    };
    usageError("no argument at all", QStringList(), "commande manquante : patch, unpatch ou inspect");
    usageError("an unknown command", words("repatch DIR"), "commande inconnue : « repatch »");
    usageError("a command without its directory", words("patch"), "répertoire manquant après « patch »");
    usageError("one argument too many", words("patch DIR extra"), "argument en trop : « extra »");
    usageError("an unknown option", words("--force patch DIR"), "option inconnue : --force");
    usageError("a dry run of inspect, which never writes", words("inspect --dry-run DIR"),
               "--dry-run ne s'applique qu'à patch et unpatch");
    usageError("an empty directory argument", words("patch "), "le répertoire donné est vide");
    usageError("an option given a value", words("--json=yes inspect DIR"), "l'option --json ne prend pas de valeur");
}

void TestCli::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, outPattern);
    QFETCH(QString, error);

    const QString dir = newInstallation();
    QVERIFY2(!dir.isEmpty(), qPrintable(m_error));
    const QMap<QString, QByteArray> before = snapshot(dir);
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DIR$")), dir);

    const Run run = runCli(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QRegularExpression(outPattern).match(QString::fromUtf8(run.out)).hasMatch(), run.out.constData());
    const QString err = QString::fromUtf8(run.err);
    if (error.isEmpty()) {
        QVERIFY2(err.isEmpty(), qPrintable(err));
    } else {
        QVERIFY2(err.startsWith(QStringLiteral("zel-qt-patcher-cli : ") + error), qPrintable(err));
        QVERIFY2(err.endsWith(QStringLiteral("Essayez « zel-qt-patcher-cli --help ».\n")), qPrintable(err));
    }
    QVERIFY(snapshot(dir) == before);
}

void TestCli::rejectedDirectory_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("relativeDir"); // below the temporary directory; LONG: 201 characters in all
    QTest::addColumn<QtPathCheck>("failed");
    QTest::addColumn<QString>("check");

    QTest::newRow("patch: a directory with bin but no lib") << QStringLiteral("patch") << QStringLiteral("nolib/qt")
                                                            << QtPathCheck::NotAnInstallation << "not-an-installation";
    QTest::newRow("inspect: a path of 201 characters") << QStringLiteral("inspect") << QStringLiteral("LONG")
                                                       << QtPathCheck::TooLong << "too-long";
    QTest::newRow("unpatch: a space in a parent directory") << QStringLiteral("unpatch") << QStringLiteral("with blank/qt")
                                                            << QtPathCheck::NotAsciiOrSpace << "not-ascii-or-space";
}

void TestCli::rejectedDirectory()
{
    QFETCH(QString, command);
    QFETCH(QString, relativeDir);
    QFETCH(QtPathCheck, failed);
    QFETCH(QString, check);
    const QString message = qtPathCheckMessage(failed);

    QVERIFY2(m_temp->isValid(), qPrintable(m_temp->errorString()));
    if (relativeDir == QLatin1String("LONG"))
        relativeDir = QString(200 - m_temp->path().size(), QLatin1Char('q'));
    const QString dir = m_temp->path() + QLatin1Char('/') + relativeDir;
    QVERIFY2(QDir().mkpath(dir + QStringLiteral("/bin")), qPrintable(dir));
    QVERIFY(relativeDir.startsWith(QLatin1String("nolib")) || QDir().mkpath(dir + QStringLiteral("/lib")));
    QVERIFY(Qt4Fixture::writeFile(dir + QStringLiteral("/bin/qmake"), Qt4Fixture::binaryWithSlots("/old/qt")));
    const QMap<QString, QByteArray> before = snapshot(m_temp->path());

    // The window's message on stderr; with --json, the same rejection on stdout too.
    const Run text = runCli({command, dir});
    const Run json = runCli({command, QStringLiteral("--json"), dir});
    for (const Run &run : {text, json}) {
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(QString::fromUtf8(run.err), dir + QStringLiteral(" : ") + message + QLatin1Char('\n'));
    }
    QVERIFY2(text.out.isEmpty(), text.out.constData());
    QVERIFY(snapshot(m_temp->path()) == before);
    const QJsonObject report = json.json();
    QCOMPARE(field(report, "command").toString(), command);
    QCOMPARE(field(report, "qtPath").toString(), dir);
    QCOMPARE(field(field(report, "error").toObject(), "check").toString(), check);
    QCOMPARE(field(field(report, "error").toObject(), "message").toString(), message);
    QVERIFY(!report.contains(QStringLiteral("files")));
}

void TestCli::patchThenUnpatch()
{
    QString dir = newInstallation();
    QVERIFY2(!dir.isEmpty(), qPrintable(m_error));
    dir = QFileInfo(dir).canonicalFilePath();
    const QString base = QFileInfo(dir).path();
    QVERIFY(QDir().mkpath(base + QStringLiteral("/other")));
    QVERIFY(QFile::remove(dir + QStringLiteral("/.qmake.cache")));
    const QMap<QString, QByteArray> pristine = snapshot(dir);

    // DIR as typed in a script: relative, through "." and "..", doubled and trailing slashes.
    const QString argument = QStringLiteral("./other/..//qt/");
    const Run patch = runCli({QStringLiteral("patch"), argument}, base);
    QVERIFY2(patch.exitCode == 0 && patch.err.isEmpty(), patch.err.constData());
    QCOMPARE(patch.lines(), QStringList({QStringLiteral("bin/qmake : modifié"),
                                         QStringLiteral("lib/libQtCore.la : laissé tel quel (déjà à jour)"),
                                         QStringLiteral("lib/libQtCore.so : modifié"),
                                         QStringLiteral("mkspecs/default/qmake.conf : modifié"),
                                         QStringLiteral(".qmake.cache : laissé tel quel (fichier absent)"),
                                         QStringLiteral("Patch terminé : 3 fichiers modifiés, 2 laissés tels quels, "
                                                        "aucun échec.")}));
    // The workers were handed the clean DIR.
    QCOMPARE(Qt4Fixture::slotValues(readFile(dir + QStringLiteral("/bin/qmake"))).value("qt_prfxpath="),
             dir.toLocal8Bit());

    const Run unpatch = runCli({QStringLiteral("unpatch"), argument}, base);
    QVERIFY2(unpatch.exitCode == 0 && unpatch.err.isEmpty(), unpatch.err.constData());
    QCOMPARE(unpatch.lines(), QStringList({QStringLiteral("bin/qmake : restauré"),
                                           QStringLiteral("lib/libQtCore.la : laissé tel quel (déjà à jour)"),
                                           QStringLiteral("lib/libQtCore.so : restauré"),
                                           QStringLiteral("mkspecs/default/qmake.conf : restauré"),
                                           QStringLiteral(".qmake.cache : laissé tel quel (aucune sauvegarde)"),
                                           QStringLiteral("Restauration terminée : 3 fichiers restaurés, 2 laissés "
                                                          "tels quels, aucun échec.")}));
    // Every byte and every link as before the patch; the backups stay.
    QMap<QString, QByteArray> restored = snapshot(dir);
    QVERIFY(restored.contains(QStringLiteral("mkspecs/default/qmake.conf.back")));
    for (const QString &backup : restored.keys().filter(QRegularExpression(QStringLiteral("\\.back$"))))
        restored.remove(backup);
    QVERIFY(restored == pristine);
}

void TestCli::runReportsEveryFile_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<bool>("patchedFirst");
    QTest::addColumn<QString>("blockedBackup"); // a directory is made where this backup belongs
    QTest::addColumn<QString>("summary");

    const QString patch = QStringLiteral("patch");
    const QString unpatch = QStringLiteral("unpatch");
    const QString qmakeBackup = QStringLiteral("bin/qmake.back");
    QTest::newRow("dry-run unpatch of a patched installation") << unpatch << true << true << QString()
        << QStringLiteral("Simulation de la restauration, rien n'a été écrit : 4 fichiers seraient restaurés, "
                          "1 laissé tel quel, aucun échec.");
    QTest::newRow("dry-run patch foreseeing a directory where the qmake backup belongs")
        << patch << true << false << qmakeBackup
        << QStringLiteral("Simulation du patch, rien n'a été écrit : 3 fichiers seraient modifiés, 1 laissé tel quel, "
                          "1 échouerait.");
    QTest::newRow("patch meeting a directory where the qmake backup belongs") << patch << false << false << qmakeBackup
        << QStringLiteral("Patch terminé avec des échecs : 3 fichiers modifiés, 1 laissé tel quel, 1 échec.");
    QTest::newRow("unpatch meeting a directory where the qmake.conf backup belongs")
        << unpatch << false << true << QStringLiteral("mkspecs/default/qmake.conf.back")
        << QStringLiteral("Restauration terminée avec des échecs : 3 fichiers restaurés, 1 laissé tel quel, 1 échec.");
}

void TestCli::runReportsEveryFile()
{
    QFETCH(QString, command);
    QFETCH(bool, dryRun);
    QFETCH(bool, patchedFirst);
    QFETCH(QString, blockedBackup);
    QFETCH(QString, summary);

    const QString dir = newInstallation();
    QVERIFY2(!dir.isEmpty(), qPrintable(m_error));
    if (patchedFirst) {
        const Run first = runCli({QStringLiteral("patch"), dir});
        QVERIFY2(first.exitCode == 0, first.out + first.err);
    }
    if (!blockedBackup.isEmpty()) {
        QVERIFY(!patchedFirst || QFile::remove(dir + QLatin1Char('/') + blockedBackup));
        QVERIFY(QDir().mkpath(dir + QLatin1Char('/') + blockedBackup));
    }
    const QMap<QString, QByteArray> before = snapshot(dir);
    const QString failedFile = blockedBackup.left(blockedBackup.size() - 5);

    // A dry run writes nothing, so its French and its JSON report see the same installation.
    QStringList arguments{command, dir};
    if (dryRun)
        arguments << QStringLiteral("--dry-run");
    const Run text = runCli(arguments);
    const Run json = dryRun ? runCli(arguments + QStringList{QStringLiteral("--json")}) : Run();
    const int exitCode = failedFile.isEmpty() ? 0 : 1;
    QCOMPARE(text.exitCode, exitCode);
    const QMap<QString, QByteArray> after = snapshot(dir);
    QCOMPARE(after.value(failedFile), before.value(failedFile));
    if (dryRun) {
        QCOMPARE(json.exitCode, exitCode);
        QVERIFY(after == before); // not a byte, not a backup
    }

    // Every file has its line, in the command's order, even after a failure; then the summary.
    const QStringList files = relativeFiles(dir, command == QLatin1String("patch") ? Command::Patch : Command::Unpatch);
    QStringList lines = text.lines();
    QCOMPARE(lines.takeLast(), summary);
    QCOMPARE(lines.size(), files.size());
    const QJsonArray reported = field(json.json(), "files").toArray();
    QCOMPARE(reported.size(), dryRun ? files.size() : 0);
    const QString changedWords = (dryRun ? QStringLiteral("serait ") : QString())
        + (command == QLatin1String("patch") ? QStringLiteral("modifié") : QStringLiteral("restauré"));
    const QString failedWords = dryRun ? QStringLiteral("échouerait : ") : QStringLiteral("échec : ");
    for (int i = 0; i < files.size(); ++i) {
        const QString head = files.at(i) + QStringLiteral(" : ");
        const QString line = lines.at(i);
        const bool changed = line == head + changedWords;
        if (files.at(i) == failedFile)
            QVERIFY2(line.startsWith(head + failedWords) && !line.endsWith(failedWords), qPrintable(line));
        else
            QVERIFY2(changed || line.startsWith(head + QStringLiteral("laissé tel quel (")), qPrintable(line));
        if (!dryRun)
            continue;
        const QJsonObject file = reported.at(i).toObject();
        QCOMPARE(field(file, "file").toString(), files.at(i));
        const QString status = files.at(i) == failedFile ? QStringLiteral("failed")
            : changed                                     ? QStringLiteral("changed")
                                                          : QStringLiteral("left-alone");
        QCOMPARE(field(file, "status").toString(), status);
    }
    if (dryRun)
        QCOMPARE(field(json.json(), "message").toString(), summary);
}

void TestCli::inspectBeforeAndAfterPatch()
{
    const QString dir = newInstallation();
    QVERIFY2(!dir.isEmpty(), qPrintable(m_error));
    const QString oldRoot = QString::fromLocal8Bit(Qt4Fixture::defaultOldRoot(false));
    const auto rewritten = [](const Qt4Fixture::FoundSlot &slot) { return slot.key != Qt4Fixture::settingsKey(); };

    for (const bool patched : {false, true}) {
        if (patched) {
            const Run patch = runCli({QStringLiteral("patch"), dir});
            QVERIFY2(patch.exitCode == 0, patch.out + patch.err);
        }
        const QMap<QString, QByteArray> before = snapshot(dir);
        const Run text = runCli({QStringLiteral("inspect"), dir});
        const Run json = runCli({QStringLiteral("inspect"), QStringLiteral("--json"), dir});
        QVERIFY2(text.exitCode == 0 && json.exitCode == 0, text.err + json.err);
        QVERIFY(snapshot(dir) == before);
        const QStringList lines = text.lines();
        const QJsonObject report = json.json();

        // The old root is the build directory, read from the backup once there is one.
        const QString rootFile = patched ? QStringLiteral("bin/qmake.back") : QStringLiteral("bin/qmake");
        const QJsonObject old = field(report, "oldRoot").toObject();
        QCOMPARE(field(old, "value").toString(), oldRoot);
        QCOMPARE(field(old, "file").toString(), rootFile);
        QCOMPARE(field(old, "fromBackup").toBool(), patched);
        QCOMPARE(lines.at(0), QStringLiteral("Installation : ") + dir);
        QCOMPARE(lines.at(1),
                 QStringLiteral("Ancienne racine : %1 (lue dans %2, qt_prfxpath=)").arg(oldRoot, rootFile));
        QCOMPARE(lines.at(2), QStringLiteral("bin/qmake (binaire, patch et unpatch) : fichier présent, ")
                                  + (patched ? QStringLiteral("sauvegarde présente, nomme déjà le répertoire")
                                             : QStringLiteral("pas de sauvegarde, ne nomme pas le répertoire")));

        // Each file and backup as on disk: every slot at its offset, every assignment naming the root it
        // holds; the French report shows the same.
        const QJsonArray files = field(report, "files").toArray();
        QCOMPARE(files.size(), relativeFiles(dir, Command::Unpatch).size());
        for (const QJsonValue &value : files) {
            const QJsonObject file = value.toObject();
            for (const bool inBackup : {false, true}) {
                const QJsonObject content = inBackup ? field(file, "backup").toObject() : file;
                const QString path = field(file, "path").toString() + (inBackup ? QStringLiteral(".back") : QString());
                const QString where = inBackup ? QStringLiteral("  sauvegarde") : QStringLiteral("  fichier");
                const bool namesDir = patched && !inBackup;
                QCOMPARE(field(content, "exists").toBool(), QFileInfo::exists(path));
                const QByteArray data = readFile(path);
                const QList<Qt4Fixture::FoundSlot> found = Qt4Fixture::slotList(data);
                const QJsonArray slotArray = field(content, "slots").toArray();
                QCOMPARE(slotArray.size(), int(std::count_if(found.cbegin(), found.cend(), rewritten)));
                for (const QJsonValue &slotValue : slotArray) {
                    const QJsonObject slot = slotValue.toObject();
                    const QString record = field(slot, "key").toString() + field(slot, "value").toString();
                    const qint64 offset = qint64(field(slot, "offset").toDouble());
                    QCOMPARE(data.mid(offset, record.size() + 1), record.toLocal8Bit() + '\0');
                    QCOMPARE(field(slot, "namesRoot").toBool(), namesDir);
                    const QString line = QStringLiteral("%1 : %2 (position %3, place %4 octets)")
                                             .arg(where, record)
                                             .arg(offset)
                                             .arg(field(slot, "room").toInt());
                    QVERIFY2(lines.contains(line), qPrintable(line));
                }
                const QJsonArray assignments = field(content, "assignments").toArray();
                for (const QJsonValue &assignmentValue : assignments) {
                    const QJsonObject assignment = assignmentValue.toObject();
                    const QString written =
                        field(assignment, "key").toString() + QLatin1Char('=') + field(assignment, "value").toString();
                    QVERIFY2(written.contains(namesDir ? dir : oldRoot), qPrintable(written));
                    QCOMPARE(field(assignment, "namesRoot").toBool(), namesDir);
                    const QString line = QStringLiteral("%1, ligne %2 : %3")
                                             .arg(where)
                                             .arg(field(assignment, "line").toInt())
                                             .arg(written);
                    QVERIFY2(lines.contains(line), qPrintable(line));
                }
                if (!slotArray.isEmpty() || !assignments.isEmpty())
                    QCOMPARE(field(content, "namesRoot").toBool(), namesDir);
            }
        }
        // libQtCore.la holds no path, so it never names the directory.
        QCOMPARE(lines.last(), patched ? QStringLiteral("Inspection : 5 fichiers visités, 5 présents, 5 sauvegardes, "
                                                        "4 nommant déjà le répertoire.")
                                       : QStringLiteral("Inspection : 5 fichiers visités, 5 présents, 0 sauvegarde, "
                                                        "0 nommant déjà le répertoire."));
        QCOMPARE(field(report, "message").toString(), lines.last());
    }
}

void TestCli::inspectReportsEveryVisitedFile()
{
    Qt4Fixture::InstallationOptions options;
    options.windowsStyle = true;
    const QString dir = newInstallation(options);
    QVERIFY2(!dir.isEmpty(), qPrintable(m_error));
    // Only unpatch visits this name in bin; a directory named like qmake is listed too.
    const QString dll = dir + QStringLiteral("/bin/libQtCore4.dll");
    QVERIFY(Qt4Fixture::writeFile(dll, Qt4Fixture::binaryWithSlots("C:/old")));
    QVERIFY(Qt4Fixture::writeFile(dll + QStringLiteral(".back"), Qt4Fixture::binaryWithSlots("C:/older")));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin/qmake")));
    // A sparse file just past what the engine loads: no disk space used, and root cannot read it either.
    QFile huge(dir + QStringLiteral("/.qmake.cache"));
    QVERIFY2(huge.open(QIODevice::ReadWrite), qPrintable(huge.errorString()));
    if (!huge.resize(maxLoadableFileSize() + 1))
        QSKIP(qPrintable(QStringLiteral("no sparse file of that size here: ") + huge.errorString()));
    huge.close();

    const Run text = runCli({QStringLiteral("inspect"), dir});
    const Run json = runCli({QStringLiteral("inspect"), QStringLiteral("--json"), dir});
    QVERIFY(text.exitCode == 1 && json.exitCode == 1);
    const QStringList lines = text.lines();
    QVERIFY2(lines.contains(QStringLiteral("  fichier illisible : fichier trop volumineux pour être chargé en mémoire")),
             text.out.constData());
    QVERIFY2(lines.last().endsWith(QStringLiteral(", 1 illisible.")), qPrintable(lines.last()));
    const QJsonObject report = json.json();
    QCOMPARE(field(field(report, "summary").toObject(), "unreadable").toInt(), 1);
    QStringList byPatch, byUnpatch;
    for (const QJsonValue &value : field(report, "files").toArray()) {
        const QString name = field(value.toObject(), "file").toString();
        const QJsonArray visitors = field(value.toObject(), "visitedBy").toArray();
        if (visitors.contains(QStringLiteral("patch")))
            byPatch << name;
        if (visitors.contains(QStringLiteral("unpatch")))
            byUnpatch << name;
        QCOMPARE(field(value.toObject(), "error").toString().isEmpty(), name != QLatin1String(".qmake.cache"));
        if (name == QLatin1String("bin/qmake"))
            QCOMPARE(field(value.toObject(), "entry").toString(), QStringLiteral("directory"));
    }
    QCOMPARE(byPatch, relativeFiles(dir, Command::Patch));
    QCOMPARE(byUnpatch, relativeFiles(dir, Command::Unpatch)); // each file once, in the command's order
    QCOMPARE(field(report, "files").toArray().size(), byUnpatch.size());
    QVERIFY(!byPatch.contains(QStringLiteral("bin/libQtCore4.dll")));
    // The build's root, from the first binary with a slot (qmake is a directory here).
    const QJsonObject old = field(report, "oldRoot").toObject();
    QCOMPARE(field(old, "file").toString(), QStringLiteral("bin/libQtCore4.dll.back"));
    QCOMPARE(field(old, "value").toString(), QStringLiteral("C:/older"));
}

void TestCli::reportThatCannotBeWrittenFails()
{
#ifdef Q_OS_LINUX
    const QString dir = newInstallation();
    QVERIFY2(!dir.isEmpty(), qPrintable(m_error));
    // /dev/full refuses every write, as a full disk behind a redirection would, even for root.
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(ZEL_CLI_PATH), {QStringLiteral("--json"), QStringLiteral("inspect"), dir});
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("le rapport n'a pas pu être écrit")));

    // A reader that has gone away (`| head -1`) must not stop a patch half-way through the
    // installation: the front end writes into a pipe whose reading end is already closed.
    int ends[2];
    QVERIFY(::pipe(ends) == 0);
    ::close(ends[0]);
    const QByteArray program = QByteArrayLiteral(ZEL_CLI_PATH);
    const QByteArray dirBytes = QFile::encodeName(dir);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::dup2(ends[1], 1);
        ::execl(program.constData(), program.constData(), "patch", dirBytes.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(ends[1]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the front end was killed");
    QCOMPARE(WEXITSTATUS(status), 1);
    for (const char *last : {"/mkspecs/default/qmake.conf.back", "/.qmake.cache.back"})
        QVERIFY2(QFileInfo::exists(dir + QLatin1String(last)), last);
#else
    QSKIP("needs /dev/full");
#endif
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
