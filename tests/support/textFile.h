// A text in a file of the test's own, open for reading by offset.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class TextFile {
  public:
    explicit TextFile(const std::string& text)
        : path_(std::filesystem::temp_directory_path() /
                ("needle-text-" + std::to_string(getpid()) + "-" + std::to_string(count()++))) {
        std::ofstream(path_, std::ios::binary) << text;
        fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    }
    ~TextFile() {
        close(fd_);
        std::filesystem::remove(path_);
    }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    // How many have been made: each has a file of its own.
    static unsigned& count() {
        static unsigned made = 0;
        return made;
    }

    std::filesystem::path path_;
    int fd_ = -1;
};
