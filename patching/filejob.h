#ifndef ZEL_FILEJOB_H
#define ZEL_FILEJOB_H

#include "patching/fileoutcome.h"

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

// Runs `worker(args...)` on the global thread pool with the job's own copies of
// the arguments, while the calling thread waits in a local event loop that keeps
// processing events. Returns the worker's outcome; a worker that throws ends as a
// failed outcome. Exactly one finished notice ends each wait. Never nested: the only
// caller is a command run, and the window starts no command while another one runs.
template <typename Worker, typename... Args>
FileOutcome runFileJob(Worker worker, const Args &...args)
{
    QEventLoop loop;
    QFutureWatcher<FileOutcome> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);

    // The lambda holds copies of the arguments, so the job depends on no storage of the caller.
    QFuture<FileOutcome> future =
        QtConcurrent::run([worker, args...]() { return FileJob::callWorker(worker, args...); });
    // A future that is already finished here still posts its finished notice
    // to the watcher, delivered once the loop below runs.
    watcher.setFuture(future);
    loop.exec(QEventLoop::AllEvents);
    // An application that is quitting ends every loop early; result() then waits for
    // the job, so that files are still treated one at a time.
    return future.result();
}

#endif
