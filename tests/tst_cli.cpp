#include <QtTest> // with QtCore: QProcess, QTemporaryDir, QJsonDocument

#include <unistd.h>

namespace {
// Runs a shell script with $CLI, $DATA (a pristine installation) and $DIR (its copy) set.
QByteArray shell(const QString &script, int *exitCode)
{
    QProcess process;
    // The modes a clone made with any umask gives its files are not the tests' business: the copy of the
    // installation is made writable by its owner alone (below), as an installation is.
    const QString setting = QStringLiteral("umask 022; export LC_ALL=C.UTF-8 CLI='" ZEL_CLI_PATH "' DATA='" ZEL_TEST_DATA "/metadata/qt-4.8.7'; ");
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), setting + script});
    process.waitForFinished(-1);
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

// What a script reads in a JSON report: a refused directory's check or a refused run's code, verify's method and why, how a
// qmake that ran failed, the old roots, each file's status (verify: those not relocated; a failure with
// its code, a stale file with the old root it names) and verify's count of stale install paths.
QString facts(const QJsonObject &report)
{
    const auto key = [](const char *name) { return QLatin1String(name); };
    QStringList facts{report[key("error")][key("check")].toString(), report[key("error")][key("reasonCode")].toString(),
                      report[key("method")].toString(),
                      report[key("methodReasonCode")].toString(), report[key("queryFailureCode")].toString()};
    QStringList roots;
    for (const QJsonValue &root : report[key("oldRoots")].toArray())
        roots << root[key("value")].toString();
    facts << (roots.isEmpty() ? QString() : QStringLiteral("roots=") + roots.join(QLatin1Char(',')));
    for (const QJsonValue &file : report[key("files")].toArray()) {
        const QString status = file[key("status")].toString();
        const QString detail = status == key("failed") ? file[key("reasonCode")].toString() : file[key("oldRoot")].toString();
        facts << (status == key("relocated") ? QString()
                  : file[key("file")].toString() + QLatin1Char('=') + status + (detail.isEmpty() ? QString() : QLatin1Char('/') + detail));
    }
    facts << report[key("summary")][key("stalePaths")].toVariant().toString();
    facts.removeAll(QString());
    return facts.join(QLatin1Char(' '));
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
};

