// End-to-end runs of needle against broken streams, special files and big inputs.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <string>

#include "fifoWriter.h"
#include "memoryCgroup.h"
#include "needleRun.h"
#include "scan/readSizes.h"

namespace fs = std::filesystem;

namespace {

// Under an emulator needle's memory is the emulator's, which is not what the
// memory tests measure.
#if defined(NEEDLE_EMULATED)
#define SKIP_UNDER_EMULATOR() \
    GTEST_SKIP() << "needle runs under an emulator, whose memory is not needle's"
#else
#define SKIP_UNDER_EMULATOR() static_cast<void>(0)
#endif

// Is a missing standard input an end of input, and never the number file
// that would otherwise take its descriptor?
TEST(BrokenStreams, ClosedStandardInputIsAnEndOfInput) {
    ScratchDir dir("closed-stdin");
    writeWholeFile(dir.path / "numbers.txt", "1\n5\n0\n");  // would read as a session
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    RunOptions options;
    options.closeStdin = true;
    const NeedleOutcome outcome = runNeedle(dir.path, "", options);
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

// Without standard output (needle >&-), does the session run as usual, its
// messages on standard error, its dialogue nowhere, and never into the
// sorted file that would otherwise take the descriptor?
TEST(BrokenStreams, ClosedStandardOutputRunsTheSessionAsUsual) {
    ScratchDir dir("closed-stdout");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    RunOptions options;
    options.closeStdout = true;
    const NeedleOutcome outcome = runNeedle(dir.path, "2\n1\n0\n", options);
    EXPECT_EQ(outcome.err, "Can't open unsorted file!\n");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(readWholeFile(dir.path / "sortedNumbers.txt"), "1\n");
}

// Does output that cannot be written end the program with status 1?
TEST(BrokenStreams, UnwritableOutputEndsWithStatusOne) {
    ScratchDir dir("full-disk");
    writeWholeFile(dir.path / "numbers.txt", "5\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    RunOptions full;
    full.stdoutFile = "/dev/full";
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n5\n0\n", full);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 1);
}

// Does a reader that went away stop needle at once, not after all its input,
// whether SIGPIPE kills it or is ignored?
TEST(BrokenStreams, ClosedOutputPipeEndsPromptly) {
    ScratchDir dir("closed-pipe");
    writeWholeFile(dir.path / "numbers.txt", "5\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    std::string endless;
    for (int i = 0; i < 2'000'000; ++i) {
        endless += "3\n";  // hash search, answered with a line each time
    }
    RunOptions options;
    options.stdoutToClosedPipe = true;
    EXPECT_EQ(runNeedle(dir.path, endless, options).status, 128 + SIGPIPE);
    options.ignoreSigpipe = true;
    const NeedleOutcome ignored = runNeedle(dir.path, endless, options);
    EXPECT_EQ(ignored.status, 1);
    EXPECT_EQ(ignored.err, "");
}

// A linear search typed through every state of the number reader: a menu
// choice, a rejected number whose line is discarded, and a target with a
// sign, a point and an exponent.
const std::string kTypedThroughEveryState = "1\n2.5 x\n+1.2e1\n0\n";

// Wherever the typing pauses, is a non-blocking standard input, as a shell
// may hand over, waited on, and a read that a signal interrupts (EINTR, as
// a caller's handler or a debugger may cause) tried again, so that the
// dialogue reads as if nothing had happened?
TEST(BrokenStreams, InputIsWaitedOnWhereverTheTypingPauses) {
    ScratchDir dir("paused-stdin");
    writeWholeFile(dir.path / "numbers.txt", "12 7 12\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    const std::string expected =
        kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
        "\nInvalid input!\nPlease give me a number: " + report(2, 12, 3) + kMenu;
#if defined(NEEDLE_EMULATED)
    // Under an emulator /proc tells the emulator's calls, not needle's.
    const bool interrupts[] = {false};
#else
    const bool interrupts[] = {false, true};
#endif
    for (const bool interrupt : interrupts) {
        // A pause after the last byte finds needle ended, not reading.
        const std::size_t lastPause = kTypedThroughEveryState.size() - (interrupt ? 1 : 0);
        for (std::size_t pause = 0; pause <= lastPause; ++pause) {
            RunOptions options;
            options.pauseAfter = pause;
            options.interruptAtPause = interrupt;
            const NeedleOutcome outcome = runNeedle(dir.path, kTypedThroughEveryState, options);
            const std::string at = (interrupt ? "interrupted after " : "paused after ") +
                                   std::to_string(pause) + " bytes";
            EXPECT_EQ(outcome.out, expected) << at;
            EXPECT_EQ(outcome.err, "") << at;
            EXPECT_EQ(outcome.status, 0) << at;
            EXPECT_EQ(outcome.interrupted, interrupt) << at << ": needle was never seen reading";
        }
    }
}

// Does a read of standard input that fails, in any state of the number
// reader, end the dialogue as its end would, except that a number cut short
// is not taken, with a line naming the error and status 1?
TEST(BrokenStreams, AFailedReadEndsTheDialogueWithStatusOne) {
    ScratchDir dir("failing-stdin");
    writeWholeFile(dir.path / "numbers.txt", "12 7 12\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    const std::string typed = kTypedThroughEveryState.substr(0, kTypedThroughEveryState.rfind('0'));
    for (std::size_t cut = 0; cut <= typed.size(); ++cut) {
        const std::string before = typed.substr(0, cut);
        // What the input that ends there says, less the token it cuts.
        const std::size_t tokenStart = before.find_last_of(" \n") + 1;
        const std::string ended = runNeedle(dir.path, before.substr(0, tokenStart)).out;
        RunOptions failing;
        failing.inputFailsAtEnd = true;
        const NeedleOutcome outcome = runNeedle(dir.path, before, failing);
        EXPECT_EQ(outcome.out, ended) << "failed after " << cut << " bytes";
        EXPECT_EQ(outcome.err, "needle: cannot read standard input: Connection reset by peer\n")
            << "failed after " << cut << " bytes";
        EXPECT_EQ(outcome.status, 1) << "failed after " << cut << " bytes";
    }
    RunOptions folder;
    folder.stdinPath = dir.path.string();  // every read of a folder fails
    const NeedleOutcome outcome = runNeedle(dir.path, "", folder);
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n");
    EXPECT_EQ(outcome.err, "needle: cannot read standard input: Is a directory\n");
    EXPECT_EQ(outcome.status, 1);
}

// Are FIFOs fed by another process read like files, a later linear search
// reading on from where the first stopped since a pipe cannot be rewound?
TEST(SpecialFiles, NumberFilesFromFifos) {
    ScratchDir dir("fifos");
    FifoWriter unsorted(dir.path / "numbers.txt", FifoWriter::once("5 1 5 9\n"));
    FifoWriter sorted(dir.path / "sortedNumbers.txt", FifoWriter::once("1 3 3 3 5 8 9"));
    ASSERT_TRUE(unsorted.made() && sorted.made());
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n5\n1\n5\n2\n3\n2\n3\n0\n");
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
                               report(2, 5, 4) + kMenu + "\n" + kTarget + report(0, 5, 0) + kMenu +
                               kTarget + report(3, 3, 1) + kMenu + kTarget + report(3, 3, 1) +
                               kMenu);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

// Are a number and a bad token that straddle the point where the scanner's
// second read ends (two chunks) read as one token, with the right line?
TEST(SpecialFiles, TokensStraddlingTheReadBufferSplit) {
    ScratchDir dir("straddle");
    const int lines = static_cast<int>(2 * scan::kChunk / 2 - 1);
    std::string prefix;
    for (int i = 0; i < lines; ++i) {
        prefix += "7\n";
    }
    prefix += ' ';  // the next token starts on the last byte of the second read
    writeWholeFile(dir.path / "numbers.txt", prefix + "ab 7\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", prefix + "1234567\n");
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n7\n2\n1234567\n0\n");
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
                               report(lines, 7, lines) + kMenu + kTarget + report(1, 1234567, 18) +
                               kMenu);
    EXPECT_EQ(outcome.err, "Stopped reading the unsorted file at line " +
                               std::to_string(lines + 1) +
                               ": \"ab\" is not a 32-bit whole number!\n");
    EXPECT_EQ(outcome.status, 0);
}

// Does a file whose reads fail end the reading with a read error, after
// which the program goes on?
TEST(SpecialFiles, ReadErrorEndsTheReadingAndTheProgramGoesOn) {
    ScratchDir dir("read-error");
    // Reading a process's own memory from address 0 fails with EIO.
    fs::create_symlink("/proc/self/mem", dir.path / "numbers.txt");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n5\n2\n5\n0\n");
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
                               report(0, 5, 0) + kMenu + kTarget + report(1, 5, 1) + kMenu);
    EXPECT_EQ(outcome.err, "Stopped reading the unsorted file at line 1: read error!\n");
    EXPECT_EQ(outcome.status, 0);
}

// Runs needle over a sortedNumbers.txt of `lines` lines of `number` with
// `options` that leave it too little memory, searching it twice for that
// number. The load must stop for memory, say where, keep every number before
// that line and answer both searches from them, and needle must go on to
// the end. Returns how many numbers it kept, or -1 after a failure.
long long keptWhenMemoryRunsOut(const char* name, int number, long long lines,
                                const RunOptions& options) {
    ScratchDir dir(name);
    writeWholeFile(dir.path / "numbers.txt", std::to_string(number) + "\n");
    const std::string line = std::to_string(number) + "\n";
    std::string sorted;
    sorted.reserve(line.size() * static_cast<std::size_t>(lines));
    for (long long i = 0; i < lines; ++i) {
        sorted += line;
    }
    writeWholeFile(dir.path / "sortedNumbers.txt", sorted);
    const std::string typed = "2\n" + line + "2\n" + line + "0\n";
    const NeedleOutcome outcome = runNeedle(dir.path, typed, options);

    EXPECT_EQ(outcome.status, 0) << "137 is a kill by the system";
    std::smatch stop;
    if (!std::regex_match(
            outcome.err, stop,
            std::regex("Stopped reading the sorted file at line ([0-9]+): out of memory!\n"))) {
        ADD_FAILURE() << "standard error: " << outcome.err;
        return -1;
    }
    // One number per line: everything before the line of the stop was kept.
    const long long kept = std::stoll(stop[1]) - 1;
    const std::string search = kMenu + kTarget + report(kept, number, 1);
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + search + search + kMenu);
    EXPECT_LT(kept, lines);
    return kept;
}

// Does a sorted file too big for the memory left, under an address-space
// limit where allocation fails, keep what fit, say where it stopped, and
// still answer later searches?
TEST(SpecialFiles, OutOfMemoryKeepsWhatWasLoaded) {
    SKIP_UNDER_EMULATOR();
#if defined(NEEDLE_SANITIZED)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    RunOptions limited;
    limited.memoryLimit = 200ull << 20;
    EXPECT_GT(keptWhenMemoryRunsOut("out-of-memory", 7, 60'000'000, limited), 0);
}

// Under every address-space limit at which the C++ runtime starts, does
// needle never abort: it either finishes the dialogue, a reading that finds
// no room for its buffers stopping as out of memory, or ends with a word and
// status 1? Below that the loader cannot map the libraries (status 127).
// The steps are fine near where the runtime stops starting, so that a band
// of a few pages where a throw could not be allocated is not stepped over.
TEST(SpecialFiles, NoAddressSpaceLimitAbortsNeedle) {
    SKIP_UNDER_EMULATOR();
#if defined(NEEDLE_SANITIZED)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    ScratchDir dir("address-space");
    writeWholeFile(dir.path / "numbers.txt", "5 1 5\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1 5 5\n");
    const std::regex stops("(Stopped reading the (un)?sorted file at line 1: out of memory!\n)*");
    bool bufferRefused = false, refusedAtStart = false;
    RunOptions limited;
    for (limited.memoryLimit = 16ull << 20; limited.memoryLimit > (1ull << 20);
         limited.memoryLimit -= limited.memoryLimit > (8ull << 20) ? 32ull << 10 : 4ull << 10) {
        const NeedleOutcome outcome = runNeedle(dir.path, "1\n5\n2\n5\n0\n", limited);
        const std::string at = std::to_string(limited.memoryLimit >> 10) + " KiB";
        if (outcome.status == 127) {
            std::cout << "the C++ runtime starts down to " << (limited.memoryLimit >> 10) + 4
                      << " KiB\n";
            break;
        }
        if (outcome.status == 1) {
            EXPECT_EQ(outcome.err.substr(outcome.err.rfind("needle: ")), "needle: out of memory!\n")
                << at;
            refusedAtStart |= outcome.out.empty();
            continue;
        }
        ASSERT_EQ(outcome.status, 0) << at << ": " << outcome.err;
        EXPECT_TRUE(std::regex_match(outcome.err, stops)) << at << ": " << outcome.err;
        EXPECT_EQ(outcome.out.substr(outcome.out.size() - kMenu.size()), kMenu) << at;
        bufferRefused |= !outcome.err.empty();
    }
    EXPECT_GT(limited.memoryLimit, 1ull << 20) << "the loader never refused: no limit is tight";
    EXPECT_TRUE(bufferRefused) << "no limit left needle without room for a reading's buffers";
    EXPECT_TRUE(refusedAtStart) << "no limit left needle without memory to start";
}

// Under address-space limits that leave room for several threads, for one,
// or for a reading's buffers alone, does the count of a file large enough to
// be split say what one thread says under the same limit, and does a later
// load keep as much as after the one-thread count?
TEST(SpecialFiles, ThreadsFitUnderAnAddressSpaceLimit) {
    SKIP_UNDER_EMULATOR();
#if defined(NEEDLE_SANITIZED)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    ScratchDir dir("threads-limited");
    std::string numbers, sorted;
    for (int i = 0; numbers.size() < (std::size_t{12} << 20); ++i) {
        numbers += std::to_string(i % 11 == 0 ? 7 : i % 1000) + "\n";
    }
    for (int i = 0; i < 3'000'000; ++i) {
        sorted += std::to_string(i) + "\n";
    }
    writeWholeFile(dir.path / "numbers.txt", numbers);
    writeWholeFile(dir.path / "sortedNumbers.txt", sorted);
    for (const unsigned long long mib : {24ull, 40ull, 80ull, 120ull, 400ull}) {
        RunOptions one, many;
        one.memoryLimit = many.memoryLimit = mib << 20;
        one.arguments = {"-j", "1"};
        many.arguments = {"-j", "8"};
        const std::string typed = "1\n7\n2\n5\n1\n7\n0\n";
        const NeedleOutcome byOne = runNeedle(dir.path, typed, one);
        const NeedleOutcome byMany = runNeedle(dir.path, typed, many);
        EXPECT_EQ(byMany.out, byOne.out) << mib << " MiB";
        EXPECT_EQ(byMany.err, byOne.err) << mib << " MiB";
        EXPECT_EQ(byMany.status, byOne.status) << mib << " MiB";
    }
}

// In a memory cgroup too small for the sorted file, where allocations succeed
// and the pages written are what would get needle killed, does the load stop
// in time, keep what it loaded, say so, and answer later searches?
TEST(SpecialFiles, MemoryCgroupLimitStopsTheLoadBeforeTheSystemKillsIt) {
    SKIP_UNDER_EMULATOR();
#if defined(NEEDLE_SANITIZED)
    GTEST_SKIP() << "AddressSanitizer's own memory is not what this measures";
#endif
    MemoryCgroup cgroup(128ull << 20);
    if (!cgroup.whyNot.empty()) {
        GTEST_SKIP() << cgroup.whyNot;
    }
    RunOptions inCgroup;
    inCgroup.cgroup = cgroup.path.string();
    // 48 million numbers are 192 MB as a list; 128 MiB leave room for far
    // more than 4 million.
    EXPECT_GT(keptWhenMemoryRunsOut("memory-cgroup", 1, 48'000'000, inCgroup), 4'000'000);
}

// In a memory cgroup where one thread stops the load for memory, or counts
// in the little room there is, do 64 and 256 threads do the same, cut to the
// threads that the memory left holds, rather than being killed? (The load
// may stop at an earlier line: the threads' room is kept from the list's.)
TEST(SpecialFiles, ThreadsAreCutToWhatAMemoryCgroupHolds) {
    SKIP_UNDER_EMULATOR();
#if defined(NEEDLE_SANITIZED)
    GTEST_SKIP() << "AddressSanitizer's own memory is not what this measures";
#endif
    // A list of 40 MB in 64 MiB, for a few threads; of 600 MB in 600 MiB,
    // where the threads' room is past the margin the list keeps anyway.
    for (const auto& [mib, lines] : {std::pair{64ull, 10'000'000ll}, {600ull, 150'000'000ll}}) {
        MemoryCgroup cgroup(mib << 20);
        if (!cgroup.whyNot.empty()) {
            GTEST_SKIP() << cgroup.whyNot;
        }
        RunOptions inCgroup;
        inCgroup.cgroup = cgroup.path.string();
        for (const char* threads : {"1", "64", "256"}) {
            inCgroup.arguments = {"-j", threads};
            EXPECT_GT(keptWhenMemoryRunsOut("threads-cgroup", 1, lines, inCgroup), lines / 3)
                << "-j " << threads << " in " << mib << " MiB";
        }
    }
    MemoryCgroup cgroup(4ull << 20);
    ASSERT_EQ(cgroup.whyNot, "");
    ScratchDir dir("threads-cgroup-count");
    // 66 MB, pieces for 256 threads.
    constexpr long long kLines = 33'000'000;
    std::string lines;
    lines.reserve(2 * kLines);
    for (long long i = 0; i < kLines; ++i) {
        lines += "1\n";
    }
    writeWholeFile(dir.path / "numbers.txt", lines);
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    RunOptions inCgroup;
    inCgroup.cgroup = cgroup.path.string();
    for (const char* threads : {"1", "64", "256"}) {
        inCgroup.arguments = {"-j", threads};
        const NeedleOutcome outcome = runNeedle(dir.path, "1\n1\n0\n", inCgroup);
        EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
                                   report(kLines, 1, kLines) + kMenu)
            << "-j " << threads;
        EXPECT_EQ(outcome.err, "") << "-j " << threads;
        EXPECT_EQ(outcome.status, 0) << "-j " << threads << ": 137 is a kill by the system";
    }
}

// Does a sorted file that comes through a pipe, whose size cannot be told
// ahead, load whole under a memory cgroup where its list fits, though the
// list is more than half the room?
TEST(SpecialFiles, AStreamThatFitsUnderAMemoryCgroupLoadsWhole) {
    SKIP_UNDER_EMULATOR();
#if defined(NEEDLE_SANITIZED)
    GTEST_SKIP() << "AddressSanitizer's own memory is not what this measures";
#endif
    MemoryCgroup cgroup(256ull << 20);
    if (!cgroup.whyNot.empty()) {
        GTEST_SKIP() << cgroup.whyNot;
    }
    ScratchDir dir("stream-cgroup");
    writeWholeFile(dir.path / "numbers.txt", "1\n");
    // 48 million numbers: a list of 192 MB, in 256 MiB less the margin.
    constexpr long long kLines = 48'000'000;
    const FifoWriter sorted(dir.path / "sortedNumbers.txt",
                            [sent = 0ll](std::string& block) mutable {
                                const long long lines = std::min(kLines - sent, 1ll << 20);
                                block.clear();
                                for (long long i = 0; i < lines; ++i) {
                                    block += "1\n";
                                }
                                sent += lines;
                                return lines > 0;
                            });
    ASSERT_TRUE(sorted.made());
    RunOptions inCgroup;
    inCgroup.cgroup = cgroup.path.string();
    const NeedleOutcome outcome = runNeedle(dir.path, "2\n1\n0\n", inCgroup);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + kTarget +
                               report(kLines, 1, 1) + kMenu);
    EXPECT_EQ(outcome.status, 0) << "137 is a kill by the system";
}

// Is a number file that may not be read treated as one that cannot be opened?
TEST(SpecialFiles, UnreadableFileCannotBeOpened) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, which may read any file";
    }
    ScratchDir dir("unreadable");
    writeWholeFile(dir.path / "numbers.txt", "5\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    chmod((dir.path / "numbers.txt").c_str(), 0);
    const NeedleOutcome outcome = runNeedle(dir.path, "0\n");
    EXPECT_EQ(outcome.out, kGreeting + kMenu);
    EXPECT_EQ(outcome.err, "Can't open unsorted file!\n");
    EXPECT_EQ(outcome.status, 0);
}

