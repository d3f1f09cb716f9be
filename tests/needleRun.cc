// Running needle as a child process with its standard streams in files.
#include "needleRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& name)
    : path(fs::temp_directory_path() / ("needle-" + std::to_string(getpid()) + "-" + name)) {
    fs::remove_all(path);
    fs::create_directories(path);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void writeWholeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

NeedleOutcome runNeedle(const fs::path& dir, const std::string& input,
                        unsigned long long memoryLimit) {
    // The streams live outside `dir`, so that they are no file of the session.
    const fs::path io = dir.string() + ".io";
    fs::create_directories(io);
    writeWholeFile(io / "stdin", input);
    const pid_t child = fork();
    if (child == 0) {
        const int in = open((io / "stdin").c_str(), O_RDONLY);
        const int out = open((io / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((io / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (memoryLimit != 0) {
            const rlimit limit{memoryLimit, memoryLimit};
            setrlimit(RLIMIT_AS, &limit);
        }
        execl(NEEDLE_BINARY, "needle", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    int code = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (status != -1) {
        code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    NeedleOutcome outcome{readWholeFile(io / "stdout"), readWholeFile(io / "stderr"), code};
    fs::remove_all(io);
    return outcome;
}
