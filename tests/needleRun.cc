// Running needle as a child process with its standard streams in files or pipes.
#include "needleRun.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

const std::string kGreeting =
    "Hello user! Welcome to the program.  This program will search for a needle in the haystack "
    "for you!\nLoading up the unsorted file and sorted file\n";
const std::string kMenu =
    "\n    Main Menu\n(1) Linear Search\n(2) Binary Search\n(3) Hash Search\n(0) exit\n"
    "Please give me a number 1 - 3: ";
const std::string kTarget = "What int do you want me to look for?\nPlease give me a number: ";

std::string report(long long instances, long long target, long long comparisons) {
    return "There were " + std::to_string(instances) + " instances of " + std::to_string(target) +
           " in the file with " + std::to_string(comparisons) + " comparisons made\n";
}

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

// In the child: becomes needle, or exits with 127.
[[noreturn]] static void execNeedle(const fs::path& dir, const RunOptions& options) {
    if (chdir(dir.c_str()) != 0) {
        _exit(127);
    }
    if (options.memoryLimit != 0) {
        // rlim_t is 32 bits on a 32-bit system, where no limit can be more.
        const auto bytes = static_cast<rlim_t>(
            std::min<unsigned long long>(options.memoryLimit, std::numeric_limits<rlim_t>::max()));
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (!options.cgroup.empty()) {
        const std::string pid = std::to_string(getpid());
        const int procs = open((options.cgroup + "/cgroup.procs").c_str(), O_WRONLY);
        if (procs < 0 || write(procs, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) {
            _exit(127);
        }
        close(procs);
    }
    signal(SIGPIPE, options.ignoreSigpipe ? SIG_IGN : SIG_DFL);
    std::vector<char*> argv = {const_cast<char*>("needle")};
#if defined(NEEDLE_EMULATOR)
    // Through the emulator that runs this test, "qemu-aarch64 -L /usr/...":
    // its words, then needle. This is the child: the buffer is its own copy.
    static char emulator[] = NEEDLE_EMULATOR;
    argv.clear();
    for (char* word = std::strtok(emulator, " "); word != nullptr;
         word = std::strtok(nullptr, " ")) {
        argv.push_back(word);
    }
    argv.push_back(const_cast<char*>(NEEDLE_BINARY));
#endif
    for (const std::string& argument : options.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
#if defined(NEEDLE_EMULATOR)
    execvp(argv[0], argv.data());
#else
    execv(NEEDLE_BINARY, argv.data());
#endif
    _exit(127);
}

// Waits for `child` for up to `patience`; its exit status, 128 + signal, or -1.
static int waitForChild(pid_t child, std::chrono::seconds patience = std::chrono::minutes(1)) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Writes all of `text` to `fd`, which has room for it.
static void writeAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote <= 0) {
            return;
        }
        done += static_cast<std::size_t>(wrote);
    }
}

// The typed input's way in, for the child's standard input, and the end the
// test types into (-1 when the input is a file).
struct InputChannel {
    int childEnd = -1;
    int typingEnd = -1;
};

