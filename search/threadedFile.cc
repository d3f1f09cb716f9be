// Which number files are read by several threads at once.
#include "search/threadedFile.h"

#include "frontend/programState.h"
#include "system/processors.h"

scan::SplitFile openThreadedFile(const char* name, const FileIdentity& identity,
                                 std::uint64_t memory, std::uint64_t perThread) {
    scan::SplitFile file;
    FileVersion version;
    file.fd = openSameRegularFile(name, identity, version);
    file.size = version.size;
    // Below this, threads cost more than they save. A file changed so
    // lately that a change made while the threads read it might not show
    // is read in file order, on one thread.
    constexpr std::uint64_t kSmallestSplit = std::uint64_t{8} << 20;
    if (file.fd >= 0 && file.size >= kSmallestSplit && laterChangesShow(version)) {
        file.threads = threadsThatFit(readingThreads, memory, perThread);
    }
    file.unchanged = [fd = file.fd, version] {
        FileVersion now;
        return readVersion(fd, now) && now == version;
    };
    return file;
}

void closeThreadedFile(scan::SplitFile& file) {
    if (file.fd >= 0) {
        closeFile(file.fd);
        file.fd = -1;
    }
}
