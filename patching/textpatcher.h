#ifndef ZEL_TEXTPATCHER_H
#define ZEL_TEXTPATCHER_H

#include "patching/plan/commandplan.h"
#include "patching/formats/textrules.h"
#include "patching/base/fileoutcome.h"

#include <QString>

// Rewrites one text file of the installation so that it names the context's root: in the two qmake configuration
// files the QMAKESPEC, QMAKESPEC_ORIGINAL, QT_BUILD_TREE and QT_SOURCE_TREE assignments, and with
// --deep, there and in the build metadata, every path naming an old root (textrules.h). The content is
// computed from the file's backup, made first if missing; lines written since the last patch are kept.
FileOutcome patchTextFile(PlannedFile file, const PlanContext &context, WriteMode mode = WriteMode::Apply);

// The same for one of the two configuration files at `filePath` alone, as the window's patch treats it.
FileOutcome patchTextFile(const QString &root, const QString &filePath);

// The rules that apply to `file` in `context`.
TextRules textRulesFor(const PlannedFile &file, const PlanContext &context);

#endif
