// Where the process stands among the cgroups.
#include "system/cgroups.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string_view nextField(std::string_view& text, char separator) {
    const std::size_t end = std::min(text.find(separator), text.size());
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return field;
}

std::optional<std::int64_t> takeNumber(std::string_view& text) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

std::vector<std::string> CgroupPlace::levels() const {
    std::vector<std::string> levels;
    for (std::string level = folder;; level.erase(level.rfind('/'))) {
        levels.push_back(level);
        if (level.size() <= mount.size()) {
            return levels;
        }
    }
}

std::optional<CgroupPlace> cgroupOf(std::string_view controller, const std::string& root) {
    const std::string text = readSmallFile(root + "/proc/self/cgroup");
    std::string_view lines = text;
    std::optional<CgroupPlace> v2;
    while (!lines.empty()) {
        std::string_view line = nextField(lines, '\n');
        // hierarchy-ID:controller-list:path
        const std::string_view id = nextField(line, ':');
        const std::string_view controllers = nextField(line, ':');
        const std::string path(line == "/" ? std::string_view() : line);
        if (id == "0" && controllers.empty()) {
            v2 = CgroupPlace{root + "/sys/fs/cgroup", root + "/sys/fs/cgroup" + path, true};
        }
        for (std::string_view list = controllers; !list.empty();) {
            if (nextField(list, ',') == controller) {
                // Mounted under the names it lists, as systemd does, with a
                // link of each controller's own name; or under its own alone.
                std::string mount = root + "/sys/fs/cgroup/" + std::string(controllers);
                std::error_code error;
                if (!std::filesystem::is_directory(mount, error)) {
                    mount = root + "/sys/fs/cgroup/" + std::string(controller);
                }
                return CgroupPlace{mount, mount + path, false};
            }
        }
    }
    return v2;
}
