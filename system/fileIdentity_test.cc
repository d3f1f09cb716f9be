// Tests of telling one file from another by its device and inode.
#include "system/fileIdentity.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cstdio>
#include <string>

// Does an identity that differs in its device or its inode alone name
// another file, as the same inode number on a second file system does, and
// is a file opened again only under its own identity?
TEST(FileIdentity, DeviceAndInodeBothCount) {
    const std::string name = ::testing::TempDir() + "fileIdentity.txt";
    std::FILE* const file = std::fopen(name.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("1 2 3\n", file);
    std::fclose(file);
    FileIdentity real;
    ASSERT_EQ(lookUpName(name.c_str(), real), NameLookup::file);

    FileIdentity otherDevice = real, otherInode = real;
    ++otherDevice.device;
    ++otherInode.inode;
    EXPECT_EQ(real, real);
    EXPECT_NE(otherDevice, real);
    EXPECT_NE(otherInode, real);

    FileVersion version;
    const int fd = openSameRegularFile(name.c_str(), real, version);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(version.size, 6u);
    closeFile(fd);
    EXPECT_EQ(openSameRegularFile(name.c_str(), otherDevice, version), -1);
    EXPECT_EQ(openSameRegularFile(name.c_str(), otherInode, version), -1);
    std::remove(name.c_str());
}

// Is a change made within the last tick of the clock that stamps changes
// taken as one that a later change might not show, and within the last two
// seconds where the stamp is of whole seconds?
TEST(FileVersion, LaterChangesShowOnceTheClockHasMovedOn) {
    struct timespec now {};
    ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &now), 0);
    const auto at = [](std::int64_t seconds, std::int64_t nanoseconds) {
        return FileVersion{6, seconds, nanoseconds};
    };
    EXPECT_FALSE(laterChangesShow(at(now.tv_sec + 1, 1)));
    EXPECT_FALSE(laterChangesShow(at(now.tv_sec, now.tv_nsec)));
    EXPECT_TRUE(laterChangesShow(at(now.tv_sec - 1, now.tv_nsec)));
    EXPECT_FALSE(laterChangesShow(at(now.tv_sec - 1, 0)));
    EXPECT_TRUE(laterChangesShow(at(now.tv_sec - 3, 0)));
}
