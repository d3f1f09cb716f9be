// Looking up which file a name names, behind a function of its own.
#include "system/fileIdentity.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

FileIdentity identityOf(const struct stat& status) {
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.inode = static_cast<std::uint64_t>(status.st_ino);
    identity.directory = S_ISDIR(status.st_mode);
    identity.fifo = S_ISFIFO(status.st_mode);
    return identity;
}

FileVersion versionOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_ctim.tv_sec),
            static_cast<std::int64_t>(status.st_ctim.tv_nsec)};
}

}  // namespace

NameLookup lookUpName(const char* name, FileIdentity& identity) {
    struct stat status {};
    if (stat(name, &status) != 0) {
        // stat fails alike for a missing name and a link to a missing
        // target; only lstat, which looks at the link itself, tells them
        // apart.
        const int error = errno;
        struct stat link {};
        return error == ENOENT && lstat(name, &link) != 0 ? NameLookup::nothing
                                                          : NameLookup::unusable;
    }
    identity = identityOf(status);
    return NameLookup::file;
}

int openSameRegularFile(const char* name, const FileIdentity& identity, FileVersion& version) {
    const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || identityOf(status) != identity) {
        close(fd);
        return -1;
    }
    version = versionOf(status);
    return fd;
}

bool readVersion(int fd, FileVersion& version) {
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return false;
    }
    version = versionOf(status);
    return true;
}

bool laterChangesShow(const FileVersion& version) {
    // The clock the system stamps changes with, not the exact one: a change
    // made now is stamped with this time or a later one.
    struct timespec now {};
    if (clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) {
        return false;
    }
    const std::int64_t wholeSeconds = version.changedNanoseconds == 0 ? 2 : 0;
    return now.tv_sec > version.changedSeconds + wholeSeconds ||
           (now.tv_sec == version.changedSeconds + wholeSeconds &&
            now.tv_nsec > version.changedNanoseconds);
}

void closeFile(int fd) {
    close(fd);
}
