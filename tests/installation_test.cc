// needle as a user meets it outside the build: its manual, its installation,
// its Debian package, and a real terminal.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fifoWriter.h"
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

const std::string kFirstWords = "Hello user! Welcome to the program.";

// make as a user runs it, with `variables` ("SUDO_UID=65534") in its
// environment. Under `make test` this process inherits the outer make's
// command-line variables (BUILD=..., CMAKE_FLAGS=...) in its environment and
// MAKEFLAGS, which would otherwise override the Makefile's defaults in each
// test's own make: it starts from an empty environment but for PATH and HOME.
std::string cleanMake(const std::string& variables = "") {
    return "env -i PATH=\"$PATH\" HOME=\"$HOME\" " + variables + " make";
}
const std::string kMake = cleanMake();

// The file `name` of the build tree.
fs::path built(const char* name) {
    return fs::path(NEEDLE_BUILD) / name;
}

// Does the manual page render without a single warning, with the version in
// its footer?
TEST(Manual, RendersWithoutWarningsAndShowsTheVersion) {
    if (!have("groff")) {
        GTEST_SKIP() << "groff is not installed (Debian package groff-base)";
    }
    const Command check = run("groff -ww -man -Tutf8 -z " + shellQuoted(built("needle.1")));
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.output, "");
    const Command page = run("groff -man -Tascii " + shellQuoted(built("needle.1")));
    EXPECT_NE(page.output.find("needle " NEEDLE_VERSION), std::string::npos) << page.output;
}

// The examples of the manual's EXAMPLES section, as the page's source has
// them: each a command after "$ " and what it prints, groff's escapes undone.
struct Example {
    std::string command;
    std::string output;
};

std::vector<Example> manualExamples() {
    std::istringstream page(readWholeFile(fs::path(NEEDLE_SOURCE) / "doc/needle.1.in"));
    std::vector<Example> examples;
    std::string line;
    bool inExamples = false, inBlock = false;
    while (std::getline(page, line)) {
        if (line.rfind(".SH", 0) == 0) {
            inExamples = line == ".SH EXAMPLES";
        } else if (inExamples && line == ".nf") {
            inBlock = true;
            examples.emplace_back();
        } else if (inBlock && line == ".fi") {
            inBlock = false;
        } else if (inBlock) {
            line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
            line = std::regex_replace(line, std::regex(R"(\\e)"), "\\");
            if (examples.back().command.empty() && line.rfind("$ ", 0) == 0) {
                examples.back().command = line.substr(2);
            } else {
                examples.back().output += line + "\n";
            }
        }
    }
    return examples;
}

// Does every example of the manual print what the page says it prints, in
// the directory that the page describes? The session typed at a terminal is
// typed here too: each answer after its prompt on screen is what is typed.
TEST(Manual, ExamplesPrintWhatThePageSays) {
    const std::vector<Example> examples = manualExamples();
    ASSERT_EQ(examples.size(), 2u);
    ScratchDir dir("manual-examples");
    writeWholeFile(dir.path / "numbers.txt", "5 1 5 9\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1 3 3 3 5 8 9\n");
    for (const Example& example : examples) {
        if (example.command == "needle") {
            const std::regex answered("(Please give me a number(?: 1 - 3)?: )(\\S+)\n");
            std::string typed;
            for (auto it =
                     std::sregex_iterator(example.output.begin(), example.output.end(), answered);
                 it != std::sregex_iterator(); ++it) {
                typed += (*it)[2].str() + "\n";
            }
            const NeedleOutcome session = runNeedle(dir.path, typed);
            EXPECT_EQ(session.out, std::regex_replace(example.output, answered, "$1"));
            EXPECT_EQ(session.status, 0);
        } else {
            const std::string bin = fs::path(NEEDLE_BINARY).parent_path().string();
            const Command scripted =
                run("cd " + shellQuoted(dir.path) + " && PATH=" + shellQuoted(bin) +
                    ":\"$PATH\" && " + example.command);
            EXPECT_EQ(scripted.output, example.output) << example.command;
            EXPECT_EQ(scripted.status, 0) << example.command;
        }
    }
}

// The files an installation holds, below `root`, sorted.
std::string filesBelow(const fs::path& root) {
    return run("cd " + shellQuoted(root) + " && find . ! -type d | sort").output;
}

