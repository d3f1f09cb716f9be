// A memory cgroup of the test's own, made as a child of the cgroup the test
// runs in and removed again, for running needle under a memory limit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

class MemoryCgroup {
  public:
    // Makes the cgroup with a limit of `limitBytes`; when it cannot (not
    // root, no writable cgroup file system, no memory controller to hand),
    // path is empty and whyNot says why.
    explicit MemoryCgroup(std::uint64_t limitBytes);
    // Removes it; needle, the only process ever put in it, has ended by then.
    ~MemoryCgroup();
    MemoryCgroup(const MemoryCgroup&) = delete;
    MemoryCgroup& operator=(const MemoryCgroup&) = delete;

    std::filesystem::path path;
    std::string whyNot;
};
