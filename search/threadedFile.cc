// Which number files are read by several threads at once.
#include "search/threadedFile.h"

#include "frontend/processors.h"
#include "frontend/programState.h"

scan::SplitFile openThreadedFile(const char* name, const FileIdentity& identity) {
    scan::SplitFile file;
    file.threads = threadsThatFit(readingThreads);
    if (file.threads > 1) {
        file.fd = openSameRegularFile(name, identity, file.size);
    }
    if (file.fd >= 0 && file.size < 2 * file.smallestRange) {
        closeThreadedFile(file);  // one range: the stream reads it as fast
    }
    return file;
}

void closeThreadedFile(scan::SplitFile& file) {
    if (file.fd >= 0) {
        closeFile(file.fd);
        file.fd = -1;
    }
}
