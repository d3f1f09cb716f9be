// Which number files are read by several threads at once.
#pragma once

#include <cstdint>

#include "scan/splitReading.h"
#include "system/fileIdentity.h"

// What a thread of a split reading takes, beyond what the one-thread
// reading does: its stack, a chunk of the scanner's, and for the load a
// piece's numbers until their turn. Measured at -j 64 against -j 1, where
// every number fills its place: 680 KiB a thread for a count of "+1" lines
// (the byte machine's numbers), 1420 KiB for a load of "1" lines.
constexpr std::uint64_t kCountThreadMemory = std::uint64_t{1} << 20;
constexpr std::uint64_t kLoadThreadMemory = std::uint64_t{2} << 20;

// The file `name` as the searches split it over the threads needle may use
// (see --threads): open again for reading by offset when it still names the
// regular file `identity` (otherwise its fd is -1), and split over as many
// threads as fit in `memory`, the bytes more the process can be given, at
// `perThread` each (see threadsThatFit), when it is of 8 MiB at least and
// was not changed within the last tick of the system's clock; otherwise it
// is read on one thread, through its stream, and read ahead in by offset.
// Its version is taken as it opens, and what the threads read is kept only
// where the file still has it once they have read it. Close it with
// closeThreadedFile.
scan::SplitFile openThreadedFile(const char* name, const FileIdentity& identity,
                                 std::uint64_t memory, std::uint64_t perThread);
void closeThreadedFile(scan::SplitFile& file);
