// Which file a name names: what tells a file replaced under its name.
#pragma once

#include <cstdint>

// A file's device and inode: two names with the same identity name one file,
// and a file replaced under its name (by mv, sed -i or an editor's save)
// gets another.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool directory = false;

    bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

// The identity of the file `name` names now, following symbolic links;
// false when it names nothing that can be looked at.
bool identityOf(const char* name, FileIdentity& identity);
