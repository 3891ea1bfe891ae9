#ifndef ZEL_REGION_H
#define ZEL_REGION_H

#include <QtGlobal>

// A run of bytes a patch may change (a path slot's room, a search path's string).
struct Region {
    qint64 offset = 0;
    qint64 size = 0;
};

inline bool operator==(const Region &a, const Region &b) { return a.offset == b.offset && a.size == b.size; }

#endif
