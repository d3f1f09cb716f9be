// A request that lets a long list of numbers fill memory faster.
#pragma once

#include <cstddef>

// Asks the operating system to supply the pages of [begin, begin + bytes)
// now, all in one call, as if each had been written: a list of millions of
// numbers otherwise takes a page fault every 4 KiB, and on a virtual machine
// those faults cost more than reading the numbers. Only a request: nothing
// changes but speed, and where the system has no such thing it does nothing.
//
// Large pages were asked for too once (MADV_HUGEPAGE), and made a load a
// tenth faster when the system had them at hand; but once memory had served
// as page cache, a load now and then stalled 100 ms or more while the system
// assembled them. Supplied ahead, plain pages take the same time every time.
void supplyPagesNow(void* begin, std::size_t bytes);
