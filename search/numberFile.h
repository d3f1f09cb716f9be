// What the searches say when the reading of a number file stops early.
#pragma once

#include "search/numberScanner.h"

// Writes, for any ending but the end of the file, the one line on standard
// error that says where the reading of `fileName` ("unsorted file" or "sorted
// file") stopped and why.
void reportEarlyStop(const char* fileName, const ScanEnd& end);