const char* const kInstalledFiles =
    "./usr/bin/needle\n"
    "./usr/share/doc/needle/changelog.Debian.gz\n"
    "./usr/share/doc/needle/copyright\n"
    "./usr/share/lintian/overrides/needle\n"
    "./usr/share/man/man1/needle.1.gz\n";

// Do make install and make uninstall, with PREFIX and DESTDIR, put the
// program, its manual, licence and changelog in place and take exactly them
// away again?
TEST(Install, MakeInstallAndUninstallHonourPrefixAndDestdir) {
    ScratchDir stage("install");
    const std::string make = kMake + " -C " + shellQuoted(NEEDLE_SOURCE) +
                             " BUILD=" + shellQuoted(NEEDLE_BUILD) +
                             " PREFIX=/usr DESTDIR=" + shellQuoted(stage.path) + " ";
    const Command install = run(make + "install");
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_EQ(filesBelow(stage.path), kInstalledFiles);
    EXPECT_EQ(readWholeFile(stage.path / "usr/share/man/man1/needle.1.gz"),
              readWholeFile(built("needle.1.gz")));
    const Command started = run("printf '0\\n' | " + shellQuoted(stage.path / "usr/bin/needle"));
    EXPECT_EQ(started.output.rfind(kFirstWords, 0), 0u) << started.output;

    const Command uninstall = run(make + "uninstall");
    ASSERT_EQ(uninstall.status, 0) << uninstall.output;
    EXPECT_EQ(filesBelow(stage.path), "");
    EXPECT_EQ(run("cd " + shellQuoted(stage.path) + " && find . -mindepth 1").output, "./usr\n")
        << "the folders the install made, emptied, go too; the prefix stays";
}

// Can a clone in a folder whose path has a space be built, run, installed
// under a prefix with a space, uninstalled and packaged? The test suite is
// left out of the clone's build: only the paths are on trial here.
TEST(Install, EveryTargetWorksFromAPathWithSpaces) {
    if (!have("git")) {
        GTEST_SKIP() << "git is not installed";
    }
    ScratchDir scratch("spaces");
    const fs::path clone = scratch.path / "my dir" / "needle";
    const fs::path prefix = scratch.path / "my prefix";
    fs::create_directories(clone);
    // The tracked files as they are now, committed or not: what a clone of
    // this tree would hold.
    const Command copy =
        run("cd " + shellQuoted(NEEDLE_SOURCE) + " && git ls-files -z | xargs -0 " +
            "cp --parents -t " + shellQuoted(clone));
    if (copy.status != 0) {
        GTEST_SKIP() << "the source is not a git checkout: " << copy.output;
    }
    const std::string make =
        kMake + " -C " + shellQuoted(clone) + " CMAKE_FLAGS=-DNEEDLE_TESTS=OFF ";
    const Command started = run("printf '1\\n7\\n0\\n' | " + make + "run");
    ASSERT_EQ(started.status, 0) << started.output;
    EXPECT_NE(started.output.find(kFirstWords), std::string::npos) << started.output;
    EXPECT_NE(started.output.find("There were 3 instances of 7 in the file with 15 comparisons"),
              std::string::npos)
        << started.output;

    const std::string withPrefix = make + "PREFIX=" + shellQuoted(prefix) + " ";
    const Command install = run(withPrefix + "install");
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_TRUE(fs::exists(prefix / "bin/needle"));
    EXPECT_TRUE(fs::exists(prefix / "share/man/man1/needle.1.gz"));
    const Command uninstall = run(withPrefix + "uninstall");
    ASSERT_EQ(uninstall.status, 0) << uninstall.output;
    EXPECT_EQ(filesBelow(prefix), "");

    if (have("dpkg-shlibdeps")) {
        const Command deb = run(make + "deb");
        EXPECT_EQ(deb.status, 0) << deb.output;
        const Command listed = run("ls " + shellQuoted(clone / "build/package") + "/*.deb");
        EXPECT_EQ(listed.status, 0) << listed.output << "\n" << deb.output;
    }
}

