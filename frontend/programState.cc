// The program-wide state, and the opening and closing of the two number files.
#include "frontend/programState.h"

#include <iostream>

bool keepRunning = true;
std::int32_t currentNumber = 0;
std::int64_t instanceCount = 0;
std::int64_t comparisonCount = 0;
double rawInput = 0;
std::int64_t high = 0;
std::int64_t mid = 0;
std::ifstream unsortedFile;
std::ifstream sortedFile;
std::vector<std::int32_t> sortedList;
FileIdentity unsortedFileIdentity;
FileIdentity sortedFileIdentity;

void resetProgramState() {
    keepRunning = true;
    currentNumber = 0;
    instanceCount = 0;
    comparisonCount = 0;
    rawInput = 0;
    high = 0;
    mid = 0;
    for (std::ifstream* file : {&unsortedFile, &sortedFile}) {
        file->close();
        file->clear();
    }
    std::vector<std::int32_t>().swap(sortedList);
    unsortedFileIdentity = {};
    sortedFileIdentity = {};
}

// What start-up, and a search whose file was replaced, say on standard error
// when a number file cannot be opened.
constexpr const char kCantOpenUnsorted[] = "Can't open unsorted file!\n";
constexpr const char kCantOpenSorted[] = "Can't open sorted file!\n";

// Opens `file` on `name` for reading and records in `identity` which file it
// opened. The name is looked up before the open and again after it: when
// both agree, that is the file the stream has; a file replaced in between is
// opened again. A directory opens fine on Linux but every read of it fails,
// so it counts as a file that cannot be opened. Returns whether the stream is
// open; `identity` is left as it was when not.
static bool openNumberFile(std::ifstream& file, const char* name, FileIdentity& identity) {
    FileIdentity named;
    for (int attempt = 1;; ++attempt) {
        const bool found = identityOf(name, named);
        file.open(name);
        FileIdentity now;
        if (!file.is_open() || !found || attempt == 3 || (identityOf(name, now) && now == named)) {
            break;
        }
        file.close();  // replaced while it was opened: open what it names now
        file.clear();
    }
    if (file.is_open() && named.directory) {
        file.close();
        file.setstate(std::ios::failbit);
    }
    if (file.is_open()) {
        identity = named;
    }
    return file.is_open();
}

void openNumberFiles() {
    // Both files are opened before either outcome is reported.
    const bool unsortedOpen = openNumberFile(unsortedFile, "numbers.txt", unsortedFileIdentity);
    const bool sortedOpen = openNumberFile(sortedFile, "sortedNumbers.txt", sortedFileIdentity);
    if (!unsortedOpen) {
        std::cerr << kCantOpenUnsorted;
    }
    if (!sortedOpen) {
        std::cerr << kCantOpenSorted;
    } else if (unsortedOpen) {
        std::cout << "Files opened successfully!\n";
    }
}

// Reopens `file` when `name` names another file than `identity` now, or
// anything at all after a reopen failed: the file it had is closed then, and
// its inode may since have gone to another. Returns false when the file
// cannot be opened.
static bool followReplacedFile(std::ifstream& file, const char* name, FileIdentity& identity) {
    FileIdentity now;
    if (identity == FileIdentity{} || !identityOf(name, now) ||
        (file.is_open() && now == identity)) {
        return true;
    }
    file.close();
    file.clear();
    return openNumberFile(file, name, identity);
}

void reopenUnsortedFileIfReplaced() {
    if (!followReplacedFile(unsortedFile, "numbers.txt", unsortedFileIdentity)) {
        std::cerr << kCantOpenUnsorted;
    }
}

void reopenSortedFileIfReplaced() {
    if (!followReplacedFile(sortedFile, "sortedNumbers.txt", sortedFileIdentity)) {
        std::cerr << kCantOpenSorted;
    }
}

void closeNumberFiles() {
    unsortedFile.close();
    sortedFile.close();
}

int exitStatus() {
    return std::cout.flush() ? 0 : 1;
}
