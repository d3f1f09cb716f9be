// Which number files are read by several threads at once.
#pragma once

#include "scan/splitReading.h"
#include "system/fileIdentity.h"

// The file `name` as the searches split it over the threads needle may use
// (see --threads): open again for reading by offset when it still names the
// regular file `identity`, is of 8 MiB at least and was not changed within
// the last tick of the system's clock; otherwise its fd is -1 and the file
// is read on one thread, through its stream. Its version is taken as it
// opens, and what the threads read is kept only where the file still has
// it once they have read it. Close it with closeThreadedFile.
scan::SplitFile openThreadedFile(const char* name, const FileIdentity& identity);
void closeThreadedFile(scan::SplitFile& file);
