// How many processors this process may use: what --threads defaults to.
#pragma once

#include <cstdint>
#include <string>

// The processors the process may run on (its CPU affinity), fewer where its
// cgroup, or one above it, allows less CPU time: v2's cpu.max, v1's
// cpu.cfs_quota_us over cpu.cfs_period_us, rounded down. At least 1. `root`
// is prefixed to the /proc and /sys paths: a test hands it a folder of its own.
unsigned usableProcessors(const std::string& root = "");

// Of `wanted` threads, how many fit in the address space left under an
// address-space limit (RLIMIT_AS), where each takes a stack and its
// reading's buffers, about 9 MiB, and 64 MiB stay free for the rest of the
// program; and in an eighth of `memory`, the bytes more the process can be
// given (see system/memoryLeft.h), where each takes `perThread`. The rest
// is the one-thread reading's, which may need all of it. At least 1.
unsigned threadsThatFit(unsigned wanted, std::uint64_t memory, std::uint64_t perThread);

// Has every thread allocate from the one memory arena of the main thread.
// The C library would give each thread that allocates an arena of its own,
// 64 MiB of address space reserved for the rest of the run, which an
// address-space limit counts and a later load would miss. The threads
// allocate once a reading, so they hardly ever wait for one another.
void shareOneMemoryArena();
