#include "patching/patchregions.h"

#include <QPair>

#include <algorithm>

PatchRegions patchRegions(const QVector<Region> &slotRooms, const QVector<Region> &searchPaths)
{
    QVector<QPair<Region, bool>> all;
    for (const Region &region : slotRooms)
        all.append({region, false});
    for (const Region &region : searchPaths)
        all.append({region, true});
    std::sort(all.begin(), all.end(), [](const auto &a, const auto &b) { return a.first.offset < b.first.offset; });
    PatchRegions merged;
    for (const auto &region : all) {
        merged.regions.append(region.first);
        merged.isSearchPath.append(region.second);
    }
    return merged;
}

QVector<Region> slotRooms(const QByteArray &original, const SlotRule &rule)
{
    QVector<Region> rooms;
    // A slot without room (no zero byte within reach) is none rewriteSlots() may write.
    forEachPathSlot(original, rule, [&rooms](const FoundSlot &slot) {
        if (slot.room > 0)
            rooms.append({slot.offset, slot.room});
    });
    return rooms;
}
