// Tests of telling one file from another by its device and inode.
#include "system/fileIdentity.h"

#include <gtest/gtest.h>

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

    std::uint64_t size = 0;
    const int fd = openSameRegularFile(name.c_str(), real, size);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(size, 6u);
    closeFile(fd);
    EXPECT_EQ(openSameRegularFile(name.c_str(), otherDevice, size), -1);
    EXPECT_EQ(openSameRegularFile(name.c_str(), otherInode, size), -1);
    std::remove(name.c_str());
}
