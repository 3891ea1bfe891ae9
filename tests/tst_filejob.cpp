#include "patching/filejob.h"

#include <QCoreApplication>
#include <QException>
#include <QFutureWatcher>
#include <QPointer>
#include <QSemaphore>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>

// Lets a failed comparison show both outcomes.
char *toString(const FileOutcome &outcome)
{
    return QTest::toString(outcomeStatusKey(outcome.status) + QStringLiteral(": ") + outcome.reason);
}

namespace {

// Long enough never to be reached by a working wait; it only turns a hang into a failure.
constexpr int gateTimeoutMs = 60000;

FileOutcome waitAtGate(QSemaphore *gate)
{
    if (!gate->tryAcquire(1, gateTimeoutMs))
        return FileOutcome::failed(QStringLiteral("gate never opened"));
    return FileOutcome::changed(QStringLiteral("through the gate"));
}

FileOutcome returnAtOnce()
{
    return FileOutcome::changed(QStringLiteral("done"));
}

FileOutcome echoArguments(QSemaphore *gate, const QByteArray &root, const QString &path,
                          const std::string &extra)
{
    if (!gate->tryAcquire(1, gateTimeoutMs))
        return FileOutcome::failed(QStringLiteral("gate never opened"));
    return FileOutcome::changed(QString::fromLocal8Bit(root) + QLatin1Char('|') + path + QLatin1Char('|')
                                + QString::fromStdString(extra));
}

class CustomJobException : public QException
{
public:
    void raise() const override { throw *this; }
    CustomJobException *clone() const override { return new CustomJobException(*this); }
    const char *what() const noexcept override { return "custom job failure"; }
};

enum class Thrown { RuntimeError, Int, PlainQException, DerivedQException, UnhandledException, String };

FileOutcome throwKind(Thrown kind)
{
    switch (kind) {
    case Thrown::RuntimeError:
        throw std::runtime_error("disk on fire");
    case Thrown::Int:
        throw 42;
    case Thrown::PlainQException:
        throw QException();
    case Thrown::DerivedQException:
        throw CustomJobException();
    case Thrown::UnhandledException:
        throw QUnhandledException();
    case Thrown::String:
        throw std::string("a string");
    }
    return FileOutcome::changed();
}

// Counts the finished() signals of every future watcher of the GUI thread. Watchers
// are local to runFileJob, so they are met through the events posted to them: the
// filter runs before the watcher handles its event, early enough to hear the signal.
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
            && !m_known.contains(watched)) {
            m_known.insert(watched);
            ++watchers;
            auto *watcher = static_cast<QFutureWatcherBase *>(watched);
            connect(watcher, &QFutureWatcherBase::finished, this, [this] { ++notices; });
            // A later watcher may be built at the same address.
            connect(watcher, &QObject::destroyed, this, [this, watched] { m_known.remove(watched); });
        }
        return false;
    }

private:
    QSet<QObject *> m_known;
};

} // namespace

Q_DECLARE_METATYPE(Thrown)

// Background file jobs: the worker runs on the global pool, the caller waits in a
// local event loop that keeps the GUI thread alive, and every job ends its wait once.
class TestFileJob : public QObject
{
    Q_OBJECT

private slots:
    void guiThreadKeepsProcessingEventsDuringJob();
    void instantWorkerEndsWaitExactlyOnce();
    void slowWorkerEndsWaitExactlyOnce();
    void throwingWorkerEndsAsFailedOutcome_data();
    void throwingWorkerEndsAsFailedOutcome();
    void argumentCopiesOutliveCallersValues();
    void callsRunStrictlyInSequence();
    void nestedCallDuringWaitIsRefused();
};

void TestFileJob::guiThreadKeepsProcessingEventsDuringJob()
{
    QSemaphore gate;
    int ticks = 0;
    int busyPoolThreadsSeen = 0;
    QTimer timer;
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, [&] {
        ++ticks;
        busyPoolThreadsSeen = qMax(busyPoolThreadsSeen, QThreadPool::globalInstance()->activeThreadCount());
        // The worker is released only by the GUI thread's own timer: the wait cannot
        // end unless events are processed meanwhile.
        if (ticks == 5)
            gate.release();
    });
    timer.start();

    const FileOutcome outcome = runFileJob(&waitAtGate, &gate);

    QCOMPARE(outcome, FileOutcome::changed(QStringLiteral("through the gate")));
    QVERIFY2(ticks >= 5, qPrintable(QStringLiteral("timer fired %1 times during the wait").arg(ticks)));
    QVERIFY(busyPoolThreadsSeen >= 1);
}

void TestFileJob::instantWorkerEndsWaitExactlyOnce()
{
    FinishedNoticeCounter counter;
    std::atomic<int> calls{0};
    auto worker = [&calls]() {
        ++calls;
        return returnAtOnce();
    };
    // Many rounds, so that the job finishes both before and after the watcher is given its future.
    const int rounds = 200;
    for (int i = 0; i < rounds; ++i) {
        const FileOutcome outcome = runFileJob(worker);
        QCOMPARE(outcome, FileOutcome::changed(QStringLiteral("done")));
        QCOMPARE(counter.notices, i + 1);
    }
    QCOMPARE(calls.load(), rounds);
    QCOMPARE(counter.watchers, rounds);
    // A stray second notice would be delivered now at the latest.
    QCoreApplication::processEvents();
    QCOMPARE(counter.notices, rounds);
}

