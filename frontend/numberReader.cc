// The number reader: one accepted whole number per call, or a clean exit at end of input.
#include "frontend/numberReader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "frontend/programState.h"

bool isWholeInt32(double value) {
    // The range is tested on the double itself: converting an out-of-range
    // value to int32_t would be undefined. NaN fails both comparisons.
    return value >= -2147483648.0 && value <= 2147483647.0 && std::trunc(value) == value;
}

// Ends the program once standard input can give no more numbers: the line the
// user was typing on is closed with a newline, then the program shuts down
// exactly as after menu choice 0.
[[noreturn]] static void endOfInput() {
    std::cout << '\n' << std::flush;
    closeNumberFiles();
    std::exit(0);
}

void readNumber() {
    while (true) {
        if (std::cin >> rawInput) {
            if (isWholeInt32(rawInput)) {
                currentNumber = static_cast<std::int32_t>(rawInput);
                return;
            }
        } else if (std::cin.eof() || std::cin.bad()) {
            endOfInput();
        }
        std::cout << "\nInvalid input!\nPlease give me a number: ";
        std::cin.clear();
        // The rest of the rejected line goes, however long it is; ignore()
        // discards it without storing it.
        std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
}
