// A request that lets a long list of numbers fill memory faster.
#pragma once

#include <cstddef>

// Asks the operating system to supply the pages of [begin, begin + bytes)
// now, all in one call, as if each had been written: a list of millions of
// numbers otherwise takes a page fault every 4 KiB, and on a virtual machine
// those faults cost more than reading the numbers. Only a request: nothing
// changes but speed, and where the system has no such thing it does nothing.
//
// Where the list is marked for large pages (see system/largePages.h), a
// request that reaches into a 2 MiB page supplies all of it.
void supplyPagesNow(void* begin, std::size_t bytes);