// Acted out as root: after a build that is someone else's, as after `make`
// then `sudo make install`, do make install and make uninstall leave no file
// of root's in the build tree, where it would stop that someone's next make?
TEST(Install, SudoInstallLeavesNothingOfRootsInTheBuildTree) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "acting out sudo needs root";
    }
    struct stat tree {};
    ASSERT_EQ(stat(NEEDLE_BUILD, &tree), 0);
    const std::string owner = std::to_string(tree.st_uid) + ":" + std::to_string(tree.st_gid);
    const std::string build = shellQuoted(NEEDLE_BUILD);
    ASSERT_EQ(run("chown -R 65534:65534 " + build).status, 0);
    ScratchDir stage("sudo-install");
    const std::string make = cleanMake("SUDO_UID=65534") + " -C " + shellQuoted(NEEDLE_SOURCE) +
                             " BUILD=" + build + " PREFIX=/usr DESTDIR=" + shellQuoted(stage.path) +
                             " ";
    const Command install = run(make + "install");
    const Command uninstall = run(make + "uninstall");
    // What CTest itself writes meanwhile, in Testing/, is not the install's.
    const Command roots = run("find " + build + " -path " + shellQuoted(NEEDLE_BUILD "/Testing") +
                              " -prune -o -user 0 -print");
    run("chown -R " + owner + " " + build);
    EXPECT_EQ(install.status, 0) << install.output;
    EXPECT_EQ(uninstall.status, 0) << uninstall.output;
    EXPECT_EQ(roots.output, "");
}

// Does make deb refuse, saying why, where dpkg-shlibdeps is missing, rather
// than make a package that depends on nothing?
TEST(Package, MakeDebWithoutDpkgShlibdepsFailsSayingWhy) {
    const std::string make = run("command -v make").output;
    ASSERT_FALSE(make.empty());
    const Command deb =
        run("env -i PATH=/nonexistent " + make.substr(0, make.size() - 1) + " -C " +
            shellQuoted(NEEDLE_SOURCE) + " BUILD=" + shellQuoted(NEEDLE_BUILD) + " deb");
    EXPECT_NE(deb.status, 0);
    EXPECT_NE(deb.output.find("make deb: dpkg-shlibdeps"), std::string::npos) << deb.output;
    EXPECT_NE(deb.output.find("apt-get install dpkg-dev"), std::string::npos) << deb.output;
}

// Without GoogleTest, does needle still configure, and does make test say
// what to install?
TEST(Build, MakeTestWithoutGoogleTestSaysWhatToInstall) {
    ScratchDir build("no-gtest");
    const Command test =
        run(kMake + " -C " + shellQuoted(NEEDLE_SOURCE) + " BUILD=" + shellQuoted(build.path) +
            " CMAKE_FLAGS=-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON test");
    EXPECT_NE(test.status, 0);
    EXPECT_NE(test.output.find("GoogleTest not found"), std::string::npos) << test.output;
    EXPECT_NE(test.output.find("make test: GoogleTest was not found; install it (Debian: sudo "
                               "apt-get install libgtest-dev)"),
              std::string::npos)
        << test.output;
    EXPECT_TRUE(fs::exists(build.path / "Makefile")) << "configured all the same";
}

// The package cpack makes from this build in `dir`, its files dated `epoch`.
fs::path packageIn(const fs::path& dir, const std::string& epoch) {
    const Command pack =
        run("SOURCE_DATE_EPOCH=" + epoch + " " + CPACK_COMMAND + " -G DEB -B " + shellQuoted(dir) +
            " --config " + shellQuoted(built("CPackConfig.cmake")));
    EXPECT_EQ(pack.status, 0) << pack.output;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".deb") {
            return entry.path();
        }
    }
    ADD_FAILURE() << "no package: " << pack.output;
    return {};
}

