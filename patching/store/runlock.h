#ifndef ZEL_RUNLOCK_H
#define ZEL_RUNLOCK_H

#include "patching/base/fileoutcome.h"

#include <QString>
#include <QtGlobal>

// One run at a time per installation: every command, in the window and the front end, holds the lock
// file in DIR (backuprule.h names it) from before it reads the tree until it is done, and a second run
// that would write, or that would read while another writes, is refused at once, before anything is
// read or written. The system holds the lock for the process
// (flock on POSIX, a handle shared with nobody on Windows), so a run that was killed never blocks the
// next; the file itself is removed when the run ends, or taken over and removed by the next run.

// Whether the run may write the tree. Runs that only read share the lock (two verify runs go on
// together), and go on without it where it cannot be made (a read-only file system, a directory
// they may not write), since they change nothing.
enum class RunAccess { Writes, ReadsOnly };

class RunLock
{
public:
    RunLock(const QString &qtPath, RunAccess access);
    ~RunLock();
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    // Why the run may not go on: RunInProgress, or RunLockNotMade with its cause; none otherwise.
    const Reason &refusal() const { return refused; }
    bool isHeld() const { return handle != noHandle; }

private:
    static constexpr qintptr noHandle = -1;
    QString path;
    qintptr handle = noHandle; // the open lock file: a descriptor, or a Windows HANDLE
    Reason refused;
};

#endif