static InputChannel openInput(const fs::path& io, const std::string& input,
                              const RunOptions& options) {
    InputChannel channel;
    int ends[2] = {-1, -1};
    if (options.interruptAtPause && socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0) {
        // The timeout is what makes a stop end the read with EINTR rather
        // than restart it; it is never reached.
        const timeval timeout{60, 0};
        setsockopt(ends[0], SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        channel = {ends[0], ends[1]};
    } else if (options.pauseAfter != std::string::npos && pipe(ends) == 0) {
        // Non-blocking on needle's side: the flag belongs to the open pipe,
        // so needle's descriptor has it too.
        fcntl(ends[0], F_SETFL, O_NONBLOCK);
        channel = {ends[0], ends[1]};
    } else if (options.inputFailsAtEnd && socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0) {
        // A byte left unread on the test's side: closing it then resets the
        // connection, and needle's next read fails once it has the input.
        writeAll(ends[0], "x");
        channel = {ends[0], ends[1]};
    } else {
        writeWholeFile(io / "stdin", input);
        const fs::path from =
            options.stdinPath.empty() ? io / "stdin" : fs::path(options.stdinPath);
        channel.childEnd = open(from.c_str(), O_RDONLY);
    }
    return channel;
}

// Whether `child` is waiting in system call `number` with `firstArgument`
// (any, where empty), as /proc/PID/syscall says: the call's number, then its
// first argument.
static bool inSystemCall(pid_t child, long number, const std::string& firstArgument) {
    std::ifstream syscall("/proc/" + std::to_string(child) + "/syscall");
    long now = -1;
    std::string first;
    return syscall >> now >> first && now == number &&
           (firstArgument.empty() || first == firstArgument);
}

// Waits until `child` is in system call `number`; whether it got there
// within a few seconds.
static bool waitForSystemCall(pid_t child, long number, const std::string& firstArgument = "") {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!inSystemCall(child, number, firstArgument)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Stops `child` once it waits in a read of its standard input, and lets it
// go on; whether it was caught there within a few seconds.
static bool interruptRead(pid_t child) {
    if (!waitForSystemCall(child, SYS_read, "0x0")) {
        return false;
    }
    kill(child, SIGSTOP);
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(child), &info, WSTOPPED | WNOWAIT);
    kill(child, SIGCONT);
    return true;
}

// Types `input` into the channel's typing end and closes it; says whether
// the child was interrupted in its read where asked to.
static bool typeInput(const InputChannel& channel, const std::string& input,
                      const RunOptions& options, pid_t child) {
    if (channel.typingEnd < 0) {
        return false;
    }
    const std::size_t pause = std::min(options.pauseAfter, input.size());
    writeAll(channel.typingEnd, input.substr(0, pause));
    bool interrupted = false;
    if (options.interruptAtPause) {
        interrupted = interruptRead(child);
        writeAll(channel.typingEnd, input.substr(pause));
    } else if (pause < input.size()) {
        // Long enough that needle finds the pipe empty in the middle.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        writeAll(channel.typingEnd, input.substr(pause));
    }
    close(channel.typingEnd);
    return interrupted;
}

NeedleOutcome runNeedle(const fs::path& dir, const std::string& input, const RunOptions& options) {
    // The streams live outside `dir`, so that they are no file of the session.
    const fs::path io = dir.string() + ".io";
    fs::create_directories(io);
    const InputChannel channel = openInput(io, input, options);
    int closedPipe[2] = {-1, -1};
    if (options.stdoutToClosedPipe && pipe(closedPipe) == 0) {
        close(closedPipe[0]);
    }
    const pid_t child = fork();
    if (child == 0) {
        if (channel.typingEnd >= 0) {
            close(channel.typingEnd);
        }
        const int in = channel.childEnd;
        const fs::path outPath =
            options.stdoutFile.empty() ? io / "stdout" : fs::path(options.stdoutFile);
        const int out = options.stdoutToClosedPipe
                            ? closedPipe[1]
                            : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((io / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) {
            _exit(127);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const int fd : {in, out, err}) {
            if (fd > 2) {
                close(fd);
            }
        }
        if (options.closeStdin) {
            close(0);
        }
        if (options.closeStdout) {
            close(1);
        }
        execNeedle(dir, options);
    }
    if (closedPipe[1] >= 0) {
        close(closedPipe[1]);
    }
    close(channel.childEnd);
    const bool interrupted = typeInput(channel, input, options, child);
    const int status = waitForChild(child, options.patience);
    NeedleOutcome outcome{readWholeFile(io / "stdout"), readWholeFile(io / "stderr"), status,
                          interrupted};
    fs::remove_all(io);
    return outcome;
}

LiveNeedle::LiveNeedle(const fs::path& dir) : errorsFile_(dir.string() + ".stderr") {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        const int err = open(errorsFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err, 2);
        for (const int fd : {in[0], in[1], out[0], out[1], err}) {
            close(fd);
        }
        execNeedle(dir, RunOptions{});
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    // type() writes what the pipe takes and reads answers in between.
    fcntl(input_, F_SETFL, O_NONBLOCK);
}

LiveNeedle::~LiveNeedle() {
    if (pid_ > 0) {
        finish();
    }
    if (output_ >= 0) {
        close(output_);
    }
    std::error_code ignored;
    fs::remove(errorsFile_, ignored);
}

std::string LiveNeedle::errors() const {
    return readWholeFile(errorsFile_);
}

void LiveNeedle::type(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        pollfd ready[2] = {{input_, POLLOUT, 0}, {output_, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0) {
            return;
        }
        if (ready[1].revents != 0 && !readAvailable()) {
            return;  // needle has ended
        }
        if (ready[0].revents & (POLLERR | POLLHUP)) {
            return;
        }
        if (ready[0].revents & POLLOUT) {
            const ssize_t wrote = write(input_, text.data() + done, text.size() - done);
            if (wrote < 0 && errno != EAGAIN) {
                return;
            }
            done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
        }
    }
}

bool LiveNeedle::readAvailable() {
    char buffer[65536];
    const ssize_t got = read(output_, buffer, sizeof buffer);
    if (got <= 0) {
        return false;
    }
    seen_.append(buffer, static_cast<std::size_t>(got));
    return true;
}

bool LiveNeedle::waitFor(const std::string& text, std::chrono::seconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    // Only what came since the last wait can end the wait: the same answer
    // twice in a row must be said twice.
    while (seen_.size() == waited_ || seen_.size() < text.size() ||
           seen_.compare(seen_.size() - text.size(), text.size(), text) != 0) {
        pollfd ready{output_, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline || poll(&ready, 1, 100) < 0) {
            return false;
        }
        if (ready.revents != 0 && !readAvailable()) {
            return false;
        }
    }
    waited_ = seen_.size();
    return true;
}

bool LiveNeedle::waitInSystemCall(long number) const {
    return waitForSystemCall(pid_, number);
}

long LiveNeedle::peakKib() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

int LiveNeedle::finish() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
    // Read the rest of its output, so that it never waits on a full pipe.
    std::string rest;
    std::thread drain([fd = output_, &rest] {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = read(fd, buffer, sizeof buffer)) > 0) {
            rest.append(buffer, static_cast<std::size_t>(got));
        }
    });
    const int status = waitForChild(pid_);
    drain.join();
    seen_ += rest;
    pid_ = -1;
    return status;
}
