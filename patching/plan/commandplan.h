#ifndef ZEL_COMMANDPLAN_H
#define ZEL_COMMANDPLAN_H

#include "patching/formats/elfrunpath.h"
#include "patching/base/fileoutcome.h"
#include "patching/store/filestore.h"
#include "patching/qt/listing.h"
#include "patching/qt/buildfacts.h"
#include "patching/qt/generation.h"
#include "patching/qt/oldroots.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

// What a file is to a command, which tells how the command treats it.
enum class Treatment {
    Binary,    // its path slots, and with --deep its ELF search paths (qmake, QtCore, Qt's other ELF files)
    Config,    // one of the two qmake configuration files: the line rule, and with --deep the whole-path rule
    Metadata,  // build metadata: the whole-path rule with --deep; a plain patch keeps what --deep wrote
    OtherName, // another listed name leads to the same file and treats it
    Refused,   // the plan already knows what becomes of it: `refusal` says
};

// Bytes the plan read for a worker, handed over rather than copied: the worker takes them, and
// changing them then costs no second copy of the file.
class HeldBytes
{
public:
    HeldBytes() = default;
    explicit HeldBytes(QByteArray bytes) : m_held(std::make_shared<Held>(Held{std::move(bytes), false})) {}
    bool held() const { return m_held && !m_held->taken; }
    const QByteArray &bytes() const { static const QByteArray none; return held() ? m_held->bytes : none; }
    // The bytes, which this and every copy of it then no longer hold: whoever needs them again reads them.
    QByteArray take()
    {
        QByteArray taken;
        if (held()) {
            taken.swap(m_held->bytes);
            m_held->taken = true;
        }
        m_held.reset();
        return taken;
    }
    // This copy lets go of the bytes; the others keep them.
    void release() { m_held.reset(); }

private:
    struct Held {
        QByteArray bytes;
        bool taken;
    };
    std::shared_ptr<Held> m_held;
};

// One file of the plan, and what the plan learned of it, once: the workers take this rather than
// find it out again.
struct PlannedFile {
    QString path;          // absolute, as listed
    QString relativePath;  // relative to the Qt directory, with "/" separators
    QString target;        // the file written: `path`, or the file a link inside the installation leads to
    QString canonicalTarget; // `target` with every link resolved, once the plan located it below DIR;
                             // empty when nothing is there or the file was refused first
    QString backupPath;
    bool backupExists = false;
    bool exists = false;   // a regular file is there
    FileKind kind = FileKind::Binary;
    Treatment treatment = Treatment::Binary;
    bool searchPaths = false;   // with --deep: its ELF search paths are rewritten too
    QString treatedAs;          // OtherName: the path of the name that treats the file
    FileOutcome refusal;        // Refused: the outcome
    // What the plan read: the original (the backup's bytes, or the file's when it has none), and for
    // a text file with a backup, or for inspect and verify, what the file holds now.
    HeldBytes original;
    HeldBytes current;
    FileStamp originalStamp;    // of the file read for `original` (the backup, or the file)
    FileStamp currentStamp;     // of the file itself, when read
    bool holdsSlots = false;    // in the original
    ElfSearchPaths originalSearchPaths;
    QVector<QByteArray> prefixes;        // what the original records
    QByteArray devicePrefix;             // a cross build's prefix on the device, which the original records beside them
    QVector<QByteArray> currentPrefixes; // what the file records now, when it was read
    // A binary of the walk: what its worker concluded while the plan read it, kept only when the plan's
    // context came out as it was then, so that the worker need not read the file a second time.
    std::optional<FileOutcome> walkOutcome;
    // While the plan reads a file of the walk, and only then: the file as the walk opened it, which a
    // worker judging it compares with rather than opening it again.
    ReadableFile *openCurrent = nullptr;

    QString readPath() const { return backupExists ? backupPath : target; }
};

