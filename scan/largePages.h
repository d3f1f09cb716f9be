// Hints that let a long list of numbers fill memory faster.
#pragma once

#include <cstddef>

// Asks the operating system to back [begin, begin + bytes) with large pages
// where it can. A list of millions of numbers otherwise takes a page fault
// every 4 KiB, and on a virtual machine those faults cost more than reading
// the numbers. Only a hint: nothing changes but speed, and where the system
// has no such thing it does nothing.
void preferLargePages(void* begin, std::size_t bytes);

// Asks the operating system to supply the pages of [begin, begin + bytes)
// now, all in one call, as if each had been written. Where large pages are
// scarce (memory filled by the page cache), the faults of a large-page range
// can stall for a tenth of a second while the system makes room; supplied
// ahead in one call, they do not. Also only a hint.
void supplyPagesNow(void* begin, std::size_t bytes);
