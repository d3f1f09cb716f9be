// Runs the real needle in a folder of its own, with typed input, for the end-to-end tests.
#pragma once

#include <filesystem>
#include <string>

struct NeedleOutcome {
    std::string out;
    std::string err;
    int status;  // the exit status, 128 + signal if killed, -1 if it had to be stopped
};

// A fresh empty folder for one test, removed again when the object goes.
struct ScratchDir {
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path path;
};

// Runs needle in `dir` with `input` as standard input, under an address-space
// limit of `memoryLimit` bytes if it is not 0. A needle that has not ended
// after a minute is killed.
NeedleOutcome runNeedle(const std::filesystem::path& dir, const std::string& input,
                        unsigned long long memoryLimit = 0);

std::string readWholeFile(const std::filesystem::path& path);
void writeWholeFile(const std::filesystem::path& path, const std::string& text);
