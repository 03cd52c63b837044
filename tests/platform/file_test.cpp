#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class FileTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qor-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string dir;
};

TEST_F(FileTest, WriteAtAndReadAtBeyondFourGibibytes) {
    qor::File f;
    ASSERT_TRUE(f.Open(dir + "/sparse.bin", qor::File::Mode::CreateAlways));
    const int64_t far = (int64_t{1} << 32) + 12345;
    const std::string text = "beyond 4 GiB";
    ASSERT_TRUE(f.WriteAt(text.data(), text.size(), far));
    EXPECT_EQ(f.Size(), far + static_cast<int64_t>(text.size()));
    std::string back(text.size(), '\0');
    EXPECT_EQ(f.ReadAt(back.data(), back.size(), far), static_cast<int64_t>(text.size()));
    EXPECT_EQ(back, text);
}

TEST_F(FileTest, SeekOriginsAndShortReadAtEnd) {
    qor::File f;
    ASSERT_TRUE(f.Open(dir + "/a.bin", qor::File::Mode::CreateAlways));
    const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(f.Write(data.data(), data.size()));
    EXPECT_EQ(f.Seek(2, qor::File::Origin::Begin), 2);
    EXPECT_EQ(f.Seek(3, qor::File::Origin::Current), 5);
    EXPECT_EQ(f.Seek(-4, qor::File::Origin::End), 6);
    uint8_t buf[8] = {};
    EXPECT_EQ(f.Read(buf, sizeof buf), 4);
    EXPECT_EQ(buf[0], 7);
    EXPECT_EQ(f.Read(buf, sizeof buf), 0);
}

TEST_F(FileTest, SetEndOfFileTruncatesAndExtends) {
    qor::File f;
    ASSERT_TRUE(f.Open(dir + "/t.bin", qor::File::Mode::CreateAlways));
    const std::string text = "0123456789";
    ASSERT_TRUE(f.Write(text.data(), text.size()));
    ASSERT_EQ(f.Seek(4, qor::File::Origin::Begin), 4);
    ASSERT_TRUE(f.SetEndOfFile());
    EXPECT_EQ(f.Size(), 4);
    ASSERT_EQ(f.Seek(100, qor::File::Origin::Begin), 100);
    ASSERT_TRUE(f.SetEndOfFile());
    EXPECT_EQ(f.Size(), 100);
}

TEST_F(FileTest, OpenFailuresLeaveClosedWithErrno) {
    qor::File f;
    EXPECT_FALSE(f.Open(dir + "/missing.bin", qor::File::Mode::Read));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_NE(f.LastError(), 0);
    EXPECT_FALSE(f.Open(dir, qor::File::Mode::Read));  // a directory is not a file
    EXPECT_FALSE(f.Open(dir + "/no/such/dir/x", qor::File::Mode::CreateAlways));
    uint8_t b;
    EXPECT_EQ(f.Read(&b, 1), -1);
    EXPECT_FALSE(f.Write(&b, 1));
}

TEST_F(FileTest, OpenAlwaysKeepsContents) {
    {
        qor::File f;
        ASSERT_TRUE(f.Open(dir + "/k.bin", qor::File::Mode::CreateAlways));
        ASSERT_TRUE(f.Write("abc", 3));
    }
    qor::File f;
    ASSERT_TRUE(f.Open(dir + "/k.bin", qor::File::Mode::OpenAlways));
    EXPECT_EQ(f.Size(), 3);
}

TEST_F(FileTest, PathHelpers) {
    const std::string sub = dir + "/out";
    EXPECT_FALSE(qor::PathExists(sub));
    EXPECT_TRUE(qor::CreateDirectory(sub));
    EXPECT_TRUE(qor::CreateDirectory(sub));  // already there counts as success
    EXPECT_TRUE(qor::IsDirectory(sub));
    EXPECT_FALSE(qor::IsRegularFile(sub));
    EXPECT_FALSE(qor::CreateDirectory(dir + "/missing/parent"));
    {
        qor::File f;
        ASSERT_TRUE(f.Open(sub + "/f", qor::File::Mode::CreateAlways));
        ASSERT_TRUE(f.Write("xy", 2));
    }
    EXPECT_TRUE(qor::IsRegularFile(sub + "/f"));
    EXPECT_EQ(qor::FileSize(sub + "/f"), 2);
    EXPECT_EQ(qor::FileSize(sub + "/none"), -1);
    EXPECT_GT(qor::FreeDiskSpace(dir), 0);
}

}  // namespace
