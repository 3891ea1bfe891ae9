// One program run as a whole process, as a user would start it, and what it cost.
#pragma once

#include <string>
#include <vector>

struct ChildRun {
    double seconds = 0;     // from the spawn until wait4 returns
    long peakKiB = 0;       // the child's own maximum resident set (ru_maxrss)
    double userSeconds = 0; // CPU time in user space (ru_utime)
};

// Runs `arguments` with its standard output thrown away; a failed run ends the bench.
ChildRun runChild(const std::vector<std::string> &arguments);
