// The file object on real files: modes, positions, sizes past the int range and text lines.
#include "GsFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace
{

class GsFileTest : public ::testing::Test
{
protected:
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override
    {
        file.Close();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string PathOf(const char* name) const { return (folder / name).string(); }

    const fs::path folder =
        fs::temp_directory_path() / ("gsfile-" + std::to_string(std::random_device{}()));
    CGsFile file;
};

TEST(GsFileModeTest, FlagCombinationsGiveModeStrings)
{
    const int R = GS_FILE_READ, W = GS_FILE_WRITE, E = GS_FILE_EXISTING, A = GS_FILE_APPEND,
              T = GS_FILE_TEXT, B = GS_FILE_BINARY;
    const std::pair<int, const char*> rows[] = {
        {R, "r"},      {R | T, "rt"},     {R | B, "rb"},          {R | E | A, "r"},
        {W, "w"},      {W | A, "a"},      {W | T, "wt"},          {W | A | B, "ab"},
        {R | W, "w+"}, {R | W | E, "r+"}, {R | W | A, "a+"},      {R | W | A | E, "a+"},
        {0, "r"},      {B | T, "rb"},     {R | W | E | B, "rb+"}, {R | W | T, "wt+"}};
    for (const auto& [flags, mode] : rows)
        EXPECT_EQ(mode, BuildFileMode(flags)) << "flags " << flags;
}

TEST_F(GsFileTest, OpenKeepsItsPathAndSizeKeepsThePosition)
{
    std::string bytes(100, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    std::ofstream(PathOf("hundred.bin"), std::ios::binary) << bytes;
    ASSERT_EQ(1, file.Open(PathOf("hundred.bin").c_str(), GS_FILE_READ));
    // The object's own path, which the implicit close clears, still names the file.
    ASSERT_EQ(1, file.Open(file.GetPath().c_str(), GS_FILE_READ | GS_FILE_BINARY));
    EXPECT_EQ(PathOf("hundred.bin"), file.GetPath());
    char buffer[16] = {};
    unsigned int count = 0;
    EXPECT_EQ(1, file.Read(buffer, 10, &count));
    EXPECT_EQ(10u, count);
    EXPECT_EQ(100, file.GetSize());
    EXPECT_EQ(10, file.Tell()) << "GetSize puts the position back";
    EXPECT_EQ(1, file.Seek(20, 7)) << "unknown origin: from the start";
    EXPECT_EQ(1, file.Seek(5, 1));
    EXPECT_EQ(25, file.Tell());
    EXPECT_EQ(1, file.Seek(-4, 2));
    EXPECT_EQ(96, file.Tell());
    EXPECT_EQ(0, file.Seek(-200, 1));
    EXPECT_EQ(GS_FILE_STATE_OK, file.GetState());
    EXPECT_EQ(1, file.Read(buffer, 10, &count)) << "a short read is not a failure";
    EXPECT_EQ(4u, count);
    EXPECT_EQ(99, buffer[3]);
    EXPECT_EQ(GS_FILE_STATE_EOF, file.GetState());

    EXPECT_EQ(0, file.Open(PathOf("absent.bin").c_str(), GS_FILE_READ));
    EXPECT_EQ(PathOf("absent.bin"), file.GetPath()) << "kept also when opening fails";
    EXPECT_EQ(0, file.Open(nullptr, GS_FILE_READ));
    EXPECT_EQ("", file.GetPath());
    // Closed, every operation answers at once.
    EXPECT_EQ(GS_FILE_STATE_CLOSED, file.GetState());
    EXPECT_EQ(0, file.Read(buffer, 4, &count));
    EXPECT_EQ(0u, count);
}

// Sizes of 2 GiB and more are a failure, never a wrapped int; the position is kept all the same.
TEST_F(GsFileTest, SizesBeyondTheIntRangeAreRefused)
{
    std::ofstream(PathOf("sparse.bin")).close();
    fs::resize_file(PathOf("sparse.bin"), 3ull << 30);
    ASSERT_EQ(1, file.Open(PathOf("sparse.bin").c_str(),
                           GS_FILE_READ | GS_FILE_WRITE | GS_FILE_EXISTING | GS_FILE_BINARY));
    EXPECT_EQ(-1, file.GetSize());
    ASSERT_EQ(1, file.Seek(2000000000, 0));
    ASSERT_EQ(1, file.Seek(500000000, 1));
    ASSERT_EQ(1, file.Write("MARK", 4, nullptr));
    ASSERT_EQ(1, file.Seek(-4, 1));
    EXPECT_EQ(-1, file.GetSize());
    char mark[4] = {};
    unsigned int count = 0;
    EXPECT_EQ(1, file.Read(mark, 4, &count));
    EXPECT_EQ("MARK", std::string(mark, count));
    fs::resize_file(PathOf("sparse.bin"), 0x7FFFFFFF);
    EXPECT_EQ(0x7FFFFFFF, file.GetSize()) << "the largest size that fits";
}

TEST_F(GsFileTest, WritesAndTextLines)
{
    IGsFile* writer = new CGsFile;
    ASSERT_EQ(1, writer->Open(PathOf("lines.bin").c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    const unsigned int value32 = 0x12345678;
    unsigned int count = 0;
    EXPECT_EQ(1, writer->Write32(&value32, &count));
    EXPECT_EQ(4u, count);
    EXPECT_EQ(1, writer->Write16(&value32, nullptr));
    EXPECT_EQ(1, writer->Write8(&value32, nullptr));
    EXPECT_EQ(7, writer->GetSize()) << "unflushed writes count";
    EXPECT_EQ(0, writer->PrintLine("%d-%s", 42, "ab"));
    const std::string longest(GS_FILE_LINE_MAX, 'x');
    EXPECT_EQ(0, writer->PrintLine("%s!", longest.c_str()));
    EXPECT_EQ(0, writer->WriteString("one\nthree"));
    EXPECT_EQ(-1, writer->WriteString(nullptr));
    EXPECT_EQ(0, writer->Release()) << "which closes the file";
    std::ifstream in(PathOf("lines.bin"), std::ios::binary);
    EXPECT_EQ(std::string("\x78\x56\x34\x12\x78\x56\x78", 7) + "42-ab\n" + longest + "\none\nthree",
              std::string(std::istreambuf_iterator<char>(in), {}));

    ASSERT_EQ(1, file.Open(PathOf("lines.bin").c_str(), GS_FILE_READ | GS_FILE_BINARY));
    ASSERT_EQ(1, file.Seek(10, 0));
    char line[16];
    EXPECT_EQ(line, file.ReadLine(line, 3)) << "size - 1 bytes at most";
    EXPECT_STREQ("ab", line);
    EXPECT_EQ(line, file.ReadLine(line, sizeof line));
    EXPECT_STREQ("\n", line);
    EXPECT_EQ(nullptr, file.ReadLine(line, 0));
    // A write to a read-only stream fails and flags the error.
    ASSERT_EQ(1, file.Open(PathOf("lines.bin").c_str(), GS_FILE_READ | GS_FILE_BINARY));
    EXPECT_EQ(-1, file.WriteString("x"));
    EXPECT_EQ(-1, file.PrintLine("x"));
    EXPECT_EQ(1, file.Write("abcd", 4, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(GS_FILE_STATE_ERROR, file.GetState());
}

} // namespace
