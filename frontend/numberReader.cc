// The number reader: one accepted whole number per call, or a clean exit at end of input.
#include "frontend/numberReader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "frontend/doubleReader.h"
#include "frontend/programState.h"

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

void readNumber() {
    while (true) {
        // Waiting for an answer to a prompt nobody can see would hang a
        // script whose reader has gone, as in `yes 1 | needle | head`.
        if (!std::cout.flush()) {
            closeNumberFiles();
            std::exit(1);
        }
        if (readDouble(std::cin, rawInput)) {
            if (isWholeInt32(rawInput)) {
                currentNumber = static_cast<std::int32_t>(rawInput);
                return;
            }
        } else if (std::cin.eof() || std::cin.bad()) {
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