// Does the Debian package hold the stripped program, its compressed manual,
// the licence and the changelog, and depend on what the program links?
TEST(Package, HoldsWhatDebianExpects) {
    if (!have("dpkg-deb") || !have("dpkg-shlibdeps")) {
        GTEST_SKIP() << "dpkg-deb or dpkg-shlibdeps is not installed (Debian package dpkg-dev)";
    }
    ScratchDir work("package");
    const fs::path deb = packageIn(work.path, "1765000000");
    ASSERT_FALSE(deb.empty());
    EXPECT_EQ(run("dpkg-deb -f " + shellQuoted(deb) + " Package").output, "needle\n");
    const std::string depends = run("dpkg-deb -f " + shellQuoted(deb) + " Depends").output;
    EXPECT_NE(depends.find("libc6 (>="), std::string::npos) << depends;
    if (NEEDLE_RUNTIME_LINKED_IN) {
        // The C++ library is linked into the program, but for the sanitizers
        // (see CMakeLists.txt).
        EXPECT_EQ(depends.find("libstdc++"), std::string::npos) << depends;
    } else {
        EXPECT_NE(depends.find("libstdc++6 (>="), std::string::npos) << depends;
    }
    const fs::path root = work.path / "root";
    ASSERT_EQ(run("dpkg -x " + shellQuoted(deb) + " " + shellQuoted(root)).status, 0);
    EXPECT_EQ(filesBelow(root), kInstalledFiles);
    EXPECT_EQ(run("readelf -S " + shellQuoted(root / "usr/bin/needle")).output.find(".symtab"),
              std::string::npos)
        << "the program is not stripped";
    EXPECT_NE(readWholeFile(root / "usr/share/doc/needle/copyright").find("License: Expat"),
              std::string::npos);
    const Command started = run("printf '0\\n' | " + shellQuoted(root / "usr/bin/needle"));
    EXPECT_EQ(started.output.rfind(kFirstWords, 0), 0u) << started.output;
}

// Are two packages made from the same build on the same date byte for byte
// the same?
TEST(Package, IsReproducible) {
    if (!have("dpkg-shlibdeps")) {
        GTEST_SKIP() << "dpkg-shlibdeps is not installed (Debian package dpkg-dev)";
    }
    ScratchDir first("package-1");
    ScratchDir second("package-2");
    const fs::path a = packageIn(first.path, "1765000000");
    const fs::path b = packageIn(second.path, "1765000000");
    ASSERT_FALSE(a.empty() || b.empty());
    EXPECT_EQ(readWholeFile(a), readWholeFile(b));
}

// Does lintian find neither an error nor a warning in the package?
TEST(Package, IsLintianClean) {
    if (!have("lintian") || !have("dpkg-shlibdeps")) {
        GTEST_SKIP() << "lintian or dpkg-shlibdeps is not installed (Debian packages lintian, "
                        "dpkg-dev)";
    }
    ScratchDir work("package-lint");
    const fs::path deb = packageIn(work.path, "1765000000");
    ASSERT_FALSE(deb.empty());
    const Command lint = run("lintian --fail-on error,warning " + shellQuoted(deb));
    EXPECT_EQ(lint.status, 0) << lint.output;
}

// A tmux server of this test's own, and its one pane.
class Terminal {
  public:
    // `joinWrapped`: screen() joins the rows of a line that wrapped, so that
    // a line is found whatever the width.
    explicit Terminal(const std::string& command, int columns = 120, bool joinWrapped = false)
        : tmux_("tmux -L needle-test-" + std::to_string(getpid()) + " "),
          capture_(joinWrapped ? "capture-pane -p -J -t needle" : "capture-pane -p -t needle") {
        started_ = run(tmux_ + "new-session -d -s needle -x " + std::to_string(columns) +
                       " -y 60 " + shellQuoted(command))
                       .status == 0;
    }
    ~Terminal() { run(tmux_ + "kill-server"); }
    bool started() const { return started_; }

    // Copies what the program in the pane writes from now on, byte for byte,
    // to `file`.
    bool record(const fs::path& file) const {
        return run(tmux_ + "pipe-pane -t needle " + shellQuoted("cat >> " + shellQuoted(file)))
                   .status == 0;
    }

    // What the pane shows, row by row, without the empty lines and spaces at
    // its end.
    std::string screen() const {
        std::string shown = run(tmux_ + capture_).output;
        while (!shown.empty() && (shown.back() == '\n' || shown.back() == ' ')) {
            shown.pop_back();
        }
        return shown;
    }
    // Waits until the screen shows `text`, or until the last line on screen
    // that is not empty ends with it.
    bool waitForText(const std::string& text) const { return waitFor(text, false); }
    bool waitForLastLine(const std::string& text) const { return waitFor(text, true); }
    void type(const std::string& keys) const { run(tmux_ + "send-keys -t needle " + keys); }
    // Makes the pane `columns` wide, as a user dragging the window would.
    bool resize(int columns) const {
        return run(tmux_ + "resize-window -t needle -x " + std::to_string(columns)).status == 0;
    }