void TestCli::commands_data()
{
    QTest::addColumn<QString>("script");   // shell; its last command gives the output
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // with --json: the facts; else a line of the output
    QTest::addColumn<QString>("after");    // shell, must succeed

    // DIR as a script may give it: relative, with doubled and trailing separators.
    const QString patched = QStringLiteral("(cd $DIR/.. && $CLI patch --deep ./qt//.) >/dev/null && ");
    const QString elsewhere = QStringLiteral("mv $DIR $DIR-4.8.7 && $CLI patch --deep $DIR-4.8.7 >/dev/null && ");
    const QString untouched = QStringLiteral("diff -r --no-dereference $DATA $DIR"); // not even a backup
    const QString old = QStringLiteral("roots=/usr/local/Trolltech/Qt-4.8.7");
    QTest::newRow("an unknown option is a usage error, in JSON when asked") << "$CLI --json --force patch $DIR" << 2 << "usage" << untouched;
    QTest::newRow("a rejected directory names its check") << "$CLI patch --json $DIR/lib" << 2 << "not-an-installation"
                                                           << untouched;
    QTest::newRow("a directory that does not exist is named so") << "$CLI patch --json $DIR/gone" << 2 << "no-such-directory"
                                                                 << untouched;
    QTest::newRow("a directory whose name the locale cannot spell is named so, not said to hold no Qt")
        << "mv $DIR \"$DIR$(printf '\\351')\" && LC_ALL=C.UTF-8 $CLI patch --json \"$DIR$(printf '\\351')\"" << 2 << "name-not-encodable"
        << "rm -r \"$DIR$(printf '\\351')\""; // QTemporaryDir cannot name it
    QTest::newRow("a directory a qmake file cannot hold is refused, naming its character")
        << "mv $DIR \"$DIR#4\" && $CLI patch --json \"$DIR#4\"" << 2 << "unsafe-character" << "";
    QTest::newRow("a directory where nothing identifies Qt is refused") << "rm $DIR/bin/qmake $DIR/lib/libQtCore* && $CLI verify --json $DIR"
                                                                        << 2 << "not-qt" << "";
    QTest::newRow("a run while another holds the installation is refused at once and writes nothing")
        << "flock $DIR/.zel-qt-patcher.lock $CLI patch --deep --json $DIR" << 1 << "run-in-progress"
        << "rm $DIR/.zel-qt-patcher.lock && " + untouched;
    QTest::newRow("a dry run of patch --deep foresees every file and writes nothing")
        << "$CLI patch --deep --dry-run --json $DIR" << 0
        << old + " bin/qmake=left-alone lib/libQtCore.so=changed mkspecs/default/qmake.conf=left-alone .qmake.cache=changed "
                 "mkspecs/qconfig.pri=changed lib/libQtCore.la=changed lib/libQtCore.prl=changed lib/pkgconfig/QtCore.pc=changed "
                 "bin/qt.conf=left-alone" << untouched;
    QTest::newRow("patch without --deep is the button's patch, leaves the build metadata and backs up only what it changes")
        << "$CLI patch --json $DIR" << 0
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone lib/libQtCore.so=changed mkspecs/default/qmake.conf=left-alone "
           ".qmake.cache=changed" << "cmp $DATA/lib/libQtCore.la $DIR/lib/libQtCore.la && test ! -e $DIR/lib/libQtCore.la.back";
    QTest::newRow("patch without --deep names a QtCore holding slots that no listed name reaches, and leaves it")
        << "rm $DIR/lib/libQtCore.so && $CLI patch --json $DIR" << 1
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone mkspecs/default/qmake.conf=left-alone .qmake.cache=changed "
           "lib/libQtCore.so.4.8.7=failed/unlisted-slots" << "cmp $DATA/lib/libQtCore.so.4.8.7 $DIR/lib/libQtCore.so.4.8.7";
    QTest::newRow("a copy that replaced the links (cp -rL) leaves QtCore's own file unlisted, named whatever its first bytes")
        << "rm -r $DIR && cp -a $DATA/../../qt-4.8.7 $DIR && cp $DIR/lib/libQtCore.so.4.8.7 $DIR/lib/libQtCore.so && $CLI patch --json $DIR"
        << 1 << "bin/qmake=changed lib/libQtCore.la=left-alone lib/libQtCore.so=changed mkspecs/default/qmake.conf=left-alone "
                ".qmake.cache=changed lib/libQtCore.so.4.8.7=failed/unlisted-slots" << "";
    QTest::newRow("a line written after a patch is kept, and said kept when the file needs nothing else")
        << "$CLI patch $DIR >/dev/null && echo 'CONFIG += mine' >>$DIR/.qmake.cache && $CLI patch --json $DIR" << 0
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone lib/libQtCore.so=left-alone mkspecs/default/qmake.conf=left-alone "
           ".qmake.cache=left-alone"
        << "grep -qx 'CONFIG += mine' $DIR/.qmake.cache && $CLI patch --json $DIR | grep -q '\"reasonCode\": \"edits-kept\"'";
    QTest::newRow("in an English locale the report is English") << "LC_ALL=en_US.UTF-8 $CLI patch $DIR" << 0
        << "Patch finished: 2 files changed, 3 left alone, no failure." << "";
    QTest::newRow("a file that cannot be treated fails the run, the others are treated")
        << "mkdir $DIR/lib/libQtCore.so.4.8.7.back && $CLI patch --json $DIR" << 1
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone lib/libQtCore.so=failed/backup-not-read "
           "mkspecs/default/qmake.conf=left-alone .qmake.cache=changed" << "";
    QTest::newRow("unpatch where no file has a backup: an installation where it was built, not a leftover")
        << "$CLI patch $DIR >/dev/null && find $DIR -name '*.back' -delete && $CLI unpatch --json $DIR" << 0
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone lib/libQtCore.so=left-alone "
           "mkspecs/default/qmake.conf=left-alone .qmake.cache=left-alone" << "";
    QTest::newRow("unpatch: a user's own backup of a plugin does not tell that the tool patched here")
        << "mkdir $DIR/plugins && cp $DATA/../../elf/libtiny.so.1 $DIR/plugins/libqsql.so && cp $DIR/plugins/libqsql.so $DIR/plugins/libqsql.so.back && "
           "$CLI unpatch --json $DIR" << 0
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone lib/libQtCore.so=left-alone mkspecs/default/qmake.conf=left-alone "
           ".qmake.cache=left-alone plugins/libqsql.so=left-alone" << "";
    QTest::newRow("unpatch names a link leading nowhere whose backup lies beside it, even while a listed file is missing")
        << "mkdir $DIR/plugins && ln -s gone $DIR/plugins/libqsql.so && cp $DATA/../../elf/libtiny.so.1 $DIR/plugins/libqsql.so.back && "
           "rm $DIR/.qmake.cache && $CLI unpatch --json $DIR" << 1
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone lib/libQtCore.so=left-alone mkspecs/default/qmake.conf=left-alone "
           ".qmake.cache=left-alone plugins/libqsql.so=failed/file-not-written" << "";
    QTest::newRow("verify: a copied but unpatched installation answers stale paths") << "$CLI verify --json $DIR" << 1
        << "qmake-query " + old + " lib/libQtCore.so=stale .qmake.cache=stale/" + old.mid(6) + " mkspecs/qconfig.pri=stale/" + old.mid(6)
               + " lib/libQtCore.la=stale/" + old.mid(6) + " lib/libQtCore.prl=stale/" + old.mid(6) + " lib/pkgconfig/QtCore.pc=stale/"
               + old.mid(6) + " 22" << untouched;
    QTest::newRow("verify names a plugin's build metadata that names the old root, which patch --deep rewrites")
        << "mkdir -p $DIR/plugins/graphicssystems && cp $DIR/lib/libQtCore.prl $DIR/plugins/graphicssystems/libfb_base.prl && "
           "$CLI verify --json $DIR" << 1
        << "qmake-query " + old + " lib/libQtCore.so=stale .qmake.cache=stale/" + old.mid(6) + " mkspecs/qconfig.pri=stale/" + old.mid(6)
               + " lib/libQtCore.la=stale/" + old.mid(6) + " lib/libQtCore.prl=stale/" + old.mid(6) + " lib/pkgconfig/QtCore.pc=stale/"
               + old.mid(6) + " plugins/graphicssystems/libfb_base.prl=stale/" + old.mid(6) + " 22"
        << "$CLI patch --deep $DIR >/dev/null && grep -q -- \"-L$DIR/lib \" $DIR/plugins/graphicssystems/libfb_base.prl && $CLI verify $DIR";
    QTest::newRow("verify: after patch --deep only backups name the old root; a file naming none has no backup")
        << patched + "$CLI verify --json $DIR" << 0 << "qmake-query " + old + " 0"
        << "! grep -rIl /usr/local/Trolltech $DIR | grep -v '[.]back$' && test ! -e $DIR/bin/qt.conf.back";
    QTest::newRow("verify: metadata still naming where --deep last put it, moved since and patched without --deep")
        << patched + "rm $DIR/lib/*.la $DIR/.qmake.cache* && " + QString(elsewhere).remove(QStringLiteral("--deep "))
            + "$CLI verify --json $DIR-4.8.7" << 1
        << "qmake-query roots=/usr/local/Trolltech/Qt-4.8.7,$DIR mkspecs/qconfig.pri=stale/$DIR lib/libQtCore.prl=stale/$DIR "
           "lib/pkgconfig/QtCore.pc=stale/$DIR 0" << "";
    QTest::newRow("verify reads a library too large for the plan to keep where it lies, and finds it relocated")
        << "truncate -s +2M $DIR/lib/libQtCore.so.4.8.7 && " + patched + "$CLI verify --json $DIR" << 0 << "qmake-query " + old + " 0"
        << "";
    QTest::newRow("verify says a patched library replaced by one too large to read is too large, not another build")
        << patched + "rm $DIR/bin/qmake && truncate -s 1073741825 $DIR/lib/libQtCore.so.4.8.7 && "
                     "$CLI verify --json $DIR >$DIR.json; status=$?; cat $DIR.json; exit $status" << 1
        << "slots qmake-missing " + old + " lib/libQtCore.so=stale 0"
        << "grep -q '\"reasonCode\": \"file-too-large\"' $DIR.json";
    QTest::newRow("patch --deep run twice: the second run changes nothing")
        << patched + "cp -a $DIR $DIR.first && $CLI patch --deep --json $DIR" << 0
        << old + " bin/qmake=left-alone lib/libQtCore.so=left-alone mkspecs/default/qmake.conf=left-alone .qmake.cache=left-alone "
                 "mkspecs/qconfig.pri=left-alone lib/libQtCore.la=left-alone lib/libQtCore.prl=left-alone "
                 "lib/pkgconfig/QtCore.pc=left-alone bin/qt.conf=left-alone" << "diff -r --no-dereference $DIR.first $DIR";
    QTest::newRow("a name holding a newline is one line of the report")
        << "printf 'QMAKE_PRL_LIBS = -L/usr/local/Trolltech/Qt-4.8.7/lib\\n' >\"$DIR/lib/libQt$(printf '\\nX').prl\" && $CLI patch --deep $DIR"
        << 0 << "lib/libQt\\nX.prl : modifié" << "";
    QTest::newRow("patch --deep where every recorded prefix already names DIR says there is nothing to rewrite")
        << patched + "find $DIR -name '*.back' -delete && $CLI patch --deep $DIR" << 0
        << "Fichiers de construction laissés tels quels : rien à réécrire." << "";
    QTest::newRow("verify of a library packed with slots needs a few times its size in memory")
        << "rm $DIR/bin/qmake && yes qt_prfxpath= | tr -d '\\n' | head -c 33554432 >$DIR/lib/libQtCore.so.4.8.7 && "
           "ulimit -d 131072 && $CLI verify --json $DIR" << 1
        << "slots qmake-missing roots=/usr/local/Trolltech/Qt-4.8.7 lib/libQtCore.so=stale .qmake.cache=stale/"
               + old.mid(6) + " mkspecs/qconfig.pri=stale/" + old.mid(6) + " lib/libQtCore.la=stale/" + old.mid(6)
               + " lib/libQtCore.prl=stale/" + old.mid(6) + " lib/pkgconfig/QtCore.pc=stale/" + old.mid(6) + " 1" << "";
    // qmake wrapped so that each run leaves a line in $DIR.runs; `refuse` is what it runs first.
    const auto counted = [&patched](const QString &refuse) {
        return patched + "mv $DIR/bin/qmake $DIR/bin/qmake.real && printf '#!/bin/sh\\necho run >>%s.runs\\n%s\\nexec %s/bin/qmake.real \"$@\"\\n' "
            "$DIR '" + refuse + "' $DIR >$DIR/bin/qmake && chmod 755 $DIR/bin/qmake && $CLI verify --json $DIR";
    };
    QTest::newRow("verify runs qmake once where it lists every name") << counted(QStringLiteral(":")) << 0 << "qmake-query " + old + " 0"
                                                                      << "test $(wc -l <$DIR.runs) = 1";
    QTest::newRow("verify asks alone a name qmake lists twice, a user's setting before Qt's own")
        << counted(QStringLiteral("[ $# = 1 ] && echo QT_INSTALL_PREFIX:/elsewhere")) << 0 << "qmake-query " + old + " 0"
        << "test $(wc -l <$DIR.runs) = 2";
    QTest::newRow("verify asks each name alone of a qmake that lists none")
        << counted(QStringLiteral("[ $# -gt 1 ] || exit 1")) << 0 << "qmake-query " + old + " 0" << "test $(wc -l <$DIR.runs) -gt 2";
    const struct {
        const char *name, *qmake, *cause;
    } failing[] = {
        {"verify: a qmake killed by a signal is a failure, not a qmake that cannot run here", "kill -SEGV $$", "crashed"},
        {"verify: a qmake that exits non-zero is a failure", "exit 3", "exit-code"},
        {"verify: a qmake that answers something else than a path is a failure", "echo usage", "not-a-path"},
        {"verify: a qmake that writes without end is killed, and is a failure", "exec yes /x", "answer-too-long"},
    };
    for (const auto &qmake : failing) {
        QTest::newRow(qmake.name) << patched + "printf '#!/bin/sh\\n%s\\n' '" + qmake.qmake + "' >$DIR/bin/qmake && $CLI verify --json $DIR"
                                  << 1 << "qmake-query " + QLatin1String(qmake.cause) + QLatin1Char(' ') + old + " 0" << "";
    }
    // A planted qmake would leave its mark.
    const QString planted = patched + "printf '#!/bin/sh\\ntouch $0.ran\\n' >$DIR/bin/qmake && ";
    QTest::newRow("verify never runs a qmake its group may write; it reads the slots and says why")
        << planted + "chmod g+w $DIR/bin/qmake && $CLI verify --json $DIR" << 0 << "slots qmake-writable-by-others " + old + " 0"
        << "test ! -e $DIR/bin/qmake.ran";
    QTest::newRow("verify never runs a qmake that belongs to someone else than root or the user")
        << planted + "chown 65534 $DIR/bin/qmake && $CLI verify --json $DIR" << 0 << "slots qmake-not-owned " + old + " 0"
        << "test ! -e $DIR/bin/qmake.ran";
    QTest::newRow("verify never runs a qmake that others could replace: a link in a bin anyone may write")
        << patched + "printf '#!/bin/sh\\ntouch %s.ran\\n' $DIR >$DIR/qmake && chmod +x $DIR/qmake && ln -sf ../qmake $DIR/bin/qmake && "
                     "chmod o+w $DIR/bin && $CLI verify --json $DIR" << 0 << "slots qmake-writable-by-others " + old + " 0"
        << "test ! -e $DIR.ran";
    // A plugin whose RUNPATH names the build tree that .qmake.cache names.
    const QString plugin = QStringLiteral("mkdir $DIR/plugins && cp $DATA/../../elf/libtiny.so.1 $DIR/plugins/libqsql.so && "
                                          "sed -i 's,quote.*,quote(/opt/oldqt-4.8.7-build),' $DIR/.qmake.cache && ");
    QTest::newRow("verify lists an ELF file whose search path names an old root")
        << plugin + "$CLI patch >/dev/null $DIR && $CLI verify --json $DIR" << 1
        << "qmake-query " + old + ",/opt/oldqt-4.8.7-build .qmake.cache=stale/" + old.mid(6) + " mkspecs/qconfig.pri=stale/"
               + old.mid(6) + " lib/libQtCore.la=stale/"
               + old.mid(6) + " lib/libQtCore.prl=stale/" + old.mid(6) + " lib/pkgconfig/QtCore.pc=stale/" + old.mid(6)
               + " plugins/libqsql.so=stale//opt/oldqt-4.8.7-build 0" << "";
    QTest::newRow("patch --deep makes an ELF file's search path relative to it; a plain unpatch gives its bytes back")
        << plugin + "$CLI patch --deep $DIR >/dev/null && $CLI verify --json $DIR" << 0
        << "qmake-query " + old + ",/opt/oldqt-4.8.7-build 0"
        << "grep -q 'ORIGIN/../lib:' $DIR/plugins/libqsql.so && $CLI unpatch $DIR >/dev/null && "
           "cmp $DATA/../../elf/libtiny.so.1 $DIR/plugins/libqsql.so";
    QTest::newRow("patch --deep judges a library again when the walk finds a file that records another old root")
        << "mkdir $DIR/plugins && cp $DATA/../../elf/libtiny.so.1 $DIR/plugins/libqsql.so && "
           "{ printf '!<arch>\\nqt_prfxpath=/opt/oldqt-4.8.7-build'; head -c 300 /dev/zero; } >$DIR/plugins/libzslots.a && "
           "$CLI patch --deep $DIR >/dev/null && $CLI verify --json $DIR" << 0
        << "qmake-query " + old + ",/opt/oldqt-4.8.7-build 0" << "grep -q 'ORIGIN/../lib:' $DIR/plugins/libqsql.so";
    QTest::newRow("a patched plugin replaced by a pipe is named by unpatch, its backup kept")
        << plugin + "$CLI patch --deep $DIR >/dev/null && rm $DIR/plugins/libqsql.so && mkfifo $DIR/plugins/libqsql.so && "
                    "$CLI unpatch --deep --json $DIR" << 1
        << old + ",/opt/oldqt-4.8.7-build bin/qmake=left-alone lib/libQtCore.so=changed mkspecs/default/qmake.conf=left-alone "
                 ".qmake.cache=changed mkspecs/qconfig.pri=changed lib/libQtCore.la=changed lib/libQtCore.prl=changed "
                 "lib/pkgconfig/QtCore.pc=changed bin/qt.conf=left-alone plugins/libqsql.so=failed/file-not-read"
        << "test -f $DIR/plugins/libqsql.so.back";
    QTest::newRow("a copy made without links gets the slots of every copy of the library rewritten by --deep")
        << "rm -r $DIR && cp -rL $DATA $DIR && $CLI patch --deep $DIR >/dev/null && $CLI verify --json $DIR" << 0
        << "qmake-query " + old + " 0" << "! grep -l /usr/local/Trolltech $DIR/lib/libQtCore.so*[0-9] && $CLI patch $DIR >/dev/null";
    QTest::newRow("after a move, files whose backups are gone and that name the earlier place the others record fail")
        << patched + "rm $DIR/mkspecs/qconfig.pri.back $DIR/lib/libQtCore.prl.back && mv $DIR $DIR-4.8.7 && "
                     "$CLI verify --json $DIR-4.8.7" << 1
        << "qmake-query " + old + ",$DIR lib/libQtCore.so=stale .qmake.cache=stale/$DIR mkspecs/qconfig.pri=stale "
                                  "lib/libQtCore.la=stale/$DIR lib/libQtCore.prl=stale lib/pkgconfig/QtCore.pc=stale/$DIR 22"
        << "test $($CLI verify --json $DIR-4.8.7 | grep -o '\"patched-without-backup\"' | wc -l) = 2 && "
           "! $CLI unpatch --deep --dry-run $DIR-4.8.7 >/dev/null && ! $CLI patch --deep $DIR-4.8.7 >/dev/null";
    QTest::newRow("absolute paths no record names are no sign of a lost backup: patch, verify and unpatch agree")
        << "printf 'FOO = /bar\\nQMAKE_LIBDIR_X11 = /usr/X11R6/lib64\\n' >>$DIR/mkspecs/linux-g++/qmake.conf && "
           "echo 'QMAKE_PRL_BUILD_DIR = C:/qt487xp/src/corelib/' >>$DIR/bin/qt.conf && " + patched + "$CLI verify --json $DIR"
        << 0 << "qmake-query " + old + " 0" << "$CLI unpatch $DIR >/dev/null";
    QTest::newRow("the walk's binaries are reported in the order of their paths, whatever order the walk meets them in")
        << "for d in c a d b; do mkdir -p $DIR/plugins/$d && cp $DATA/../../elf/libtiny.so.1 $DIR/plugins/$d/lib$d.so; done && "
           "$CLI patch --deep --dry-run --json $DIR | grep -o 'plugins/./lib.[.]so' | uniq | tr '\\n' ' ' | grep -qx 'plugins/a/liba.so plugins/b/libb.so plugins/c/libc.so plugins/d/libd.so '"
        << 0 << "" << "";
    QTest::newRow("a plain patch after --deep keeps the search path and the build metadata --deep wrote")
        << plugin + "cp $DIR/plugins/libqsql.so $DIR/lib/libQtCoreX.so && $CLI patch --deep $DIR >/dev/null && $CLI patch --json $DIR" << 0
        << "bin/qmake=left-alone lib/libQtCore.la=left-alone lib/libQtCore.so=left-alone lib/libQtCoreX.so=left-alone "
           "mkspecs/default/qmake.conf=left-alone .qmake.cache=left-alone"
        << "grep -q 'ORIGIN:' $DIR/lib/libQtCoreX.so && grep -q \"libdir='$DIR/lib'\" $DIR/lib/libQtCore.la";
    QTest::newRow("verify reads the slots when bin/qmake cannot run here")
        << patched + "printf 'MZ' >$DIR/bin/qmake && $CLI verify --json $DIR" << 0 << "slots qmake-not-runnable " + old + " 0" << "";
    QTest::newRow("re-patched elsewhere from the backups, unpatch gives every byte back, --deep's files too")
        << patched + elsewhere + "! grep -rIl $DIR/lib $DIR-4.8.7 | grep -v '[.]back$' && mv $DIR-4.8.7 $DIR && "
                                 "$CLI unpatch --json $DIR"
        << 0 << "bin/qmake=left-alone lib/libQtCore.la=changed lib/libQtCore.so=changed mkspecs/default/qmake.conf=left-alone "
                ".qmake.cache=changed mkspecs/qconfig.pri=changed lib/libQtCore.prl=changed lib/pkgconfig/QtCore.pc=changed"
        << "diff -r --no-dereference -x '*.back' $DATA $DIR";
    QTest::newRow("inspect: slots naming a longer sibling of the directory do not name it")
        << elsewhere + "mv $DIR-4.8.7 $DIR && $CLI inspect --json $DIR" << 0
        << "roots=/usr/local/Trolltech/Qt-4.8.7,$DIR-4.8.7 bin/qmake=no-path lib/libQtCore.la=stale lib/libQtCore.so=stale "
           "mkspecs/default/qmake.conf=no-path .qmake.cache=stale mkspecs/qconfig.pri=stale lib/libQtCore.prl=stale "
           "lib/pkgconfig/QtCore.pc=stale" << "";
    QTest::newRow("inspect judges every path of the build metadata, past those it shows")
        << patched + "seq -f \"-L$DIR/lib%g\" 300 >>$DIR/lib/libQtCore.prl && echo -L" + old.mid(6) + "/lib >>$DIR/lib/libQtCore.prl && "
           "$CLI inspect --json $DIR" << 0
        << old + " bin/qmake=no-path lib/libQtCore.la=names-root lib/libQtCore.so=names-root mkspecs/default/qmake.conf=no-path "
                 ".qmake.cache=names-root mkspecs/qconfig.pri=names-root lib/libQtCore.prl=partly-stale "
                 "lib/pkgconfig/QtCore.pc=names-root" << "";
    QTest::newRow("inspect: a linked backup never tells the old root, and is said unreadable")
        << "ln -s $DATA/../../windows/qmake.exe $DIR/bin/qmake.back && $CLI inspect --json $DIR" << 1
        << old + " bin/qmake=unreadable lib/libQtCore.la=stale lib/libQtCore.so=stale mkspecs/default/qmake.conf=no-path "
                 ".qmake.cache=stale" << "";
    QTest::newRow("inspect: a pipe named like a file of Qt's cannot be read, and inspect fails")
        << "mv $DIR/lib/libQtCore.prl $DIR/lib/libQtCore.prl.back && mkfifo $DIR/lib/libQtCore.prl && $CLI inspect --json $DIR" << 1
        << old + " bin/qmake=no-path lib/libQtCore.la=stale lib/libQtCore.so=stale mkspecs/default/qmake.conf=no-path "
                 ".qmake.cache=stale lib/libQtCore.prl=unreadable" << "";
    QTest::newRow("patch --deep: a metadata file linked outside is refused before it is read")
        << "sed s,/usr/local/Trolltech,/else, $DIR/lib/libQtCore.prl >$DIR.prl && ln -sf $DIR.prl $DIR/lib/libQtCore.prl && "
           "$CLI patch --deep --json $DIR" << 1
        << old + " bin/qmake=left-alone lib/libQtCore.so=changed mkspecs/default/qmake.conf=left-alone .qmake.cache=changed "
                 "mkspecs/qconfig.pri=changed lib/libQtCore.la=changed lib/libQtCore.prl=failed/link-outside-installation "
                 "lib/pkgconfig/QtCore.pc=changed bin/qt.conf=left-alone" << "";

    // Qt 5 installations, from tests/data; their qmake cannot run here, as a board's cannot.
    const auto qt5 = [](const char *tree) {
        return QStringLiteral("rm -r $DIR && cp -a $DATA/../../%1 $DIR && chmod -x $DIR/bin/qmake* && ").arg(QLatin1String(tree));
    };
    QTest::newRow("Qt 5.1: every path slot of qmake and QtCore below the old root moves, its rest kept; /etc/xdg stays; "
                  "a program named like a wrapper script is patched as a program")
        << qt5("qt-5.1.1") + "cp $DIR/bin/qmake $DIR/bin/arm-linux-qmake && $CLI patch --deep $DIR >/dev/null && $CLI verify --json $DIR" << 0
        << "slots qmake-not-runnable roots=/opt/Qt5.1.1/5.1.1/gcc_64 0"
        << "test $(strings -a $DIR/bin/qmake | grep -c ^qt_....path=$DIR) = 18 && cmp $DIR/bin/qmake $DIR/bin/arm-linux-qmake"
           "&& strings -a $DIR/lib/libQt5Core.so.5.1.1 | grep -qx qt_stngpath=/etc/xdg "
           "&& test $(strings -a $DIR/lib/libQt5Core.so.5.1.1 | grep -c ^qt_....path=$DIR) = 14";
    QTest::newRow("inspect of a Qt 5.1 copy: every file naming the old root is stale, /etc/xdg and an empty sysroot judge nothing")
        << qt5("qt-5.1.1") + "$CLI inspect --json $DIR" << 0
        << "roots=/opt/Qt5.1.1/5.1.1/gcc_64 bin/qmake=stale lib/libQt5Core.so=stale mkspecs/qconfig.pri=no-path mkspecs/qmodule.pri=no-path "
           "mkspecs/modules/qt_lib_core.pri=stale lib/libQt5Core.la=stale lib/libQt5Core.prl=stale lib/pkgconfig/Qt5Core.pc=stale "
           "bin/qt.conf=no-path lib/cmake/Qt5Core/Qt5CoreConfig.cmake=no-path" << "";
    QTest::newRow("a Qt 5.7 board kit: the device prefix stays in qmake, QtCore and the old roots; no byte past a record changes")
        << qt5("qt-5.7-cross") + "$CLI patch --deep --json $DIR" << 0
        << "roots=/opt/kits/rpi/qt5pi bin/qmake=changed lib/libQt5Core.so=left-alone mkspecs/qconfig.pri=left-alone "
           "mkspecs/qdevice.pri=left-alone mkspecs/qmodule.pri=left-alone lib/libQt5Core.la=changed lib/libQt5Core.prl=left-alone "
           "lib/pkgconfig/Qt5Core.pc=changed"
        << "cmp $DATA/../../qt-5.7-cross/lib/libQt5Core.so.5.7.0 $DIR/lib/libQt5Core.so.5.7.0 && strings -a $DIR/bin/qmake | grep -qx "
           "qt_epfxpath=$DIR && cmp -l $DATA/../../qt-5.7-cross/bin/qmake $DIR/bin/qmake | "
           "awk '{ o = $1 - 1; if (!(o >= 1344 && o < 1612) && !(o >= 1664 && o < 1932)) exit 1 }'";
    QTest::newRow("a Qt 5.15 QtCore reading a fixed-length prefix is refused a longer root with both lengths, and left whole")
        << qt5("qt-5.15.2") + "$CLI patch --deep --json $DIR" << 1
        << "roots=/opt/qt515 bin/qmake=left-alone lib/libQt5Core.so=failed/prefix-length-fixed mkspecs/qconfig.pri=left-alone "
           "mkspecs/qmodule.pri=left-alone mkspecs/modules/qt_lib_core_private.pri=left-alone lib/libQt5Core.prl=left-alone "
           "lib/pkgconfig/Qt5Core.pc=changed"
        << "cmp $DATA/../../qt-5.15.2/lib/libQt5Core.so.5.15.2 $DIR/lib/libQt5Core.so.5.15.2 && "
           "$CLI verify --json $DIR | tr -d ' \\n' | grep -qF '\"reasonArgs\":[\"'${#DIR}'\",\"10\"]'";
    QTest::newRow("a Qt 5.15 QtCore reading a fixed-length prefix takes a shorter root padded with / to that length")
        << "S=$(mktemp -d /tmp/XXXX) && echo $S >$DIR.short && cp -a $DATA/../../qt-5.15.2/. $S && $CLI patch --deep $S | tail -n 1" << 0
        << "Patch terminé : 2 fichiers modifiés, 5 laissés tels quels, aucun échec."
        << "S=$(cat $DIR.short) && strings -a $S/lib/libQt5Core.so.5.15.2 | grep -qx qt_prfxpath=$S/ && rm -r $S";
    QTest::newRow("a relocatable Qt 5.15 QtCore never reads its slot, which stays; a plain patch of Qt 5 moves the metadata too")
        << qt5("qt-5.15.2") + "echo 'QT.global_private.enabled_features += relocatable' >>$DIR/mkspecs/qmodule.pri && "
           "$CLI patch --json $DIR" << 0
        << "roots=/opt/qt515 bin/qmake=left-alone lib/libQt5Core.so=left-alone mkspecs/qconfig.pri=left-alone "
           "mkspecs/qmodule.pri=left-alone mkspecs/modules/qt_lib_core_private.pri=left-alone lib/libQt5Core.prl=left-alone "
           "lib/pkgconfig/Qt5Core.pc=changed"
        << "cmp $DATA/../../qt-5.15.2/lib/libQt5Core.so.5.15.2 $DIR/lib/libQt5Core.so.5.15.2 && "
           "$CLI inspect --json $DIR | grep -q '\"reasonCode\": \"slots-unread\"'";
    QTest::newRow("Qt 5 moved and patched again: a place only the DLLs record is known, and the .prl line written for it moves")
        << qt5("qt-5.3.1-mingw") + "$CLI patch $DIR >/dev/null && mv $DIR $DIR-5 && $CLI patch --json $DIR-5" << 0
        << "roots=C:/Qt/Qt5.3.1/5.3/mingw482_32,$DIR bin/qmake.exe=changed bin/Qt5Core.dll=changed bin/Qt5Cored.dll=changed "
           "lib/libQt5Core.a=changed mkspecs/qconfig.pri=left-alone lib/Qt5Core.prl=changed bin/qt.conf=left-alone" << "";
    QTest::newRow("Qt 5 with a distribution's pkgconfig folder: a plain patch walks to it, and after a move rewrites what it wrote there")
        << qt5("qt-5.15.2") + "mkdir $DIR/lib/x86_64-linux-gnu && mv $DIR/lib/pkgconfig $DIR/lib/x86_64-linux-gnu && "
           "$CLI patch $DIR >/dev/null; mv $DIR $DIR-5 && $CLI patch --json $DIR-5" << 1
        << "roots=/opt/qt515,$DIR bin/qmake=left-alone lib/libQt5Core.so=failed/prefix-length-fixed mkspecs/qconfig.pri=left-alone "
           "mkspecs/qmodule.pri=left-alone mkspecs/modules/qt_lib_core_private.pri=left-alone lib/libQt5Core.prl=left-alone "
           "lib/x86_64-linux-gnu/pkgconfig/Qt5Core.pc=changed"
        << "grep -qx prefix=$DIR-5 $DIR-5/lib/x86_64-linux-gnu/pkgconfig/Qt5Core.pc";
    QTest::newRow("verify asks a Qt 5 qmake each name and finds an answer naming the old root stale")
        << qt5("qt-5.15.2") + R"(printf '#!/bin/sh\ncase "$2" in QT_INSTALL_PREFIX) echo /opt/qt515 ;; *) echo "${0%%/bin/qmake}" ;; esac\n' )"
           ">$DIR/bin/qmake && chmod 755 $DIR/bin/qmake && $CLI verify --json $DIR" << 1
        << "qmake-query roots=/opt/qt515 lib/libQt5Core.so=stale lib/pkgconfig/Qt5Core.pc=stale//opt/qt515 1" << "";
    // An installer's Qt 6, as few lines lay it out: a relocatable QtCore with an empty slot, the build
    // machine's place in the .pc files and the build internals only.
    const QString qt6 = QStringLiteral(
        "rm -r $DIR && mkdir -p $DIR/bin $DIR/lib/pkgconfig $DIR/lib/cmake/Qt6BuildInternals $DIR/mkspecs/modules $DIR/include && "
        "cp $DATA/../../qt-5.15.2/lib/libQt5Core.so.5.15.2 $DIR/lib/libQt6Core.so.6.5.3 && ln -s libQt6Core.so.6.5.3 $DIR/lib/libQt6Core.so && "
        "head -c 10 /dev/zero | dd of=$DIR/lib/libQt6Core.so.6.5.3 bs=1 conv=notrunc status=none "
        "seek=$(( $(grep -boa qt_prfxpath= $DIR/lib/libQt6Core.so.6.5.3 | cut -d: -f1) + 12 )) && "
        "printf 'prefix=/home/qt/work/install\\nlibdir=${prefix}/lib\\nincludedir=/home/qt/work/install/include\\n' >$DIR/lib/pkgconfig/Qt6Core.pc && "
        "printf 'set(qtbi_orig_prefix \"/home/qt/work/install\")\\n' >$DIR/lib/cmake/Qt6BuildInternals/QtBuildInternalsExtra.cmake && "
        "printf 'QT_MAJOR_VERSION = 6\\nQT_MINOR_VERSION = 5\\n' >$DIR/mkspecs/qconfig.pri && "
        "printf 'QT.core_private.enabled_features = relocatable\\n' >$DIR/mkspecs/modules/qt_lib_core_private.pri && ");
    QTest::newRow("an installer's Qt 6: QtCore's empty slot is never written, the .pc and the build internals move")
        << qt6 + "cp $DIR/lib/libQt6Core.so.6.5.3 $DIR.core && $CLI patch --json $DIR" << 0
        << "roots=/home/qt/work/install lib/libQt6Core.so=left-alone lib/pkgconfig/Qt6Core.pc=changed "
           "lib/cmake/Qt6BuildInternals/QtBuildInternalsExtra.cmake=changed mkspecs/modules/qt_lib_core_private.pri=left-alone "
           "mkspecs/qconfig.pri=left-alone"
        << "cmp $DIR.core $DIR/lib/libQt6Core.so.6.5.3 && grep -qx includedir=$DIR/include $DIR/lib/pkgconfig/Qt6Core.pc && "
           "$CLI verify $DIR >/dev/null";
    // A Qt 6 cross kit built at /home/qt/work/android for the host Qt /home/qt/work/install, and that host
    // Qt moved to $DIR-host: a stand-in qmake and qtpaths that say how they were run.
    const QString kit = QStringLiteral(
        "rm -r $DIR && mkdir -p $DIR/bin $DIR/lib/cmake/Qt6 $DIR/lib/pkgconfig $DIR/mkspecs $DIR-host/bin $DIR-host/lib/cmake && "
        "for tool in qmake qtpaths; do printf '#!/bin/sh\\n/home/qt/work/install/bin/%s -qtconf \"$(dirname \"$0\")/target_qt.conf\" \"$@\"\\n' $tool "
        ">$DIR/bin/$tool; printf '#!/bin/sh\\necho host $0 \"$@\"\\n' >$DIR-host/bin/$tool; done && chmod 755 $DIR/bin/* $DIR-host/bin/* && "
        "printf '[Paths]\\nPrefix=..\\nHostPrefix=../../install\\nHostData=../android\\nSysroot=/opt/sysroot\\n' >$DIR/bin/target_qt.conf && "
        "printf 'set(__qt_platform_initial_qt_host_path \"/home/qt/work/install\")\\n"
        "set(__qt_platform_initial_qt_host_path_cmake_dir \"/home/qt/work/install/lib/cmake\")\\n' >$DIR/lib/cmake/Qt6/Qt6Dependencies.cmake && "
        "printf 'prefix=/home/qt/work/android\\n' >$DIR/lib/pkgconfig/Qt6Core.pc && printf 'QT_MAJOR_VERSION = 6\\n' >$DIR/mkspecs/qconfig.pri && "
        "cp -a $DIR $DIR.orig && ");
    QTest::newRow("a Qt 6 kit whose host Qt is gone: a patch fails its wrappers, naming the option that mends it")
        << kit + "$CLI patch --json $DIR" << 1
        << "roots=/home/qt/work/android lib/pkgconfig/Qt6Core.pc=changed bin/qmake=failed/host-qt-missing "
           "bin/qtpaths=failed/host-qt-missing lib/cmake/Qt6/Qt6Dependencies.cmake=left-alone bin/target_qt.conf=left-alone "
           "mkspecs/qconfig.pri=left-alone"
        << "cmp $DIR.orig/bin/qmake $DIR/bin/qmake && $CLI verify --json $DIR | grep -q '\"there\": false'";
    QTest::newRow("patch --host-qt: the wrappers reach the host Qt where it is, kept by a patch after a move, and unpatched")
        << kit + "$CLI patch --host-qt $DIR-host $DIR >/dev/null && $DIR/bin/qtpaths --query QT_VERSION | "
                 "grep -qx \"host $DIR-host/bin/qtpaths -qtconf $DIR/bin/target_qt.conf --query QT_VERSION\" && echo reached" << 0
        << "reached"
        << "grep -qx HostPrefix=../../qt-host $DIR/bin/target_qt.conf && grep -qx HostData=../qt $DIR/bin/target_qt.conf && "
           "grep -qx Sysroot=/opt/sysroot $DIR/bin/target_qt.conf && "
           "grep -q \"host_path_cmake_dir \\\"$DIR-host/lib/cmake\\\"\" $DIR/lib/cmake/Qt6/Qt6Dependencies.cmake && "
           "mkdir $DIR-sub && mv $DIR $DIR-sub/qt && $CLI patch $DIR-sub/qt >/dev/null && "
           "$DIR-sub/qt/bin/qmake | grep -q \"^host $DIR-host/bin/qmake \" && grep -qx HostPrefix=../../../qt-host $DIR-sub/qt/bin/target_qt.conf && "
           "cp -a $DIR-host $DIR-host2 && ! $CLI patch --json --host-qt $DIR-host2 $DIR-sub/qt | grep -q edits-kept && "
           "$DIR-sub/qt/bin/qmake | grep -q \"^host $DIR-host2/bin/qmake \" && "
           "mv $DIR-sub/qt $DIR-3 && $CLI unpatch $DIR-3 >/dev/null && diff -r -x '*.back' $DIR.orig $DIR-3";
    QTest::newRow("a kit whose host Qt the tool named is gone: target_qt.conf fails with the wrappers, never pointed at it")
        << kit + "$CLI patch --host-qt $DIR-host $DIR >/dev/null && cp $DIR/bin/target_qt.conf $DIR.conf && mv $DIR-host $DIR-gone && "
                 "$CLI patch --json $DIR" << 1
        << "roots=/home/qt/work/android lib/pkgconfig/Qt6Core.pc=left-alone bin/qmake=failed/host-qt-missing "
           "bin/qtpaths=failed/host-qt-missing lib/cmake/Qt6/Qt6Dependencies.cmake=left-alone bin/target_qt.conf=failed/host-qt-missing "
           "mkspecs/qconfig.pri=left-alone"
        << "cmp $DIR.conf $DIR/bin/target_qt.conf";
    QTest::newRow("an installer's kit, built where its host Qt was: the wrappers run the host named, never themselves")
        << kit + "sed -i s,/home/qt/work/android,/home/qt/work/install, $DIR/lib/pkgconfig/Qt6Core.pc && "
                 "$CLI patch --host-qt $DIR-host $DIR >/dev/null && timeout 5 $DIR/bin/qmake -v | grep -q \"^host $DIR-host/bin/qmake \" && "
                 "grep -qx prefix=$DIR $DIR/lib/pkgconfig/Qt6Core.pc && echo reached" << 0 << "reached" << "";
    QTest::newRow("--host-qt is checked as DIR is: a blank would break the wrappers")
        << kit + "mkdir -p \"$DIR host/bin\" \"$DIR host/lib\" && $CLI patch --json --host-qt \"$DIR host\" $DIR" << 2 << "not-ascii-or-space"
        << "diff -r $DIR.orig $DIR";
    QTest::newRow("--host-qt is refused for a tree that is no cross kit")
        << "$CLI patch --json --host-qt $DIR $DIR" << 2 << "not-a-cross-kit" << untouched;
    QTest::newRow("--host-qt is refused for a folder that holds no Qt tools: a kit's own wrappers are none")
        << kit + "$CLI patch --json --host-qt $DIR $DIR" << 2 << "no-host-tools" << "diff -r $DIR.orig $DIR";
    QTest::newRow("a report that cannot be written fails the run") << "$CLI inspect $DIR 2>&1 >/dev/full" << 1
        << "zel-qt-patcher-cli : le rapport n'a pas pu être écrit en entier" << untouched;
}

void TestCli::commands()
{
    QFETCH(QString, script);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    QFETCH(QString, after);

    if (script.contains(QLatin1String("chown")) && geteuid() != 0)
        QSKIP("gives a file to another user: run as root, as CI does");
    QTemporaryDir temp;
    QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
    qputenv("DIR", QFile::encodeName(temp.path() + QStringLiteral("/qt")));
    int status = -1;
    QByteArray out = shell(QStringLiteral("cp -a $DATA $DIR && chmod -R go-w $DIR && ") + script, &status);
    QCOMPARE(status, exitCode);
    if (script.contains(QLatin1String("--json")))
        QCOMPARE(facts(QJsonDocument::fromJson(out).object()), QString(expected).replace(QStringLiteral("$DIR"), qEnvironmentVariable("DIR")));
    else
        QVERIFY2(expected.isEmpty() || QString::fromUtf8(out).split(QLatin1Char('\n')).contains(expected), out.constData());
    out = shell(after.isEmpty() ? QStringLiteral("true") : after, &status);
    QVERIFY2(status == 0, qPrintable(after + QLatin1Char('\n') + out));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
