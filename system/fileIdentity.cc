// Looking up which file a name names, behind a function of its own.
#include "system/fileIdentity.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
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

int openSameRegularFile(const char* name, const FileIdentity& identity, std::uint64_t& size) {
    const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || identityOf(status) != identity) {
        close(fd);
        return -1;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return fd;
}

void closeFile(int fd) {
    close(fd);
}
