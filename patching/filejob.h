#ifndef ZEL_FILEJOB_H
#define ZEL_FILEJOB_H

#include "patching/base/fileoutcome.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

namespace FileJob {
FileOutcome thrownOutcome(const std::exception &e);
FileOutcome unknownThrownOutcome();

// Calls a worker; whatever it throws, of any type, ends as a failed outcome for its file.
template <typename Worker, typename... Args>
FileOutcome callWorker(const Worker &worker, const Args &...args)
{
    try {
        return worker(args...);
    } catch (const std::exception &e) {
        return thrownOutcome(e);
    } catch (...) {
        return unknownThrownOutcome();
    }
}
} // namespace FileJob

// Runs `task()` on the global thread pool while the calling thread waits in a local event loop that
// keeps processing events, and returns its result. Exactly one finished notice ends each wait.
template <typename Task>
auto runInBackground(Task task) -> decltype(task())
{
    using Result = decltype(task());
    QEventLoop loop;
    QFutureWatcher<Result> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    QFuture<Result> future = QtConcurrent::run(std::move(task));
    // A future that is already finished here still posts its finished notice
    // to the watcher, delivered once the loop below runs.
    watcher.setFuture(future);
    loop.exec(QEventLoop::AllEvents);
    // An application that is quitting ends every loop early; result() then waits for
    // the job, so that files are still treated one at a time.
    return future.result();
}

// Runs `worker(args...)` as a background job with the job's own copies of the arguments; a worker
// that throws ends as a failed outcome. Never nested: the only caller is a command run, and the
// window starts no command while another one runs.
template <typename Worker, typename... Args>
FileOutcome runFileJob(Worker worker, const Args &...args)
{
    // The lambda holds copies of the arguments, so the job depends on no storage of the caller.
    return runInBackground([worker, args...]() { return FileJob::callWorker(worker, args...); });
}

#endif
