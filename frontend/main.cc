// needle's entry point: greeting, the two number files, and the main menu loop.
#include <errno.h>
#include <fcntl.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "frontend/numberReader.h"
#include "frontend/programState.h"
#include "frontend/standardInput.h"
#include "search/binarySearch.h"
#include "search/hashSearch.h"
#include "search/linearSearch.h"
#include "search/searchDialogue.h"
#include "system/processors.h"

namespace {

// Whether descriptor `fd` is open, behind a function of its own.
bool descriptorIsOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

// Puts /dev/null on any of standard input, output and error that the program
// was started without (`needle <&-`). Otherwise the first number file opened
// would take that descriptor, and be read as the user's typing.
void reopenClosedStandardStreams() {
    FILE* const streams[] = {stdin, stdout, stderr};
    for (int fd = 0; fd < 3; ++fd) {
        if (!descriptorIsOpen(fd)) {
            // The lowest free descriptor is `fd` itself: those below are open.
            if (std::freopen("/dev/null", fd == 0 ? "r" : "w", streams[fd]) == nullptr) {
                std::exit(1);
            }
        }
    }
}

// What std::terminate did before terminateForMemory took its place.
std::terminate_handler runtimeTerminate = nullptr;

// Ends the program as the out-of-memory guard in main does where the runtime
// found no memory even for the exception that would have reached it: under
// an address-space limit that left no room for the emergency pool it sets
// aside as it starts, the first allocation to fail calls std::terminate
// with no exception active. Any other way to terminate goes on as before.
[[noreturn]] void terminateForMemory() {
    if (std::current_exception() == nullptr) {
        std::cout.flush();
        std::fputs("needle: out of memory!\n", stderr);  // stdio's stderr needs no buffer
        std::_Exit(1);
    }
    runtimeTerminate();
    std::abort();
}

// What `needle --help` prints.
constexpr const char kUsage[] =
    "Usage: needle [-j N] [--help | --version]\n"
    "\n"
    "needle is an interactive menu program: it counts how many times a whole number\n"
    "occurs in the files of numbers in the current folder. The linear search reads\n"
    "numbers.txt (numbers in any order), the binary search sortedNumbers.txt\n"
    "(numbers in ascending order). Pick a search from the menu, then type the\n"
    "number to look for; 0 ends the program.\n"
    "\n"
    "Scripts can type for it:  printf '2\\n7\\n0\\n' | needle\n"
    "\n"
    "  -j, --threads N  read a large file with up to N threads at once, 1 to 256\n"
    "                   (by default, as many as the processors needle may use)\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "The file format, the messages and the exit status: man needle\n"
    "(before an install, in the source folder: man ./build/needle.1)\n";

// The thread count of -j or --threads: 1 to 256. Anything else ends the
// program with a line that says so and status 2, the mark of a usage error.
unsigned threadCount(const std::string_view option, const char* value) {
    if (value == nullptr) {
        std::cerr << "needle: option '" << option << "' needs a thread count (see needle --help)\n";
        std::exit(2);
    }
    const std::string_view text = value;
    unsigned count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc{} || end != text.data() + text.size() || count < 1 || count > 256) {
        std::cerr << "needle: invalid thread count '" << escapedForTerminal(text) << "' for '"
                  << option << "' (a whole number from 1 to 256; see needle --help)\n";
        std::exit(2);
    }
    return count;
}

// Sets the thread count from -j N, -jN, --threads N or --threads=N, by
// default the processors needle may use; answers --help and --version, and
// ends the program after either. Every other argument is ignored, with a
// line that says so once all of them are read: a usage error ends the
// program having done nothing else.
void handleArguments(int argc, char** argv) {
    readingThreads = usableProcessors();
    std::vector<std::string_view> ignored;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const char* const next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (argument == "-j" || argument == "--threads") {
            readingThreads = threadCount(argument, next);
            ++i;
            continue;
        }
        if (argument.substr(0, 2) == "-j") {
            readingThreads = threadCount("-j", argv[i] + 2);
            continue;
        }
        if (argument.substr(0, 10) == "--threads=") {
            readingThreads = threadCount("--threads", argv[i] + 10);
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            std::exit(exitStatus());
        }
        if (argument == "--version") {
            std::cout << "needle " NEEDLE_VERSION "\n";
            std::exit(exitStatus());
        }
        ignored.push_back(argument);
    }
    for (const std::string_view argument : ignored) {
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
    runtimeTerminate = std::set_terminate(terminateForMemory);
    try {
        shareOneMemoryArena();
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