void TestFileJob::slowWorkerEndsWaitExactlyOnce()
{
    FinishedNoticeCounter counter;
    QSemaphore gate;
    QTimer::singleShot(20, this, [&gate] { gate.release(); });
    QCOMPARE(runFileJob(&waitAtGate, &gate), FileOutcome::changed(QStringLiteral("through the gate")));
    QCoreApplication::processEvents();
    QCOMPARE(counter.notices, 1);
    QCOMPARE(counter.watchers, 1);
}

void TestFileJob::throwingWorkerEndsAsFailedOutcome_data()
{
    QTest::addColumn<Thrown>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("a standard exception gives its message")
        << Thrown::RuntimeError << Reason::workerException(QStringLiteral("disk on fire"));
    QTest::newRow("an int, which is no exception class at all")
        << Thrown::Int << Reason::workerException(QStringLiteral("exception inconnue"));
    QTest::newRow("a plain QException")
        << Thrown::PlainQException << Reason::workerException(QStringLiteral("std::exception"));
    QTest::newRow("a QException subclass gives its own message")
        << Thrown::DerivedQException << Reason::workerException(QStringLiteral("custom job failure"));
    QTest::newRow("a QUnhandledException")
        << Thrown::UnhandledException << Reason::workerException(QStringLiteral("std::exception"));
    QTest::newRow("a std::string thrown by value")
        << Thrown::String << Reason::workerException(QStringLiteral("exception inconnue"));
}

void TestFileJob::throwingWorkerEndsAsFailedOutcome()
{
    QFETCH(Thrown, kind);
    QFETCH(QString, reason);

    const FileOutcome outcome = runFileJob(&throwKind, kind);
    QCOMPARE(outcome, FileOutcome::failed(reason));

    // The next job runs as usual: nothing of the failed one is left behind.
    QCOMPARE(runFileJob(&returnAtOnce), FileOutcome::changed(QStringLiteral("done")));
}

void TestFileJob::argumentCopiesOutliveCallersValues()
{
    QSemaphore gate;
    // Storage that the caller gives up and reuses for other values while the job waits;
    // a job that referred to it instead of holding copies would see the new values.
    std::optional<QString> path(QStringLiteral("/opt/qt/lib/libQtCore.so"));
    std::optional<std::string> extra(std::string("first value, long enough to live on the heap"));
    QByteArray root("/opt/qt");

    QTimer::singleShot(10, this, [&] {
        path.reset();
        path.emplace(QStringLiteral("/somewhere/else"));
        extra.reset();
        extra.emplace("second value, long enough to live on the heap too");
        root.fill('x');
        gate.release();
    });

    const FileOutcome outcome = runFileJob(&echoArguments, &gate, root, *path, *extra);

    QCOMPARE(*path, QStringLiteral("/somewhere/else"));
    QCOMPARE(outcome, FileOutcome::changed(QStringLiteral(
                          "/opt/qt|/opt/qt/lib/libQtCore.so|first value, long enough to live on the heap")));
}

void TestFileJob::callsRunStrictlyInSequence()
{
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<bool> firstFinished{false};
    std::atomic<bool> secondSawFirstFinished{false};
    QSemaphore gate;

    auto enter = [&] {
        const int now = ++running;
        int seen = mostAtOnce.load();
        while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
        }
    };
    auto slowFirst = [&] {
        enter();
        const FileOutcome outcome = waitAtGate(&gate);
        firstFinished = true;
        --running;
        return outcome;
    };
    auto quickSecond = [&] {
        enter();
        secondSawFirstFinished = firstFinished.load();
        --running;
        return returnAtOnce();
    };

    QTimer::singleShot(20, this, [&gate] { gate.release(); });
    QCOMPARE(runFileJob(slowFirst), FileOutcome::changed(QStringLiteral("through the gate")));
    QVERIFY(firstFinished.load());
    QCOMPARE(runFileJob(quickSecond), FileOutcome::changed(QStringLiteral("done")));

    QVERIFY(secondSawFirstFinished.load());
    QCOMPARE(mostAtOnce.load(), 1);
}

void TestFileJob::nestedCallDuringWaitIsRefused()
{
    QSemaphore gate;
    std::atomic<int> nestedWorkerCalls{0};
    auto nestedWorker = [&nestedWorkerCalls] {
        ++nestedWorkerCalls;
        return returnAtOnce();
    };
    std::optional<FileOutcome> nestedOutcome;

    QTimer::singleShot(10, this, [&] {
        // An event handled during the wait tries to start a second job.
        nestedOutcome = runFileJob(nestedWorker);
        gate.release();
    });
    QCOMPARE(runFileJob(&waitAtGate, &gate), FileOutcome::changed(QStringLiteral("through the gate")));

    QVERIFY(nestedOutcome.has_value());
    QCOMPARE(*nestedOutcome, FileJob::refusedNestedJob());
    QVERIFY(nestedOutcome->isFailure());
    QCOMPARE(nestedWorkerCalls.load(), 0);

    // Once the outer wait is over, a job may start again.
    QCOMPARE(runFileJob(nestedWorker), FileOutcome::changed(QStringLiteral("done")));
    QCOMPARE(nestedWorkerCalls.load(), 1);
}

QTEST_GUILESS_MAIN(TestFileJob)
#include "tst_filejob.moc"
