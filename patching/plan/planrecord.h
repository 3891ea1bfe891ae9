#ifndef ZEL_PLANRECORD_H
#define ZEL_PLANRECORD_H

#include "patching/plan/commandplan.h"
#include "patching/store/places.h"

#include <QHash>
#include <QString>

// Where a file of the plan was found, which tells its treatment.
enum class PlanStep { Window, Metadata, Walk };

// Whether a file's first bytes start as one that may hold Qt's path slots or library search paths
// does: ELF, PE, an ar archive.
bool startsLikeBinary(const QByteArray &head);

// The treatment of a file found by `step`, by its name.
Treatment treatmentFor(const QtGeneration &generation, const QString &path, PlanStep step);

// `file`, refused with `outcome`: nothing of its bytes is kept.
PlannedFile refusedFile(PlannedFile file, const FileOutcome &outcome);

// What a plan carries from one file it reads to the next: the bytes it may still keep for the
// workers, and the canonical paths of the directories it met.
struct PlanReading {
    qint64 budget = 0;
    CanonicalDirectories directories;
    QHash<QString, bool> mountBetween; // whether a mount lies between DIR and each directory met
    QHash<QString, qint64> devices;    // the device of each root asked about
    std::function<std::optional<FileOutcome>(PlannedFile file)> judge; // a binary of the walk, in the context known then
};

// What the walk knows of a file it found under its own name, which the plan need not ask the file
// again: it is a regular file, and its directory's listing told whether its backup lies beside it.
struct WalkedFile {
    bool backupBeside = false;
    HeadLook head = HeadLook::NotRead; // its first bytes, as the walk found them
    qint64 size = -1;                  // its size when the walk looked
    ReadableFile *opened = nullptr;    // the file as the walk opened it, while the plan reads it
};

// Whether a patch with --deep rewrites the file's ELF search paths: a binary that has some, or whose
// search paths could not be read (its worker then says why).
bool rewritesSearchPaths(const PlannedFile &file);

// Reads one file of the plan once, and what it says. A file of the walk that is not a binary, or holds
// neither path slots nor search paths, is no file of the plan: `wanted` is then false. `walked` is
// what the walk knows of it, when it found it under its own name.
PlannedFile readRecord(const PlanContext &context, const QString &path, Treatment treatment, PlanStep step,
                       PlanPurpose purpose, PlanReading *reading, bool *wanted = nullptr, const WalkedFile *walked = nullptr);

#endif
