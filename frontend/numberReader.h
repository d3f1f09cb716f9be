// The validated reader through which every number the user types enters.
#pragma once

// Reads numbers from standard input until one is a whole number that fits in
// 32 bits, answering every other attempt with "Invalid input!" and a new
// prompt, and stores it in currentNumber. When standard input has ended, no
// number can ever arrive: it writes a newline and calls whenInputEnds. When
// standard input failed instead (a read error), it ends the same way, with a
// line on standard error naming the error, and status 1. When standard
// output can no longer be written, nobody sees the dialogue: it ends the
// program with status 1.
void readNumber();

// What readNumber does after standard input has ended; it must not return.
// By default it closes the files and ends the program as menu choice 0 would.
// The dialogue fuzzer replaces it, to run many dialogues in one process.
extern void (*whenInputEnds)();

// Whether `value` is a whole number from -2147483648 to 2147483647; NaN and
// the infinities are not. -0 is the whole number 0.
bool isWholeInt32(double value);
