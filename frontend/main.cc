// needle's entry point: greeting, the two number files, and the main menu loop.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

#include "frontend/numberReader.h"
#include "frontend/programState.h"
#include "frontend/standardInput.h"
#include "search/binarySearch.h"
#include "search/hashSearch.h"
#include "search/linearSearch.h"
#include "search/searchDialogue.h"

namespace {

// Puts /dev/null on any of standard input, output and error that the program
// was started without (`needle <&-`). Otherwise the first number file opened
// would take that descriptor, and be read as the user's typing. A descriptor
// is open when /proc lists it; without /proc nothing is changed.
void reopenClosedStandardStreams() {
    std::error_code error;
    if (!std::filesystem::is_directory("/proc/self/fd", error)) {
        return;
    }
    FILE* const streams[] = {stdin, stdout, stderr};
    for (int fd = 0; fd < 3; ++fd) {
        if (!std::filesystem::exists("/proc/self/fd/" + std::to_string(fd), error)) {
            // The lowest free descriptor is `fd` itself: those below are open.
            if (std::freopen("/dev/null", fd == 0 ? "r" : "w", streams[fd]) == nullptr) {
                std::exit(1);
            }
        }
    }
}

// What `needle --help` prints.
constexpr const char kUsage[] =
    "Usage: needle [--help | --version]\n"
    "\n"
    "needle is an interactive menu program: it counts how many times a whole number\n"
    "occurs in the files of numbers in the current folder. The linear search reads\n"
    "numbers.txt (numbers in any order), the binary search sortedNumbers.txt\n"
    "(numbers in ascending order). Pick a search from the menu, then type the\n"
    "number to look for; 0 ends the program.\n"
    "\n"
    "Scripts can type for it:  printf '2\\n7\\n0\\n' | needle\n"
    "\n"
    "  -h, --help   show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "The file format, the messages and the exit status: man needle\n";

// Answers --help and --version, and ends the program after either. needle
// takes no other arguments: each one is ignored, after a line that says so.
void handleArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            std::exit(exitStatus());
        }
        if (argument == "--version") {
            std::cout << "needle " NEEDLE_VERSION "\n";
            std::exit(exitStatus());
        }
        // Escaped as a bad token from a file is, so that no argument can
        // send control sequences to the terminal.
        std::cerr << "needle: ignoring argument '" << escapedForTerminal(argument)
                  << "' (needle takes no arguments; see needle --help)\n";
    }
}

void stopRunning() {
    keepRunning = false;
}

// The menu, in the order it is shown and its choices are tested.
struct MenuEntry {
    std::int32_t choice;
    const char* label;
    void (*action)();
};
constexpr MenuEntry kMenu[] = {
    {1, "Linear Search", linearSearch},
    {2, "Binary Search", binarySearch},
    {3, "Hash Search", hashSearch},
    {0, "exit", stopRunning},
};

void showMenu() {
    std::cout << "\n    Main Menu\n";
    for (const MenuEntry& entry : kMenu) {
        std::cout << '(' << entry.choice << ") " << entry.label << '\n';
    }
    std::cout << "Please give me a number 1 - 3: ";
}

// The greeting, the number files and the menu loop, up to the exit status.
int runDialogue() {
    std::cout << "Hello user! Welcome to the program.  This program will search for a needle in "
                 "the haystack for you!\n"
                 "Loading up the unsorted file and sorted file\n"
              << std::flush;  // on screen while an open waits, as on a FIFO without a writer
    openNumberFiles();

    do {
        showMenu();
        readNumber();
        // Separate tests, not a chain: each sees currentNumber as the action
        // before it left it. The searches leave 10 and the hash search 3, so
        // one choice runs one action.
        for (const MenuEntry& entry : kMenu) {
            if (currentNumber == entry.choice) {
                entry.action();
            }
        }
    } while (keepRunning);

    closeNumberFiles();
    return exitStatus();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        reopenClosedStandardStreams();
        // Our own buffering instead of C stdio's. Standard input stays tied
        // to standard output and standard error is tied to it as well, so a
        // prompt is on screen before the program waits and before any error
        // line.
        std::ios::sync_with_stdio(false);
        readStandardInputDirectly();
        handleArguments(argc, argv);
        return runDialogue();
    } catch (const std::bad_alloc&) {
        // The reading of a file stops by itself when memory runs out, and
        // says so; anything else that finds no memory (under a tight limit
        // on address space) ends the program, with a word and a failure.
        std::cout.flush();
        std::cerr << "needle: out of memory!\n";
        closeNumberFiles();
        return 1;
    }
}
