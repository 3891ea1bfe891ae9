#ifndef ZEL_PATCHREGIONS_H
#define ZEL_PATCHREGIONS_H

#include "patching/base/region.h"
#include "patching/formats/pathslots.h"

#include <QByteArray>
#include <QVector>

// Where a patch may change a binary's bytes: its slots' rooms and its search paths, sorted by offset,
// and which of them are search paths. A binary compared with what a patch makes of it, or with its
// backup, may differ there and nowhere else.
struct PatchRegions {
    QVector<Region> regions;
    QVector<bool> isSearchPath;
};

PatchRegions patchRegions(const QVector<Region> &slotRooms, const QVector<Region> &searchPaths);

// The rooms of the slots in `original`, those rewriteSlots() gives of the same bytes, without
// rewriting them.
QVector<Region> slotRooms(const QByteArray &original, const SlotRule &rule);

#endif
