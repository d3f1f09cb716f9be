// Looking up which file a name names, behind a function of its own.
#include "frontend/fileIdentity.h"

#include <errno.h>
#include <sys/stat.h>

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
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.inode = static_cast<std::uint64_t>(status.st_ino);
    identity.directory = S_ISDIR(status.st_mode);
    identity.fifo = S_ISFIFO(status.st_mode);
    return NameLookup::file;
}
