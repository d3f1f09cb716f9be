// The number reader: one accepted whole number per call, or a clean exit at end of input.
#include "frontend/numberReader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>

#include "frontend/doubleReader.h"
#include "frontend/programState.h"
#include "frontend/standardInput.h"

bool isWholeInt32(double value) {
    // The range is tested on the double itself: converting an out-of-range
    // value to int32_t would be undefined. NaN fails both comparisons.
    return value >= -2147483648.0 && value <= 2147483647.0 && std::trunc(value) == value;
}

// Shuts down exactly as after menu choice 0.
[[noreturn]] static void exitAtEndOfInput() {
    closeNumberFiles();
    std::exit(exitStatus());
}

void (*whenInputEnds)() = exitAtEndOfInput;

// What went wrong with standard input, or "" while nothing has: a read that
// failed on needle's own buffer, or any buffer that made the stream bad.
static std::string inputFailure() {
    std::string error = standardInputError();
    if (error.empty() && std::cin.bad()) {
        error = "read error";
    }
    return error;
}

// Ends the dialogue as the end of the input does, but as the failure it is:
// a line on standard error that names the error, and status 1.
[[noreturn]] static void exitOnInputFailure(const std::string& error) {
    std::cout << '\n' << std::flush;
    std::cerr << "needle: cannot read standard input: " << error << '\n';
    closeNumberFiles();
    std::exit(1);
}

void readNumber() {
    while (true) {
        // Waiting for an answer to a prompt nobody can see would hang a
        // script whose reader has gone, as in `yes 1 | needle | head`.
        if (!std::cout.flush()) {
            closeNumberFiles();
            std::exit(1);
        }
        readDouble(std::cin, rawInput);
        // Before the number is taken: one cut short by a failed read is
        // not the number the user typed.
        if (const std::string error = inputFailure(); !error.empty()) {
            exitOnInputFailure(error);
        }
        if (!std::cin.fail()) {
            if (isWholeInt32(rawInput)) {
                currentNumber = static_cast<std::int32_t>(rawInput);
                return;
            }
        } else if (std::cin.eof()) {
            // Close the line the user was typing on.
            std::cout << '\n';
            whenInputEnds();
            std::abort();  // whenInputEnds must not return
        }
        std::cout << "\nInvalid input!\nPlease give me a number: ";
        std::cin.clear();
        // The rest of the rejected line goes, however long it is; ignore()
        // discards it without storing it.
        std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
}
