// Which file a name names: what tells a file replaced under its name.
#pragma once

#include <cstdint>

// A file's device and inode: two names with the same identity name one file,
// and a file replaced under its name (by mv, sed -i or an editor's save)
// gets another. What kind of file it is comes along.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool directory = false;
    bool fifo = false;  // opening it waits until something opens it to write

    bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

// What a name names now.
enum class NameLookup {
    file,      // a file, whose identity is filled in
    nothing,   // no entry of that name: the file was removed or renamed
    unusable,  // an entry that leads to no file that can be looked at: a
               // symbolic link whose target is gone, a loop of links, a
               // folder on the way that may not be searched
};

// Looks `name` up, following symbolic links: a link names its target's file.
NameLookup lookUpName(const char* name, FileIdentity& identity);

// Opens `name` again for reading by offset (pread), if it still names the
// regular file `identity`, and says its size; -1 otherwise. The caller closes it.
int openSameRegularFile(const char* name, const FileIdentity& identity, std::uint64_t& size);
// Closes what openSameRegularFile opened.
void closeFile(int fd);
