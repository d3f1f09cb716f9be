// needle's command line: --help, --version, and every other argument ignored aloud.
#include <gtest/gtest.h>

#include <string>

#include "needleRun.h"

namespace {

NeedleOutcome runWith(const std::vector<std::string>& arguments, const std::string& typed) {
    ScratchDir dir("arguments");
    writeWholeFile(dir.path / "numbers.txt", "5 1 5 9\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1 3 3 3 5 8 9\n");
    RunOptions options;
    options.arguments = arguments;
    return runNeedle(dir.path, typed, options);
}

// Do --help and -h print the same usage, which says what needle reads, how to
// script it and where the manual is, and end at once without a session?
TEST(Arguments, HelpShowsUsageAndEnds) {
    const NeedleOutcome help = runWith({"--help"}, "1\n5\n0\n");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: needle [-j N] [--help | --version]\n", 0), 0u) << help.out;
    for (const char* part :
         {"interactive menu", "numbers.txt", "sortedNumbers.txt", "printf '2\\n7\\n0\\n' | needle",
          "--threads N", "man needle\n", "man ./build/needle.1)\n"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << "no \"" << part << "\" in the help";
    }
    EXPECT_EQ(help.out.find("Hello user"), std::string::npos);
    const NeedleOutcome h = runWith({"-h"}, "");
    EXPECT_EQ(h.out, help.out);
    EXPECT_EQ(h.status, 0);
}

// Does --version print the project's version, and only that?
TEST(Arguments, VersionShowsTheProjectVersion) {
    const NeedleOutcome version = runWith({"--version"}, "1\n5\n0\n");
    EXPECT_EQ(version.out, "needle " NEEDLE_VERSION "\n");
    EXPECT_EQ(version.err, "");
    EXPECT_EQ(version.status, 0);
}

// Is every other argument named on standard error, one line each, and then
// ignored: the session is exactly the one without arguments?
TEST(Arguments, OthersAreIgnoredWithALineEach) {
    const std::string typed = "1\n5\n2\n3\n0\n";
    const NeedleOutcome plain = runWith({}, typed);
    const NeedleOutcome other = runWith({"--bogus", "numbers.txt", ""}, typed);
    EXPECT_EQ(other.out, plain.out);
    EXPECT_EQ(other.err,
              "needle: ignoring argument '--bogus' (needle takes no arguments; see needle --help)\n"
              "needle: ignoring argument 'numbers.txt' (needle takes no arguments; see needle "
              "--help)\n"
              "needle: ignoring argument '' (needle takes no arguments; see needle --help)\n");
    EXPECT_EQ(other.status, 0);
    EXPECT_EQ(plain.err, "");
}

// Is a thread count taken in each of the four spellings, and does the session
// read as without one? Is a bad or missing count refused before the greeting,
// with a line that says why and the usage error's status 2?
TEST(Arguments, ThreadCounts) {
    const std::string typed = "1\n5\n0\n";
    const NeedleOutcome plain = runWith({}, typed);
    for (const std::vector<std::string>& given :
         {std::vector<std::string>{"-j", "3"}, {"-j256"}, {"--threads", "1"}, {"--threads=2"}}) {
        const NeedleOutcome outcome = runWith(given, typed);
        EXPECT_EQ(outcome.out, plain.out) << given[0];
        EXPECT_EQ(outcome.err, "") << given[0];
        EXPECT_EQ(outcome.status, 0) << given[0];
    }
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"-j", "0"}, "needle: invalid thread count '0' for '-j'"},
        {{"-j257"}, "needle: invalid thread count '257' for '-j'"},
        {{"--threads=-1"}, "needle: invalid thread count '-1' for '--threads'"},
        {{"--threads", "two"}, "needle: invalid thread count 'two' for '--threads'"},
        {{"-j", ""}, "needle: invalid thread count '' for '-j'"},
        {{"--threads="}, "needle: invalid thread count '' for '--threads'"},
        {{"-j", "4x"}, "needle: invalid thread count '4x' for '-j'"}};
    for (const auto& [given, said] : refused) {
        const NeedleOutcome outcome = runWith(given, typed);
        EXPECT_EQ(outcome.out, "") << said;
        EXPECT_EQ(outcome.err,
                  std::string(said) + " (a whole number from 1 to 256; see needle --help)\n");
        EXPECT_EQ(outcome.status, 2) << said;
    }
    for (const char* option : {"-j", "--threads"}) {
        const NeedleOutcome outcome = runWith({option}, typed);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "needle: option '" + std::string(option) +
                                   "' needs a thread count (see needle --help)\n");
        EXPECT_EQ(outcome.status, 2);
    }
    // An argument that would be ignored is not said when a usage error ends
    // the program: nothing else is done then.
    const NeedleOutcome outcome = runWith({"--", "-j", "0"}, typed);
    EXPECT_EQ(outcome.err,
              "needle: invalid thread count '0' for '-j' (a whole number from 1 to "
              "256; see needle --help)\n");
    EXPECT_EQ(outcome.status, 2);
}

// Is an argument with bytes a terminal would act on shown escaped, as a bad
// token from a file is?
TEST(Arguments, IgnoredArgumentsAreShownEscaped) {
    const NeedleOutcome outcome = runWith({"\x1b[31mred", "tab\there", "\xc3\xa9\"\\"}, "0\n");
    EXPECT_EQ(outcome.err,
              "needle: ignoring argument '\\x1b[31mred' (needle takes no arguments; see needle "
              "--help)\n"
              "needle: ignoring argument 'tab\\x09here' (needle takes no arguments; see needle "
              "--help)\n"
              "needle: ignoring argument '\\xc3\\xa9\\x22\\x5c' (needle takes no arguments; see "
              "needle --help)\n");
    EXPECT_EQ(outcome.status, 0);
}

}  // namespace
