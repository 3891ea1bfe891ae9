#include "patching/filejob.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTimer>
#include <QtTest>

#include <optional>
#include <string>

char *toString(const FileOutcome &outcome)
{
    return QTest::toString(outcomeStatusKey(outcome.status) + QStringLiteral(": ") + outcome.reason);
}

namespace {

// The timeout only turns a hang into a failure; a working wait never reaches it.
FileOutcome waitAtGate(QSemaphore *gate)
{
    return gate->tryAcquire(1, 60000) ? FileOutcome::changed() : FileOutcome::failed(QStringLiteral("gate never opened"));
}

FileOutcome returnAtOnce()
{
    return FileOutcome::changed();
}

// Counts the finished() signals of the GUI thread's future watchers. They are local to
// runFileJob, so they are met through the events posted to them, before they handle them.
class FinishedNoticeCounter : public QObject
{
public:
    FinishedNoticeCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~FinishedNoticeCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    int notices = 0;
    int watchers = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FutureCallOut && watched->inherits("QFutureWatcherBase")
            && !watched->property("counted").toBool()) {
            watched->setProperty("counted", true);
            ++watchers;
            connect(static_cast<QFutureWatcherBase *>(watched), &QFutureWatcherBase::finished, this, [this] { ++notices; });
        }
        return false;
    }
};

} // namespace

// Background file jobs: the worker runs on the global pool while the caller waits in a local
// event loop that keeps the GUI thread alive, and every job ends its wait once.
class TestFileJob : public QObject
{
    Q_OBJECT

private slots:
    void waitEndsExactlyOnce_data();
    void waitEndsExactlyOnce();
    void argumentCopiesOutliveCallersValues();
    void nestedCallDuringWaitIsRefused();
};

void TestFileJob::waitEndsExactlyOnce_data()
{
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("ticks"); // of the waiting thread's timer before the worker is let go
    // Many rounds, so that the job finishes both before and after the watcher is given its future.
    QTest::newRow("a worker that returns at once") << 200 << 0;
    // Only the waiting thread's own timer releases the worker: the wait ends only if events are processed.
    QTest::newRow("a worker held until a timer of the waiting thread has fired five times") << 1 << 5;
}

void TestFileJob::waitEndsExactlyOnce()
{
    QFETCH(int, rounds);
    QFETCH(int, ticks);
    FinishedNoticeCounter counter;
    QSemaphore gate;
    int fired = 0;
    QTimer timer;
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, [&] {
        if (++fired == ticks)
            gate.release();
    });
    timer.start();
    for (int i = 0; i < rounds; ++i) {
        if (!ticks)
            gate.release(); // the worker passes at once
        QCOMPARE(runFileJob(&waitAtGate, &gate), FileOutcome::changed());
        QCOMPARE(counter.notices, i + 1);
    }
    QVERIFY(fired >= ticks);
    // A stray second notice would be delivered now at the latest.
    QCoreApplication::processEvents();
    QCOMPARE(counter.notices, rounds);
    QCOMPARE(counter.watchers, rounds);
}

void TestFileJob::argumentCopiesOutliveCallersValues()
{
    QSemaphore gate;
    // The caller gives up its storage and reuses it while the job waits; a job that referred
    // to it instead of holding copies would see the new values.
    std::optional<QString> path(QStringLiteral("/opt/qt/lib/libQtCore.so"));
    std::optional<std::string> extra(std::string("first value, long enough to live on the heap"));
    QByteArray root("/opt/qt");
    QTimer::singleShot(10, this, [&] {
        path.emplace(QStringLiteral("/somewhere/else"));
        extra.emplace("second value, long enough to live on the heap too");
        root.fill('x');
        gate.release();
    });
    auto echo = [](QSemaphore *gate, const QByteArray &root, const QString &path, const std::string &extra) {
        const FileOutcome waited = waitAtGate(gate);
        return waited.isFailure() ? waited
                                  : FileOutcome::changed(QString::fromLocal8Bit(root) + QLatin1Char('|') + path
                                                         + QLatin1Char('|') + QString::fromStdString(extra));
    };
    QCOMPARE(runFileJob(echo, &gate, root, *path, *extra),
             FileOutcome::changed(QStringLiteral("/opt/qt|/opt/qt/lib/libQtCore.so|first value, long enough to live on the heap")));
    QCOMPARE(*path, QStringLiteral("/somewhere/else"));
}

void TestFileJob::nestedCallDuringWaitIsRefused()
{
    QSemaphore gate;
    std::optional<FileOutcome> nested;
    // An event handled during the wait tries to start a second job.
    QTimer::singleShot(10, this, [&] {
        nested = runFileJob(&returnAtOnce);
        gate.release();
    });
    QCOMPARE(runFileJob(&waitAtGate, &gate), FileOutcome::changed());
    QVERIFY(nested.has_value());
    QCOMPARE(*nested, FileJob::refusedNestedJob());
    QVERIFY(nested->isFailure());
    // Once the outer wait is over, a job may start again.
    QCOMPARE(runFileJob(&returnAtOnce), FileOutcome::changed());
}

QTEST_GUILESS_MAIN(TestFileJob)
#include "tst_filejob.moc"
