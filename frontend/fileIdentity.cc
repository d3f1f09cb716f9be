// Looking up which file a name names, behind a function of its own.
#include "frontend/fileIdentity.h"

#include <sys/stat.h>

bool identityOf(const char* name, FileIdentity& identity) {
    struct stat status {};
    if (stat(name, &status) != 0) {
        return false;
    }
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.inode = static_cast<std::uint64_t>(status.st_ino);
    identity.directory = S_ISDIR(status.st_mode);
    return true;
}
