#ifndef ZEL_PLANRECORD_H
#define ZEL_PLANRECORD_H

#include "patching/plan/commandplan.h"

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

// Reads one file of the plan once, and what it says. `budget` is what the plan may still keep for the
// workers. A file of the walk that is not a binary, or holds neither path slots nor search paths, is
// no file of the plan: `wanted` is then false.
PlannedFile readRecord(const PlanContext &context, const QString &path, Treatment treatment, PlanStep step,
                       PlanPurpose purpose, qint64 *budget, bool *wanted = nullptr);

#endif
