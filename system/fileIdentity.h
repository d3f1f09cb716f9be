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

// What tells that a regular file's bytes changed: its size and the time of
// its last change (st_ctim), which every write and truncation sets.
struct FileVersion {
    std::uint64_t size = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;

    bool operator==(const FileVersion& o) const {
        return size == o.size && changedSeconds == o.changedSeconds &&
               changedNanoseconds == o.changedNanoseconds;
    }
};

// Opens `name` again for reading by offset (pread), if it still names the
// regular file `identity`, and says its version; -1 otherwise. The caller
// closes it.
int openSameRegularFile(const char* name, const FileIdentity& identity, FileVersion& version);

// The version of the file open on `fd` now; false where it cannot be read.
bool readVersion(int fd, FileVersion& version);

// Whether every change made to a file of `version` from now on gives it
// another version. The system stamps a change with a clock that moves a
// tick (a few milliseconds) at a time, cut to what its file system keeps: a
// second change within the tick of the first, or within the second on a
// file system that keeps whole seconds, leaves the stamp as it was. So the
// last change must be older than the clock's time now, by two seconds where
// its stamp has no fraction of a second (FAT keeps even seconds).
bool laterChangesShow(const FileVersion& version);
// Closes what openSameRegularFile opened.
void closeFile(int fd);
