#ifndef ZEL_BACKUPPATCH_H
#define ZEL_BACKUPPATCH_H

#include "patching/plan/commandplan.h"
#include "patching/base/fileoutcome.h"
#include "patching/store/filestore.h"
#include "patching/formats/pathslots.h"

#include <QByteArray>
#include <QVector>

#include <optional>

// What a patch computed for one file from its original bytes (its backup's, or its own when it has
// none yet).
struct PatchedContent {
    QByteArray content;        // the new content
    QVector<Change> changes;   // a binary rewritten in place: what gives its original back, for its backup
    QByteArray original;       // a text file: its original, for its backup
    Reason failure;            // to report even when the content is written (a slot that could not take its value)
    Reason leftAloneReason;    // why an unchanged file is left alone; UpToDate when None
    Reason changedNote;        // what to say of a change (lines written since the last patch kept)
    QVector<Region> mayDiffer; // a binary: where a patch may have changed it; a byte elsewhere is another build
};

// The bytes the plan read for `file`'s original, or read again when the plan could not keep them; a
// file changed since the plan read it is a failure.
bool takeOriginal(PlannedFile &file, QByteArray *bytes, FileOutcome *failure);

// What a text file with a backup holds now, as the plan kept it or read again when it could not keep
// it; a file changed since the plan read it is a failure.
bool holdCurrent(PlannedFile &file, FileOutcome *failure);

// `expected` compared with what the file `file` targets holds now: the bytes the plan read, or the file.
Comparison compareWithCurrent(const PlannedFile &file, const QByteArray &expected, const QVector<Region> &mayDiffer);

// What a binary compared with the bytes it is to hold (patched, or its backup's) comes to before they
// are written: nothing, when they may be; UpToDate when it holds them; a failure when it cannot be read,
// or when it differs beyond what a patch changes (another build).
std::optional<FileOutcome> binaryBeforeWrite(const PlannedFile &file, const Comparison &comparison, const PlanContext &context);

// The course every patch worker ends with: no backup and no write when nothing changes; else the
// backup made once from the original (never replaced) and the new content written in one step.
// A file with a backup is compared with the new content as it is read (`compared` when the worker
// compared it already); a binary that differs from it beyond `mayDiffer` is another build, refused.
FileOutcome writePatched(const PlannedFile &file, PatchedContent &patched, const PlanContext &context, WriteMode mode,
                         std::optional<Comparison> compared = std::nullopt);

// Writes `content` over the file `file` targets, or says whether it could (a dry run), the new file of
// a missing one taking the mode of `likeIfNew`.
FileOutcome writeContent(const PlannedFile &file, const QByteArray &content, const QString &likeIfNew, WriteMode mode,
                         const Reason &note = Reason());

#endif
