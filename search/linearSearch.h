// Menu action 1: the linear search over numbers.txt.
#pragma once

// Counts the occurrences of a number in numbers.txt, reading the whole file
// from its beginning on every search, one comparison per number read. Memory
// stays constant: numbers are counted, not kept.
void linearSearch();