  private:
    bool waitFor(const std::string& text, bool atEnd) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string shown = screen();
            if (atEnd ? shown.size() >= text.size() &&
                            shown.compare(shown.size() - text.size(), text.size(), text) == 0
                      : shown.find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string tmux_;
    std::string capture_;
    bool started_ = false;
};

// The shell command that starts needle in `dir`, followed by `after`.
std::string needleIn(const fs::path& dir, const std::string& after) {
    return "cd " + shellQuoted(dir) + " && " + shellQuoted(NEEDLE_BINARY) + "; " + after;
}

// The menu after a report, as the screen shows it: no space after the prompt.
const std::string kMenuOnScreen =
    "\n\n    Main Menu\n(1) Linear Search\n(2) Binary Search\n(3) Hash Search\n(0) exit\n"
    "Please give me a number 1 - 3:";

// At a real terminal, is each prompt on screen while needle waits for the
// answer, is the report shown after it, and does 0 end the program?
TEST(Terminal, PromptsAreOnScreenBeforeTyping) {
    if (!have("tmux")) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ScratchDir dir("terminal");
    writeWholeFile(dir.path / "numbers.txt", "5 1 5 9\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1 3 3 3 5 8 9\n");
    const Terminal terminal(needleIn(dir.path, "echo needle-exit=$?; sleep 60"));
    if (!terminal.started()) {
        GTEST_SKIP() << "tmux cannot start a session here";
    }
    // Trailing spaces do not show on screen.
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number 1 - 3:"));
    terminal.type("1 Enter");
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number:"));
    terminal.type("5 Enter");
    ASSERT_TRUE(terminal.waitForLastLine(
        "There were 2 instances of 5 in the file with 4 comparisons made" + kMenuOnScreen));
    terminal.type("0 Enter");
    EXPECT_TRUE(terminal.waitForLastLine("Please give me a number 1 - 3: 0\nneedle-exit=0"));
}

// A numbers.txt that arrives slowly: 40 blocks of 32768 sevens, one block
// every 50 ms once needle reads, so that a linear search takes about two
// seconds.
FifoWriter slowNumbers(const fs::path& dir) {
    return FifoWriter(dir / "numbers.txt", [blocks = 0](std::string& block) mutable {
        if (blocks++ == 40) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        block.clear();
        for (int i = 0; i < 32768; ++i) {
            block += "7\n";
        }
        return true;
    });
}

const std::string kSlowReport =
    "There were 1310720 instances of 7 in the file with 1310720 comparisons made";

// At a real terminal, does a linear search that reads for more than a second
// show how far it got, and is the line gone, leaving the screen as it would
// be without it, once the report is there?
TEST(Terminal, LongReadShowsProgressThenLeavesNoTrace) {
    if (!have("tmux")) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ScratchDir dir("progress");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    const FifoWriter numbers = slowNumbers(dir.path);
    ASSERT_TRUE(numbers.made());
    const Terminal terminal(needleIn(dir.path, "sleep 60"));
    if (!terminal.started()) {
        GTEST_SKIP() << "tmux cannot start a session here";
    }
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number 1 - 3:"));
    terminal.type("1 Enter");
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number:"));
    terminal.type("7 Enter");
    EXPECT_TRUE(terminal.waitForText("\nReading numbers.txt: ")) << terminal.screen();
    ASSERT_TRUE(
        terminal.waitForLastLine("Please give me a number: 7\n" + kSlowReport + kMenuOnScreen))
        << terminal.screen();
    EXPECT_EQ(terminal.screen().find("Reading"), std::string::npos) << terminal.screen();
    terminal.type("0 Enter");
}

// Starts a slow linear search for 7 at `terminal` and waits until its
// progress line is on screen.
void startSlowSearch(const Terminal& terminal) {
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number 1 - 3:"));
    terminal.type("1 Enter");
    ASSERT_TRUE(terminal.waitForLastLine("Please give me a number:"));
    terminal.type("7 Enter");
    // In a narrow terminal all that shows may be "Reading numbers".
    ASSERT_TRUE(terminal.waitForText("\nReading numbers")) << terminal.screen();
}

// In a terminal too narrow for the progress line (20 columns, and a line of
// 27), is it cut to fit one row, so that erasing it leaves no row behind?
TEST(Terminal, ProgressLineFitsANarrowTerminal) {
    if (!have("tmux")) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ScratchDir dir("progress-narrow");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    const FifoWriter numbers = slowNumbers(dir.path);
    ASSERT_TRUE(numbers.made());
    const Terminal terminal(needleIn(dir.path, "sleep 60"), 20, true);
    if (!terminal.started()) {
        GTEST_SKIP() << "tmux cannot start a session here";
    }
    ASSERT_NO_FATAL_FAILURE(startSlowSearch(terminal));
    const std::string during = terminal.screen();
    const std::string lastRow = during.substr(during.rfind('\n') + 1);
    EXPECT_EQ(lastRow.rfind("Reading numbers", 0), 0u) << "on one row, the last:\n" << during;
    EXPECT_LE(lastRow.size(), 19u) << lastRow;
    ASSERT_TRUE(terminal.waitForText(kSlowReport + "\n\n    Main Menu")) << terminal.screen();
    EXPECT_EQ(terminal.screen().find("Reading"), std::string::npos) << terminal.screen();
    terminal.type("0 Enter");
}

// When the terminal is made narrower than the progress line while it shows,
// so that the terminal wraps it over two rows, are both rows gone once the
// report is there?
TEST(Terminal, ProgressLineLeavesNoRowWhenTheTerminalNarrows) {
    if (!have("tmux")) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ScratchDir dir("progress-narrowed");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    const FifoWriter numbers = slowNumbers(dir.path);
    ASSERT_TRUE(numbers.made());
    const Terminal terminal(needleIn(dir.path, "sleep 60"), 80, true);
    if (!terminal.started()) {
        GTEST_SKIP() << "tmux cannot start a session here";
    }
    ASSERT_NO_FATAL_FAILURE(startSlowSearch(terminal));
    ASSERT_TRUE(terminal.resize(20));
    ASSERT_TRUE(
        terminal.waitForLastLine("Please give me a number: 7\n" + kSlowReport + kMenuOnScreen))
        << terminal.screen();
    EXPECT_EQ(terminal.screen().find("Reading"), std::string::npos) << terminal.screen();
    terminal.type("0 Enter");
}

// Where the terminal cannot take escape sequences (TERM=dumb), is the
// progress line drawn and erased with carriage returns and spaces alone?
TEST(Terminal, ProgressLineIsPlainAtADumbTerminal) {
    if (!have("tmux")) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ScratchDir dir("progress-dumb");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    const FifoWriter numbers = slowNumbers(dir.path);
    ASSERT_TRUE(numbers.made());
    const Terminal terminal("TERM=dumb; export TERM; " + needleIn(dir.path, "sleep 60"));
    if (!terminal.started()) {
        GTEST_SKIP() << "tmux cannot start a session here";
    }
    const fs::path written = dir.path.string() + ".pane";
    ASSERT_TRUE(terminal.record(written));
    ASSERT_NO_FATAL_FAILURE(startSlowSearch(terminal));
    ASSERT_TRUE(
        terminal.waitForLastLine("Please give me a number: 7\n" + kSlowReport + kMenuOnScreen))
        << terminal.screen();
    EXPECT_EQ(terminal.screen().find("Reading"), std::string::npos) << terminal.screen();
    terminal.type("0 Enter");
    const std::string bytes = readWholeFile(written);
    fs::remove(written);
    EXPECT_NE(bytes.find("\rReading numbers.txt: "), std::string::npos);
    EXPECT_EQ(bytes.find('\x1b'), std::string::npos) << "an escape sequence was sent";
}

// Without a terminal, is the same long read's output byte for byte what a
// short one gives, with nothing on standard error?
TEST(Terminal, LongReadShowsNoProgressThroughPipes) {
    ScratchDir dir("no-progress");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    const FifoWriter numbers = slowNumbers(dir.path);
    ASSERT_TRUE(numbers.made());
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n7\n0\n");
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
                               kSlowReport + "\n" + kMenu);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

}  // namespace
