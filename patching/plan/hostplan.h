#ifndef ZEL_HOSTPLAN_H
#define ZEL_HOSTPLAN_H

#include "patching/plan/commandplan.h"

// A cross kit's host Qt: the places its files record, in their originals and as they are now, and
// where it is to be named: `hostQt` when given, else where the tool last moved it (so that a patch
// keeps that, and an unpatch knows those lines as its own), else where it was, moved with the kit when
// it lay inside it. target_qt.conf then names it relative to its folder, and HostData, relative to
// the host, names the kit where it now is.
void findHostQt(CommandPlan *plan, const QString &hostQt);

#endif
