#ifndef ZEL_REPORTCOUNTS_H
#define ZEL_REPORTCOUNTS_H

#include "patching/commandrun.h"
#include "patching/inspection.h"

#include <QVector>

// The numbers both report formats close with.

struct OutcomeCounts {
    int changed = 0;
    int leftAlone = 0;
    int failed = 0;
};
OutcomeCounts countOutcomes(const QVector<FileReport> &reports);

struct InspectionCounts {
    int files = 0;
    int present = 0;    // the listed entry exists
    int backups = 0;    // an entry stands where its backup belongs
    int namingRoot = 0; // the file already names the installation root
    int unreadable = 0; // the file or its backup exists but could not be read
};
InspectionCounts countInspection(const Inspection &inspection);

#endif
