// How many processors this process may use: what --threads defaults to.
#pragma once

#include <string>

// The processors the process may run on (its CPU affinity), fewer where its
// cgroup, or one above it, allows less CPU time: v2's cpu.max, v1's
// cpu.cfs_quota_us over cpu.cfs_period_us, rounded down. At least 1. `root`
// is prefixed to the /proc and /sys paths: a test hands it a folder of its own.
unsigned usableProcessors(const std::string& root = "");
