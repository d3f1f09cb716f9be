// The load of a regular file split over threads: each thread reads pieces of
// the file into a buffer of its own, and stores them into the list in file
// order, so that the list's fresh pages are supplied on every core at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scan/numberScanner.h"

// What the pieces stored, and where the one-thread reading takes over.
struct SplitLoadEnd {
    std::size_t stored = 0;         // numbers written to the room, from the file's start
    std::uint64_t resumeAt = 0;     // the byte after the last piece stored
    std::uint64_t linesBefore = 0;  // the newlines before resumeAt
    std::uint64_t descentLine = 0;  // of the first number smaller than the one before; 0: none
    unsigned pieces = 0;            // how many the file was cut into, besides the last
};

// Reads `file` from its start into room[0, roomSize), in pieces cut at white
// space and read by file.threads threads. Every piece but the last is read
// on the threads; the pieces are stored in file order up to the first that
// cannot be stored whole: one that stops at a bad token or a read error,
// ends early (the file shrank), runs out of memory, or would fill the room
// past roomSize. From resumeAt on, the file is to be read as the one-thread
// load reads it: the last piece to the file's end as it is now, and the
// piece that could not be stored to where and why it stops.
SplitLoadEnd loadPieces(const scan::SplitFile& file, std::int32_t* room, std::size_t roomSize,
                        const scan::ScanKernel& kernel);
