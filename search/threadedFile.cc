// Which number files are read by several threads at once.
#include "search/threadedFile.h"

#include "frontend/programState.h"
#include "system/processors.h"

scan::SplitFile openThreadedFile(const char* name, const FileIdentity& identity) {
    scan::SplitFile file;
    file.threads = threadsThatFit(readingThreads);
    if (file.threads > 1) {
        file.fd = openSameRegularFile(name, identity, file.size);
    }
    // Below this, threads cost more than they save.
    constexpr std::uint64_t kSmallestSplit = std::uint64_t{8} << 20;
    if (file.fd >= 0 && file.size < kSmallestSplit) {
        closeThreadedFile(file);
    }
    return file;
}

void closeThreadedFile(scan::SplitFile& file) {
    if (file.fd >= 0) {
        closeFile(file.fd);
        file.fd = -1;
    }
}
