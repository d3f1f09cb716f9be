// Menu action 1, and the target prompt and search report that every search uses.
#pragma once

// Asks for the number to look for; afterwards currentNumber holds it.
void askForTarget();
// Prints the one-line result of a search from instanceCount, currentNumber
// and comparisonCount.
void printSearchReport();
// Counts the occurrences of a number in numbers.txt, reading the whole file
// from its beginning on every search, one comparison per number read.
void linearSearch();