// needle's peak memory, in KiB, once it has answered with `answer`; then
// its input ends, and it must end with status 0.
long peakOnceAnswered(LiveNeedle& needle, const std::string& answer) {
    EXPECT_TRUE(needle.waitFor(answer)) << "waiting for: " << answer.substr(0, 80);
    const long peak = needle.peakKib();
    EXPECT_EQ(needle.finish(), 0);
    return peak;
}

// A function, not a constant: kGreeting belongs to another file, which may
// be initialised after this one.
std::string opened() {
    return kGreeting + "Files opened successfully!\n";
}
const std::string kRejected = "\nInvalid input!\nPlease give me a number: ";

// needle's peak memory, in KiB, once it has answered to typed input: `head`,
// then `count` bytes of `fill` in blocks of 1 MiB, then `tail`. What it said
// must be `said`, whole: a needle that answered part of the long input by
// itself says more, and is read while the test types, so it fails rather
// than blocking on a full pipe.
long peakAfterLongInput(const fs::path& dir, const std::string& head, char fill, std::size_t count,
                        const std::string& tail, const std::string& said) {
    LiveNeedle needle(dir);
    needle.type(head);
    const std::string block(1 << 20, fill);
    for (std::size_t sent = 0; sent < count; sent += block.size()) {
        needle.type(block.substr(0, std::min(block.size(), count - sent)));
    }
    needle.type(tail);
    const long peak = peakOnceAnswered(needle, said.substr(said.size() - 40));
    // The line break is its answer to the end of its input.
    EXPECT_EQ(needle.seen().size(), said.size() + 1);
    EXPECT_TRUE(needle.seen() == said + "\n") << needle.seen().substr(0, 400);
    return peak;
}

