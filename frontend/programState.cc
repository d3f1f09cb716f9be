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
NumberList sortedList;
unsigned readingThreads = 1;
FileIdentity unsortedFileIdentity;
FileIdentity sortedFileIdentity;

// What start-up, and a search whose file was replaced, say on standard error
// when a number file cannot be opened.
constexpr const char kCantOpenUnsorted[] = "Can't open unsorted file!\n";
constexpr const char kCantOpenSorted[] = "Can't open sorted file!\n";

// Opens `file` on `name` for reading and records in `identity` which file it
// opened. The name is looked up before the open and again after it: when
// both agree, that is the file the stream has; a file replaced in between is
// opened again. A name gone by the second look-up leaves the file just
// opened open, taken for the one the first look-up found: the stream has it,
// and a file whose name is removed is read as it was. A directory opens fine
// on Linux but every read of it fails, so it counts as a file that cannot be
// opened. Returns whether the stream is open; `identity` is left as it was
// when not.
static bool openNumberFile(std::ifstream& file, const char* name, FileIdentity& identity) {
    FileIdentity named;
    for (int attempt = 1;; ++attempt) {
        const bool found = lookUpName(name, named) == NameLookup::file;
        file.open(name);
        FileIdentity now;
        if (!file.is_open() || !found || attempt == 3) {
            break;
        }
        const NameLookup after = lookUpName(name, now);
        if (after == NameLookup::nothing || (after == NameLookup::file && now == named)) {
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

// Before a search reads `file`: opens `name` again when it names another
// file than the one open, when it leads to no file any more (the user
// replaced the file by something that cannot be read, which must not be
// read as the old one), and after a reopen that failed, whatever the name
// names now: the file is closed then, and its inode may since have gone to
// another. A name that names nothing leaves the open file to be read as it
// was, and a file that never opened stays unopened. Returns false when the
// file cannot be opened; it is closed then.
static bool followReplacedFile(std::ifstream& file, const char* name, FileIdentity& identity) {
    if (identity == FileIdentity{}) {
        return true;  // said at start-up; counts nothing for the whole run
    }
    FileIdentity now;
    const NameLookup found = lookUpName(name, now);
    if (file.is_open() &&
        (found == NameLookup::nothing || (found == NameLookup::file && now == identity))) {
        return true;
    }
    file.close();
    file.clear();
    if (found == NameLookup::file && now.fifo) {
        // The open waits for a writer, which may be long: say why.
        std::cerr << "Waiting for something to write to " << name << ", a FIFO...\n";
    }
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
