// The sorted list in memory: how sortedNumbers.txt is loaded into sortedList
// and held there, with its capacity reserved, its pages supplied ahead and its
// order checked once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>
#include <string>
#include <vector>

#include "frontend/numberList.h"
#include "scan/splitReading.h"

// Appends the numbers of sortedFile to sortedList until the reading stops,
// warning once if they are not in ascending order and saying why the reading
// stopped early. Leaves sortedFile failed, so later calls append nothing.
// The list never grows past what the process can be given without being
// killed (see system/memoryLeft.h): past that, the load stops as when an
// allocation fails, keeping what it has. `kernel` is for the benchmark, and
// `systemRoot`, the folder the memory readings are taken under, for tests.
void loadSortedList(const scan::ScanKernel& kernel = scan::bestKernel(),
                    const std::string& systemRoot = "");

// Appends the numbers of `in` to `list` as loadSortedList does, holding at
// most `mostNumbers`, and calls warnOfDescent with the line of the first
// number smaller than the one before it, once. With `split`, the regular
// file `in` has open and has read nothing of, the stream is read ahead in
// it, and where it is split over threads, it is read as a split reading
// (see scan/splitReading.h), the pieces copied into the list in place: the
// list, the warning and the end are those of the reading through `in`
// alone. `list` is then empty, with capacity reserved for the whole file.
scan::ScanEnd loadNumbers(NumberList& list, std::streambuf& in, std::size_t mostNumbers,
                          const scan::SplitFile* split, const scan::ScanKernel& kernel,
                          const std::function<void(std::uint64_t)>& warnOfDescent);

// Reserves capacity in `list` for every number that the rest of `in` can hold
// (one per two bytes), so that loading the file never copies the list. It is
// only address space until numbers are written to it. Does nothing where the
// size is unknown (a pipe) or the address space too small: the list then
// grows as it goes.
void reserveForNumbers(std::streambuf& in, NumberList& list);

// Before any page of the empty `list`'s capacity is written: marks it for
// 2 MiB pages where the system has them free (see system/largePages.h,
// whose readings are taken under `systemRoot`), so that one fault, or one
// page supplied, stands for 512. Only on a 64-bit system, and for a
// capacity of a few MiB at least, which the list's allocator aligns.
void markCapacityForLargePages(NumberList& list, const std::string& systemRoot);

// Before `count` more numbers are appended to `list`: has the system supply
// the pages of its capacity a few megabytes ahead of its end, in one call each
// time the end crosses into a new stretch, rather than in a fault per page.
// Does nothing where the list has no capacity reserved to speak of.
void supplyPagesAhead(NumberList& list, std::size_t count);

// The most numbers `list` may hold when `memory` bytes more can be given, four
// bytes a number. Within its reserved capacity the list grows in place;
// past it, it must move once, and the old copy is there while the new one
// fills: it may move while both copies fit in that memory, into capacity
// for all that it holds (see appendNumbers), and else it stays within its
// capacity.
std::size_t mostNumbersFor(const NumberList& list, std::uint64_t memory);

// Appends values[0, count) to `list`, letting it hold at most `mostNumbers`,
// and returns how many it stored: fewer when the list reached that bound or
// memory ran out, at the first number that did not fit.
std::size_t appendNumbers(NumberList& list, const std::int32_t* values, std::size_t count,
                          std::size_t mostNumbers = SIZE_MAX);

// Where [first, last) first descends, counted from `first`: the index of the
// first number smaller than the one before it, which for `first` itself is
// first[-1] where `continues` says the numbers go on from there; last - first
// when nothing descends. 256 pairs at a time, without a branch, so that a
// sorted file is checked whole at the speed of memory.
std::size_t firstDescentIn(const std::int32_t* first, const std::int32_t* last, bool continues);

// The line of the first descent among the `count` numbers of `batch` that
// `values` holds from `at` on, judged against values[at - 1] where `at` is
// not 0; 0 where none descends.
std::uint64_t descentLineIn(const std::int32_t* values, std::size_t at, std::size_t count,
                            const scan::NumberBatch& batch);