// Does a line of junk of any length cost no memory, since it is discarded as
// it is read?
TEST(Memory, JunkLineDoesNotGrowMemory) {
    SKIP_UNDER_EMULATOR();
    ScratchDir dir("junk");
    writeWholeFile(dir.path / "numbers.txt", "5\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    const std::string said = opened() + kMenu + kRejected;
    const long small = peakAfterLongInput(dir.path, "", 'x', 1000, "\n", said);
    const long huge = peakAfterLongInput(dir.path, "", 'x', 200u << 20, "\n", said);
    EXPECT_GT(small, 0);
    EXPECT_LT(huge - small, 8 * 1024) << "KiB: " << small << " then " << huge;
}

// Does a number typed at a prompt cost bounded memory however long it is, and
// still read as the standard extraction reads it? 300 MB of digits overflow;
// 5. and 300 MB of zeros is 5; 7e- and 300 MB of zeros is 7.
TEST(Memory, LongNumbersAtThePromptKeepMemoryBounded) {
    SKIP_UNDER_EMULATOR();
    ScratchDir dir("long-numbers");
    writeWholeFile(dir.path / "numbers.txt", "5\n7\n7\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    constexpr std::size_t kLong = 300u << 20;
    constexpr long kBoundKib = 16 * 1024;
    const long digits =
        peakAfterLongInput(dir.path, "", '9', kLong, "\n", opened() + kMenu + kRejected);
    EXPECT_LT(digits, kBoundKib) << "KiB after a run of digits";
    const std::string search = opened() + kMenu + "\n" + kTarget;
    const long zeros =
        peakAfterLongInput(dir.path, "1\n5.", '0', kLong, "\n", search + report(1, 5, 3) + kMenu);
    EXPECT_LT(zeros, kBoundKib) << "KiB after a run of zeros after the point";
    const long exponent =
        peakAfterLongInput(dir.path, "1\n7e-", '0', kLong, "\n", search + report(2, 7, 3) + kMenu);
    EXPECT_LT(exponent, kBoundKib) << "KiB after a run of exponent digits";
}

// Is a line of a million digits, followed by more on the line, answered as
// the standard extraction would: 1 and a million zeros after the point is 1,
// and the 5 after it answers the next prompt.
TEST(Reader, MillionDigitNumberThenMoreOnTheLine) {
    ScratchDir dir("million-digits");
    writeWholeFile(dir.path / "numbers.txt", "5 5 1\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    const std::string ones = "1." + std::string(1'000'000, '0') + " 5\n";
    const NeedleOutcome outcome = runNeedle(dir.path, ones + "0\n");
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
                               report(2, 5, 3) + kMenu);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

// A sorted file with one step down, at line `line` of `lines`: each line
// holds its number less one, the step's line -1.
std::string sortedWithStepDown(int lines, int line) {
    std::string text;
    for (int i = 1; i <= lines; ++i) {
        text += std::to_string(i == line ? -1 : i - 1) + "\n";
    }
    return text;
}

// Is the first step down found at its line wherever it falls: near the
// start, on either side of the places a check in steps of 256 pairs could
// miss it, in a later read of the file, at the very end?
TEST(SortedFile, TheStepDownIsWarnedAtItsLineWhereverItFalls) {
    ScratchDir dir("step-down");
    writeWholeFile(dir.path / "numbers.txt", "1\n");
    constexpr int kLines = 70000;  // more than one read of the file
    // Every probe for a number above all of them goes right.
    long long probes = 0;
    for (long long low = 0, high = kLines - 1; high >= low; low = low + (high - low) / 2 + 1) {
        ++probes;
    }
    for (const int line :
         {2, 3, 17, 18, 256, 257, 258, 259, 513, 4097, 30001, kLines - 1, kLines}) {
        writeWholeFile(dir.path / "sortedNumbers.txt", sortedWithStepDown(kLines, line));
        const NeedleOutcome outcome = runNeedle(dir.path, "2\n99999999\n0\n");
        EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + kTarget +
                                   report(0, 99999999, probes) + kMenu)
            << "step at line " << line;
        EXPECT_EQ(outcome.err, "The sorted file is not in ascending order at line " +
                                   std::to_string(line) +
                                   "; binary search results may be wrong!\n");
        EXPECT_EQ(outcome.status, 0);
    }
}

// needle's peak memory after `answers` menu answers that show the menu again.
long peakAfterMenuAnswers(const fs::path& dir, std::size_t answers) {
    LiveNeedle needle(dir);
    std::string typed;
    for (std::size_t i = 0; i < answers; ++i) {
        typed += "4\n";
    }
    typed += "1\n5\n";
    needle.type(typed);
    return peakOnceAnswered(needle, report(1, 5, 3) + kMenu);
}

// Do a million answers in one run keep needle's memory where a thousand do?
TEST(Memory, AMillionMenuAnswersKeepMemoryFlat) {
    SKIP_UNDER_EMULATOR();
    ScratchDir dir("many-answers");
    writeWholeFile(dir.path / "numbers.txt", "5\n7\n7\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    const long few = peakAfterMenuAnswers(dir.path, 1000);
    const long many = peakAfterMenuAnswers(dir.path, 1'000'000);
    EXPECT_GT(few, 0);
    EXPECT_LT(many - few, 1024) << "KiB: " << few << " then " << many;
}

// needle's peak memory after the search chosen by `choice` (1 linear, 2
// binary) over its file, written first with `numbers` numbers, one a line:
// the linear search's in no order, the binary search's ascending.
long peakAfterSearch(const fs::path& dir, char choice, std::size_t numbers) {
    const bool linear = choice == '1';
    std::string text;
    for (std::size_t i = 0; i < numbers; ++i) {
        text += (linear ? std::to_string(static_cast<std::int32_t>(i * 2654435761u))
                        : std::to_string(i * 500)) +
                "\n";
    }
    writeWholeFile(dir / (linear ? "numbers.txt" : "sortedNumbers.txt"), text);
    LiveNeedle needle(dir);
    needle.type(std::string(1, choice) + "\n5\n");
    return peakOnceAnswered(needle, " comparisons made\n" + kMenu);
}

// Does the linear search's memory stay the same whatever the file's size?
TEST(Memory, LinearSearchDoesNotGrowWithTheFile) {
    SKIP_UNDER_EMULATOR();
    ScratchDir dir("linear-memory");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    const long small = peakAfterSearch(dir.path, '1', 100'000);
    const long big = peakAfterSearch(dir.path, '1', 20'000'000);
    EXPECT_GT(small, 0);
    EXPECT_LT(big - small, 8 * 1024) << "KiB: " << small << " then " << big;
}

// Does loading the sorted file cost the list and a little more, whatever room
// is reserved for it (one number per two bytes of the file) and however the
// system is asked to supply its pages: at most 1.1 times the list and 16 MiB?
TEST(Memory, LoadingTheSortedFileCostsTheListAndALittleMore) {
    SKIP_UNDER_EMULATOR();
    ScratchDir dir("load-memory");
    writeWholeFile(dir.path / "numbers.txt", "5\n");
    constexpr long kNumbers = 4'000'000;
    const long small = peakAfterSearch(dir.path, '2', 1000);
    const long big = peakAfterSearch(dir.path, '2', kNumbers);
    const long list = kNumbers * 4 / 1024;
    EXPECT_GT(big - small, list) << "KiB: " << small << " then " << big;
    EXPECT_LT(big - small, list * 11 / 10 + 16 * 1024) << "KiB: " << small << " then " << big;
}

}  // namespace
