#ifndef ZEL_FILEOUTCOME_H
#define ZEL_FILEOUTCOME_H

#include <QString>
#include <QStringList>

// What a worker did to the one file it was given, as a code and its arguments. The window and the
// command-line front end make the sentence (app/reasontext.h); the engine never does.
enum class OutcomeStatus {
    Changed,   // the file got new content (in a dry run: would get it)
    LeftAlone, // nothing to do, for an ordinary reason
    Failed     // the file could not be treated as asked; as it was, unless its reason says partlyWritten
};

// Why: one code per situation a user can meet. The stable names scripts read are in reasontext.cpp.
enum class ReasonCode {
    None,
    NoSuchFile,
    PathHoldsBack,           // the name holds ".back": a backup, never treated
    DirectoryHoldsBack,      // below DIR, a directory on the way holds ".back"
    NoBackup,
    UpToDate,
    NoPathSlot,
    NamesNoOldRoot,
    IsDirectory,
    SameFileAs,              // arg: the name that treats the file
    LinkOutsideInstallation,
    OtherFileSystem,         // a mount point below DIR, not entered
    UnreadableName,          // a name the system's encoding cannot spell
    DirectoryNotRead,        // cause
    FileNotRead,             // cause
    BackupNotRead,           // cause
    BackupNotMade,           // cause
    FileNotWritten,          // cause
    SlotsTooSmall,           // args: the keys, one each
    PrefixLengthFixed,       // args: the bytes the new root needs, the length QtCore reads its prefix with
    SlotsUnread,             // QtCore finds its place by itself and never reads its slots
    DevicePrefixKept,        // arg: a cross build's prefix on the target device, which stays
    HostQtMissing,           // arg: where a cross kit's host Qt is named, holding no host tools
    OtherBuild,              // the file differs from its backup beyond what a patch changes
    PatchedWithoutBackup,
    UnlistedSlots,           // a QtCore file holding slots that a patch without --deep does not treat
    EditsKept,               // patched, lines written since the last patch kept
    DeepOnly,                // build metadata, which only --deep rewrites
    OldRootInDeepLines,      // a configuration file naming the old root only in lines --deep rewrites
    EditedSincePatch,        // an unpatch would lose what was written since the last patch
    ChangedDuringRun,
    RootNotEncodable,
    TooManyPrefixes,         // arg: the limit
    FileTooLarge,            // args: the file's size and the most a file of its kind may hold, in bytes
    ElfMalformed,            // cause: what is wrong
    ElfWithoutSections,
    RunPathTooLong,          // args: the bytes the shortest spelling needs, the room
    RunPathShared,
    WorkerException,         // arg: what was thrown
    UnknownException,        // a worker threw something else
    // the run as a whole, refused before it reads the tree
    RunInProgress,           // another run holds the installation's lock
    RunLockNotMade,          // cause: why a run that writes could not make the lock
    // verify: why a file is not relocated, when its worker gives no reason of its own
    NamesOldRoot,            // arg: the old root it still names
    SearchPathNamesOldRoot,  // arg: the old root its RUNPATH or RPATH still names
    StaleSlots,              // a path slot that does not hold what a patch writes
    WouldChange,             // a patch --deep would still change it
    // verify: why bin/qmake is not run, or how it failed
    QmakeMissing,
    QmakeNotRunnable,        // args: qmake, the system's error
    QmakeNotOwned,           // arg: qmake
    QmakeWritableByOthers,   // arg: qmake
    QmakeGivesNoPath,        // arg: qmake
    QmakeQueryFailed,        // args: qmake, and what it said first when it exited with an error; cause and
                             // its detail tell how; the last code, as tst_engine's check of the names reads them
};

// What stood in the way, when the code alone does not say it.
enum class Cause {
    None,
    AccessDenied,
    ReadOnlyFileSystem,
    NoSpace,
    QuotaExceeded,
    Busy,
    FileSizeLimit,
    IsDirectory,
    NotFound,
    IoError,
    NameTooLong,
    TooManyOpenFiles,
    OutOfMemory,
    TooLarge,              // more than a file of its kind may hold: reported as ReasonCode::FileTooLarge
    NotRegularFile,
    PartialRead,
    BrokenLink,
    OtherNamesOfAnotherOwner,
    PrivilegeWouldBeLost,
    PrivilegeLost,
    AttributeNotCopied,    // detail: the attribute's name
    System,                // detail: the system's own text
    Crashed,
    ExitCode,              // detail: the exit code
    AnswerTooLong,         // detail: the limit in KiB
    NoAnswerInTime,        // detail: seconds
    NotAPath,              // detail: the answer
    // what is wrong with an ELF file
    ElfNoSignature,
    ElfUnknownClass,
    ElfHeaderCut,
    ElfSectionsOutside,
    ElfSegmentsOutside,
    ElfDynamicDisagrees,
    ElfDynamicOutside,
    ElfDynamicWithoutStrings,
    ElfStringsDisagree,
    ElfStringsOutside,
    ElfStringsOverTables,
    ElfStringOutside,
    ElfNamesOutside,
    ElfTablesOverlap,      // the last cause, as tst_engine's check of the names reads them
};

struct Reason {
    ReasonCode code = ReasonCode::None;
    QStringList args;
    Cause cause = Cause::None;
    QString detail;            // the cause's argument
    bool partlyWritten = false; // an in-place write stopped half-way

    Reason() = default;
    Reason(ReasonCode c, QStringList a = {}) : code(c), args(std::move(a)) {}
    Reason(ReasonCode c, Cause why, QString what = QString()) : code(c), cause(why), detail(std::move(what)) {}
    bool isNone() const { return code == ReasonCode::None; }
};

bool operator==(const Reason &a, const Reason &b);
inline bool operator!=(const Reason &a, const Reason &b) { return !(a == b); }

// What stopped an operation on a file, before the code of the step it stopped is known.
struct Failure {
    Cause cause = Cause::None;
    QString detail;
    bool partlyWritten = false;
    Reason as(ReasonCode code) const
    {
        Reason reason(code, cause, detail);
        reason.partlyWritten = partlyWritten;
        return reason;
    }
};

// What a dry run foresees the real run writing for one file, to weigh against the free space.
struct DiskNeed {
    qint64 backupBytes = 0; // the backup, when it is not there yet
    qint64 newBytes = 0;    // the new file, written beside the old one before it is renamed over it
    bool any() const { return backupBytes > 0 || newBytes > 0; }
};

struct FileOutcome {
    OutcomeStatus status = OutcomeStatus::LeftAlone;
    Reason reason;
    DiskNeed need; // a dry run's forecast, which what the outcome says (and ==) leaves out

    bool isFailure() const { return status == OutcomeStatus::Failed; }

    static FileOutcome changed(const Reason &why = Reason()) { return {OutcomeStatus::Changed, why, DiskNeed()}; }
    static FileOutcome leftAlone(const Reason &why) { return {OutcomeStatus::LeftAlone, why, DiskNeed()}; }
    static FileOutcome failed(const Reason &why) { return {OutcomeStatus::Failed, why, DiskNeed()}; }
};

bool operator==(const FileOutcome &a, const FileOutcome &b);
inline bool operator!=(const FileOutcome &a, const FileOutcome &b) { return !(a == b); }

// Whether a worker writes, or only tells what it would do (no backup, no write).
enum class WriteMode { Apply, DryRun };

// Stable English name of a status, for machine-readable reports ("changed", "left-alone", "failed").
QString outcomeStatusKey(OutcomeStatus status);

#endif
