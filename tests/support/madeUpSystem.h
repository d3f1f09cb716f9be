// A made-up system for tests: the /proc and /sys files that the memory
// readings are taken from, in a folder of the test's own.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

class MadeUpSystem {
  public:
    // Writes each file, by its path below the folder ("proc/meminfo").
    explicit MadeUpSystem(const std::vector<std::pair<std::string, std::string>>& files)
        : root_(std::filesystem::temp_directory_path() /
                ("needle-system-" + std::to_string(getpid()))) {
        std::filesystem::remove_all(root_);
        for (const auto& [path, text] : files) {
            const std::filesystem::path file = root_ / path;
            std::filesystem::create_directories(file.parent_path());
            std::ofstream(file) << text;
        }
    }
    ~MadeUpSystem() { std::filesystem::remove_all(root_); }
    MadeUpSystem(const MadeUpSystem&) = delete;
    MadeUpSystem& operator=(const MadeUpSystem&) = delete;

    // The folder, to stand for "/".
    std::string root() const { return root_.string(); }

  private:
    std::filesystem::path root_;
};
