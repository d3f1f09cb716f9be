// Runs the real needle in a folder of its own, with typed input, for the end-to-end tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

struct NeedleOutcome {
    std::string out;
    std::string err;
    int status;  // the exit status, 128 + signal if killed, -1 if it had to be stopped
    bool interrupted = false;  // with interruptAtPause: it was stopped while in its read
};

// A fresh empty folder for one test, removed again when the object goes.
struct ScratchDir {
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path path;
};

// How to start needle, beyond its folder and typed input.
struct RunOptions {
    unsigned long long memoryLimit = 0;  // address-space limit in bytes; 0: none
    bool closeStdin = false;             // start it with no standard input at all
    bool closeStdout = false;            // start it with no standard output at all
    std::string stdoutFile;              // write standard output there, not to the outcome
    bool stdoutToClosedPipe = false;     // a pipe whose reading end is already closed
    bool ignoreSigpipe = false;          // start it with SIGPIPE ignored
    std::vector<std::string> arguments;  // its command-line arguments
    std::string cgroup;                  // a cgroup folder to start it in; empty: the test's
    // How the typed input reaches it, instead of from a file: through a
    // non-blocking pipe, with a pause after `pauseAfter` bytes; through a
    // socket whose reads fail (ECONNRESET) once the input is read; or its
    // standard input is opened on `stdinPath`. The input must fit in a
    // pipe's buffer (64 KiB).
    std::size_t pauseAfter = std::string::npos;
    // With pauseAfter: the input comes through a socket with a receive
    // timeout instead, and at the pause needle, waiting in its read, is
    // stopped and continued, which fails that read with EINTR.
    bool interruptAtPause = false;
    bool inputFailsAtEnd = false;
    std::string stdinPath;
    // How long it may take before it is killed.
    std::chrono::seconds patience = std::chrono::minutes(1);
};

// Runs needle in `dir` with `input` as standard input. A needle that has not
// ended after `options.patience` is killed.
NeedleOutcome runNeedle(const std::filesystem::path& dir, const std::string& input,
                        const RunOptions& options = {});

// A needle that runs while the test types at it through a pipe and reads its
// standard output as it comes.
class LiveNeedle {
  public:
    explicit LiveNeedle(const std::filesystem::path& dir);
    ~LiveNeedle();
    LiveNeedle(const LiveNeedle&) = delete;
    LiveNeedle& operator=(const LiveNeedle&) = delete;

    // Types `text`, reading what needle answers meanwhile, so that neither
    // side can block the other however much each says.
    void type(const std::string& text);
    // Reads standard output until it ends with `text`, with something new
    // since the last wait; false after `patience`.
    bool waitFor(const std::string& text, std::chrono::seconds patience = std::chrono::seconds(60));
    // Everything read from its standard output so far.
    const std::string& seen() const { return seen_; }
    // Everything it has written to standard error so far.
    std::string errors() const;
    // Waits until needle is in system call `number` (SYS_openat, say), as
    // /proc says; false after a few seconds.
    bool waitInSystemCall(long number) const;
    // The most memory needle has had resident so far, in KiB.
    long peakKib() const;
    // Ends its input and waits for it to end; returns its exit status.
    int finish();

  private:
    // Reads what standard output holds now into seen_; false once it has ended.
    bool readAvailable();

    std::filesystem::path errorsFile_;  // its standard error, beside `dir`
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string seen_;
    std::size_t waited_ = 0;  // how much of seen_ the last wait saw
};

// Pieces of the dialogue, for tests that build an expected session in code.
extern const std::string kGreeting;  // up to the file status line
extern const std::string kMenu;      // the blank line, the menu and its prompt
extern const std::string kTarget;    // the target prompt, without the linear search's blank line
// The search report line.
std::string report(long long instances, long long target, long long comparisons);

std::string readWholeFile(const std::filesystem::path& path);
void writeWholeFile(const std::filesystem::path& path, const std::string& text);
