// The program-wide state, and the opening and closing of the two number files.
#include "frontend/programState.h"

#include <filesystem>
#include <iostream>
#include <system_error>

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
}

// Opens `file` on `name` for reading. A directory opens fine on Linux but every
// read of it fails, so it counts as a file that cannot be opened. Returns
// whether the stream is open.
static bool openNumberFile(std::ifstream& file, const char* name) {
    file.open(name);
    std::error_code ignored;
    if (file.is_open() && std::filesystem::is_directory(name, ignored)) {
        file.close();
        file.setstate(std::ios::failbit);
    }
    return file.is_open();
}

void openNumberFiles() {
    // Both files are opened before either outcome is reported.
    const bool unsortedOpen = openNumberFile(unsortedFile, "numbers.txt");
    const bool sortedOpen = openNumberFile(sortedFile, "sortedNumbers.txt");
    if (!unsortedOpen) {
        std::cerr << "Can't open unsorted file!\n";
    }
    if (!sortedOpen) {
        std::cerr << "Can't open sorted file!\n";
    } else if (unsortedOpen) {
        std::cout << "Files opened successfully!\n";
    }
}

void closeNumberFiles() {
    unsortedFile.close();
    sortedFile.close();
}

int exitStatus() {
    return std::cout.flush() ? 0 : 1;
}
