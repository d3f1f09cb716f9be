// A memory cgroup of the test's own: made under the test's cgroup, removed after.
#include "memoryCgroup.h"

#include <unistd.h>

#include <fstream>
#include <system_error>

#include "system/cgroups.h"

namespace fs = std::filesystem;

namespace {

bool writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

MemoryCgroup::MemoryCgroup(std::uint64_t limitBytes) {
    if (geteuid() != 0) {
        whyNot = "making a cgroup needs root";
        return;
    }
    const std::optional<CgroupPlace> parent = cgroupOf("memory");
    if (!parent) {
        whyNot = "this process is in no memory cgroup";
        return;
    }
    const fs::path child = fs::path(parent->folder) / ("needle-test-" + std::to_string(getpid()));
    std::error_code error;
    if (!fs::create_directory(child, error)) {
        whyNot = "cannot make " + child.string() + ": " + error.message();
        return;
    }
    path = child;  // from here on removed again in every case
    const char* const limitFile =
        fs::exists(child / "memory.limit_in_bytes") ? "memory.limit_in_bytes" : "memory.max";
    if (!fs::exists(child / limitFile)) {
        // cgroup v2 gives a child the memory controller only where its parent
        // has it on for its children, which a cgroup with processes in it
        // (this test's) cannot.
        whyNot = "the memory controller is not enabled for " + child.string();
        return;
    }
    if (!writeText(child / limitFile, std::to_string(limitBytes))) {
        whyNot = "cannot set the memory limit of " + child.string();
    }
}

MemoryCgroup::~MemoryCgroup() {
    if (!path.empty()) {
        // A cgroup with no processes left is removed with rmdir, not with
        // its files: they cannot be deleted.
        rmdir(path.c_str());
    }
}
