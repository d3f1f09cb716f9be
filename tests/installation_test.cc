// needle as a user meets it outside the build: its manual, its installation,
// its Debian package, and a real terminal.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "needleRun.h"

namespace fs = std::filesystem;

namespace {

struct Command {
    int status;
    std::string output;  // standard output and standard error together
};

Command run(const std::string& command) {
    Command result{-1, ""};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        result.output += buffer;
    }
    result.status = pclose(pipe);
    return result;
}

bool have(const std::string& tool) {
    return run("command -v " + tool).status == 0;
}

// `text` as one word for the shell.
std::string shellQuoted(const std::string& text) {
    std::string word = "'";
    for (const char c : text) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

std::string shellQuoted(const fs::path& path) {
    return shellQuoted(path.string());
}

std::string shellQuoted(const char* text) {
    return shellQuoted(std::string(text));
}

const std::string kGreeting = "Hello user! Welcome to the program.";

// Does the manual page render without a single warning?
TEST(Manual, RendersWithoutWarnings) {
    if (!have("groff")) {
        GTEST_SKIP() << "groff is not installed";
    }
    const Command render =
        run("groff -ww -man -Tutf8 -z " + shellQuoted(fs::path(NEEDLE_SOURCE) / "doc/needle.1"));
    EXPECT_EQ(render.status, 0);
    EXPECT_EQ(render.output, "");
}

// Does cmake --install put a working needle in bin/ and the manual in
// share/man/man1/ under the prefix?
TEST(Install, PutsProgramAndManualUnderThePrefix) {
    ScratchDir prefix("install");
    const Command install =
        run(std::string(CMAKE_COMMAND) + " --install " + shellQuoted(NEEDLE_BUILD) + " --prefix " +
            shellQuoted(prefix.path));
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_EQ(readWholeFile(prefix.path / "share/man/man1/needle.1"),
              readWholeFile(fs::path(NEEDLE_SOURCE) / "doc/needle.1"));
    const Command started =
        run("cd " + shellQuoted(prefix.path) + " && printf '0\\n' | ./bin/needle");
    EXPECT_EQ(started.output.rfind(kGreeting, 0), 0u) << started.output;
}

// Does the Debian package hold the program and its manual where dpkg puts them?
TEST(Package, DebHoldsProgramAndManual) {
    if (!have("dpkg-deb")) {
        GTEST_SKIP() << "dpkg-deb is not installed";
    }
    ScratchDir work("package");
    const Command pack =
        run(std::string(CPACK_COMMAND) + " -G DEB -B " + shellQuoted(work.path) + " --config " +
            shellQuoted(fs::path(NEEDLE_BUILD) / "CPackConfig.cmake"));
    ASSERT_EQ(pack.status, 0) << pack.output;
    fs::path deb;
    for (const auto& entry : fs::directory_iterator(work.path)) {
        if (entry.path().extension() == ".deb") {
            deb = entry.path();
        }
    }
    ASSERT_FALSE(deb.empty()) << pack.output;
    EXPECT_EQ(run("dpkg-deb -f " + shellQuoted(deb) + " Package").output, "needle\n");
    const fs::path root = work.path / "root";
    ASSERT_EQ(run("dpkg -x " + shellQuoted(deb) + " " + shellQuoted(root)).status, 0);
    EXPECT_TRUE(fs::exists(root / "usr/share/man/man1/needle.1"));
    const Command started = run("printf '0\\n' | " + shellQuoted(root / "usr/bin/needle"));
    EXPECT_EQ(started.output.rfind(kGreeting, 0), 0u) << started.output;
}

// A tmux server of this test's own, and its one pane.
class Terminal {
  public:
    explicit Terminal(const std::string& command)
        : tmux_("tmux -L needle-test-" + std::to_string(getpid()) + " ") {
        started_ =
            run(tmux_ + "new-session -d -s needle -x 120 -y 60 " + shellQuoted(command)).status ==
            0;
    }
    ~Terminal() { run(tmux_ + "kill-server"); }
    bool started() const { return started_; }

    // Waits until the last line on screen that is not empty ends with `text`.
    bool waitForLastLine(const std::string& text) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string screen = run(tmux_ + "capture-pane -p -t needle").output;
            while (!screen.empty() && (screen.back() == '\n' || screen.back() == ' ')) {
                screen.pop_back();
            }
            if (screen.size() >= text.size() &&
                screen.compare(screen.size() - text.size(), text.size(), text) == 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void type(const std::string& keys) const { run(tmux_ + "send-keys -t needle " + keys); }

  private:
    std::string tmux_;
    bool started_ = false;
};

// At a real terminal, is each prompt on screen while needle waits for the
// answer, is the report shown after it, and does 0 end the program?
TEST(Terminal, PromptsAreOnScreenBeforeTyping) {
    if (!have("tmux")) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ScratchDir dir("terminal");
    writeWholeFile(dir.path / "numbers.txt", "5 1 5 9\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1 3 3 3 5 8 9\n");
    const Terminal terminal("cd " + shellQuoted(dir.path) + " && " + shellQuoted(NEEDLE_BINARY) +
                            "; echo needle-exit=$?; sleep 60");
    if (!terminal.started()) {
        GTEST_SKIP() << "tmux cannot start a session here";
    }
    // Trailing spaces do not show on screen.
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number 1 - 3:"));
    terminal.type("1 Enter");
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number:"));
    terminal.type("5 Enter");
    ASSERT_TRUE(terminal.waitForLastLine(
        "There were 2 instances of 5 in the file with 4 comparisons made\n\n    Main Menu\n"
        "(1) Linear Search\n(2) Binary Search\n(3) Hash Search\n(0) exit\n"
        "Please give me a number 1 - 3:"));
    terminal.type("0 Enter");
    EXPECT_TRUE(terminal.waitForLastLine("Please give me a number 1 - 3: 0\nneedle-exit=0"));
}

}  // namespace
