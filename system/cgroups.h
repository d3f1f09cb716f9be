// Where the process stands among the cgroups, and the small files of /proc
// and /sys that say so: what the memory and processor readings share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A file of /proc or /sys, whole; empty where it cannot be read.
std::string readSmallFile(const std::string& path);

// Takes the text up to the next `separator`, or all of it, off the front of
// `text`, and returns it.
std::string_view nextField(std::string_view& text, char separator);

// Takes any blanks off the front of `text`, then the whole number there,
// and returns it; nothing where none stands there (as for "max"). How every
// number of /proc and /sys is read.
std::optional<std::int64_t> takeNumber(std::string_view& text);

// The process's cgroup in the hierarchy of one controller.
struct CgroupPlace {
    std::string mount;   // the hierarchy's root: /sys/fs/cgroup for v2
    std::string folder;  // the process's own cgroup: the mount and its path
    bool v2 = false;

    // The folder and each ancestor up to the mount, whose limits all apply,
    // the process's own first. In a container the path may name a cgroup
    // outside what is mounted: then the mount is the container's own.
    std::vector<std::string> levels() const;
};

// Where the process is for `controller` ("memory", "cpu"), from the text of
// root/proc/self/cgroup: the v1 hierarchy that lists the controller, mounted
// under the names it lists or under the controller's own, or else the v2
// "0::" line; nothing where it is in neither. `root` is prefixed to
// the paths: a test hands it a folder of its own.
std::optional<CgroupPlace> cgroupOf(std::string_view controller, const std::string& root = "");