// What the workers share of the plan. A member added here is added to operator== below: a binary the
// walk judged in one context is judged again in any other.
struct PlanContext {
    const QtGeneration *generation = nullptr; // which generation the installation holds
    Command command = Command::Patch;
    QString qtPath;
    QByteArray rootBytes;   // qtPath in the local 8-bit encoding the files hold
    QString canonicalRoot;  // qtPath with every link resolved; empty when it is not there
    bool deep = false;
    QVector<QByteArray> oldRoots;      // every old root, local 8-bit
    QVector<QByteArray> earlierPlaces; // those read from what files hold now
    BuildFacts build;                  // what the installation says of its build
    QVector<QByteArray> devicePrefixes; // a cross build's prefixes on the device: no old root, kept as they are
    // A cross kit's host Qt (hostqt.h): where its files recorded it, where it is taken to be now (the
    // place --host-qt gives, else the one the files name now), and whether the tool moved it there.
    bool crossKit = false;
    QVector<QByteArray> hostOldRoots;
    QByteArray hostRoot;
    bool hostMoved = false;
    QVector<QByteArray> earlierHosts; // host places the tool wrote before
    QVector<QByteArray> hostPlaces;   // every host place the kit's files named, then and now
    bool hostData = false;            // target_qt.conf's HostData named the kit, at `hostDataRest` below it
    QByteArray hostDataRest;
};

bool operator==(const PlanContext &a, const PlanContext &b);

// How the slots of the installation take the new root, as its generation and build say.
SlotRule slotRule(const PlanContext &context);


// What a command does to an installation, computed once before anything is written: each file
// once with its treatment, in the order they are treated (the window's files, then with --deep the
// build metadata and the ELF files). The run, the dry run, inspect and verify all read it.
struct CommandPlan {
    PlanContext context;
    OldRoots oldRoots;
    bool rootEncodable = true; // false: a patch would name a directory that is not there, so every file fails
    bool identifiesQt = false; // a file holding Qt 4's path slots
    QVector<PlannedFile> files;
};

// The context of `command` on the installation at `qtPath`, its facts computed once for every file.
PlanContext planContext(Command command, const QString &qtPath, bool deep = false);

// Whether the plan is for a run (a worker compares a binary with its backup as it reads it) or for a
// look (inspect, verify: what every file holds now is read too).
enum class PlanPurpose { Run, Look };

// The worker's conclusion on a binary of the walk, in `context`, the plan's as far as the files
// before the walk tell it; nothing when the worker is to judge the file when its turn comes.
using WalkJudge = std::function<std::optional<FileOutcome>(PlannedFile file, const PlanContext &context)>;

// The plan of `command` on the installation at `qtPath`. Without `deep` it is the window's command.
// `budget` is what it may keep of the files' bytes for the workers, all files together (each no larger
// than Limits::maxHeldFileSize).
// `hostQt`: where a cross kit's host Qt now is (--host-qt), empty when not given.
// `judge`, when given, judges each binary of the walk while its bytes are in memory (walkOutcome).
CommandPlan planCommand(Command command, const QString &qtPath, bool deep = false, PlanPurpose purpose = PlanPurpose::Run,
                        qint64 budget = Limits::heldBytesBudget, const QString &hostQt = QString(), const WalkJudge &judge = {});

// The most a file of this kind may hold to be read.
qint64 readLimit(FileKind kind);

// What a file holds now, as the plan kept it or read again: for inspect and verify, which look at every
// file, held or not. A read again that fails says why.
LoadedFile currentBytes(const PlannedFile &file);

// How the window's command treats the file named `path`, by its name: configuration text, build
// metadata, or a binary with slots.
Treatment treatmentByName(const QtGeneration &generation, const QString &path);

// The plan of one file of the installation at `qtPath`, alone, as a worker called for it is given it.
PlannedFile planOneFile(const QString &qtPath, const QString &path, Treatment treatment,
                        PlanPurpose purpose = PlanPurpose::Run);

// Whether `qtPath` survives the local 8-bit encoding the files are written in: a letter it
// lacks would come out as "?" and name a directory that is not there.
bool rootEncodable(const QString &qtPath);

#endif
