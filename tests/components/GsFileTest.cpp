#include "GsFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string PathOf(const char* name) const { return (folder / name).string(); }
    std::string MakeFile(const char* name, const std::string& bytes) const
    {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
        return PathOf(name);
    }
    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    const fs::path folder =
        fs::temp_directory_path() / ("gsfile-" + std::to_string(std::random_device{}()));
};

// Counts what reaches the overridable operations: the helpers must dispatch through them.
class RecordingFile : public CGsFile
{
public:
    int Close() override
    {
        ++closes;
        return CGsFile::Close();
    }
    int Write(const void* buffer, unsigned int count, unsigned int* transferred) override
    {
        counts += std::to_string(count);
        return CGsFile::Write(buffer, count, transferred);
    }
    int closes = 0;
    std::string counts;
};

TEST(GsFileModeTest, FlagCombinationsGiveModeStrings)
{
    const int R = GS_FILE_READ, W = GS_FILE_WRITE, E = GS_FILE_EXISTING, A = GS_FILE_APPEND,
              T = GS_FILE_TEXT, B = GS_FILE_BINARY;
    const struct
    {
        int flags;
        const char* mode;
    } cases[] = {
        {R, "r"},      {R | T, "rt"},         {R | B, "rb"},          {R | E | A, "r"},
        {W, "w"},      {W | A, "a"},          {W | T, "wt"},          {W | A | B, "ab"},
        {W | E, "w"},  {R | W, "w+"},         {R | W | E, "r+"},      {R | W | A, "a+"},
        {0, "r"},      {R | W | A | E, "a+"}, {R | W | E | B, "rb+"}, {R | W | T, "wt+"},
        {B | T, "rb"}, {W | B | T, "wb"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.mode, BuildFileMode(c.flags)) << "flags " << c.flags;
    }
}

TEST_F(GsFileTest, OpenKeepsThePathAndClosesThroughTheTable)
{
    RecordingFile file;
    const std::string first = MakeFile("first.bin", "data");
    ASSERT_EQ(1, file.Open(first.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    EXPECT_EQ(first, file.GetPath());
    // The object's own path, which the implicit close clears, still names the file.
    ASSERT_EQ(1, file.Open(file.GetPath().c_str(), GS_FILE_READ | GS_FILE_BINARY));
    EXPECT_EQ(first, file.GetPath());
    EXPECT_EQ(2, file.closes);

    const std::string missing = PathOf("absent.bin");
    EXPECT_EQ(0, file.Open(missing.c_str(), GS_FILE_READ));
    EXPECT_EQ(missing, file.GetPath()) << "kept also when opening fails";
    EXPECT_EQ(GS_FILE_STATE_CLOSED, file.GetState());
    EXPECT_EQ(0, file.Open(nullptr, GS_FILE_READ));
    EXPECT_EQ("", file.GetPath());
    EXPECT_EQ(4, file.closes);
}

TEST_F(GsFileTest, SizeTellSeekAndReadingPastTheEnd)
{
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += static_cast<char>(i);
    CGsFile file;
    ASSERT_EQ(1, file.Open(MakeFile("hundred.bin", bytes).c_str(), GS_FILE_READ | GS_FILE_BINARY));
    char buffer[16] = {};
    unsigned int count = 0;
    EXPECT_EQ(1, file.Read(buffer, 10, &count));
    EXPECT_EQ(10u, count);
    EXPECT_EQ(100, file.GetSize());
    EXPECT_EQ(10, file.Tell()) << "GetSize puts the position back";
    EXPECT_EQ(1, file.Seek(20, 7)) << "unknown origin: from the start";
    EXPECT_EQ(20, file.Tell());
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

    // Buffered, unflushed writes count towards the size.
    ASSERT_EQ(1, file.Open(PathOf("written.bin").c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_EQ(1, file.Write("12345", 5, nullptr));
    EXPECT_EQ(5, file.GetSize());
}

// Sizes of 2 GiB and more do not fit the int result: a failure, never a wrapped number, and
// the position is kept even where a 32-bit ftell cannot tell it.
TEST_F(GsFileTest, SizesBeyondTheIntRangeAreRefused)
{
    const std::string path = PathOf("sparse.bin");
    std::ofstream(path, std::ios::binary).close();
    fs::resize_file(path, 3ull << 30);
    CGsFile file;
    ASSERT_EQ(1, file.Open(path.c_str(),
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
    fs::resize_file(path, 0x7FFFFFFF);
    EXPECT_EQ(0x7FFFFFFF, file.GetSize()) << "the largest size that fits";
    file.Close();
    fs::remove(path);
}

TEST_F(GsFileTest, WritesAndTextLines)
{
    const std::string path = PathOf("numbers.bin");
    RecordingFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    const unsigned int value32 = 0x12345678;
    const unsigned short value16 = 0x1234;
    const unsigned char value8 = 0xAB;
    unsigned int count = 0;
    EXPECT_EQ(1, file.Write32(&value32, &count));
    EXPECT_EQ(4u, count);
    EXPECT_EQ(1, file.Write16(&value16, &count));
    EXPECT_EQ(1, file.Write8(&value8, &count));
    EXPECT_EQ("421", file.counts);
    EXPECT_EQ(0, file.PrintLine("%d-%s", 42, "ab"));
    const std::string longest(GS_FILE_LINE_MAX, 'x');
    EXPECT_EQ(0, file.PrintLine("%s!", longest.c_str()));
    EXPECT_EQ(0, file.PrintLine(std::string(600, 'y').c_str()));
    EXPECT_EQ(0, file.WriteString("one\nthree"));
    EXPECT_EQ(-1, file.WriteString(nullptr));
    file.Close();
    EXPECT_EQ(std::string("\x78\x56\x34\x12\x34\x12\xAB", 7) + "42-ab\n" + longest + "\n" +
                  std::string(GS_FILE_LINE_MAX, 'y') + "\none\nthree",
              Contents(path));

    ASSERT_EQ(1, file.Open(PathOf("text.txt").c_str(), GS_FILE_WRITE | GS_FILE_TEXT));
    EXPECT_EQ(0, file.PrintLine("t"));
    file.Close();
#ifdef _WIN32
    EXPECT_EQ("t\r\n", Contents(PathOf("text.txt")));
#else
    EXPECT_EQ("t\n", Contents(PathOf("text.txt")));
#endif

    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    ASSERT_EQ(1, file.Seek(10, 0));
    char line[16];
    EXPECT_EQ(line, file.ReadLine(line, 3)) << "size - 1 bytes at most";
    EXPECT_STREQ("ab", line);
    EXPECT_EQ(line, file.ReadLine(line, sizeof line));
    EXPECT_STREQ("\n", line);
    EXPECT_EQ(nullptr, file.ReadLine(line, 0));
    EXPECT_EQ(nullptr, file.ReadLine(nullptr, 16));
    // A write to a read-only stream fails and flags the error.
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    EXPECT_EQ(-1, file.WriteString("x"));
    EXPECT_EQ(-1, file.PrintLine("x"));
    EXPECT_EQ(1, file.Write("abcd", 4, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(GS_FILE_STATE_ERROR, file.GetState());
}

TEST_F(GsFileTest, ClosedFileGivesClosedResultsAndEndingTheObjectCloses)
{
    const std::string path = PathOf("data.bin");
    {
        CGsFile file;
        ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_WRITE));
        EXPECT_EQ(1, file.Write("kept", 4, nullptr));
    }
    EXPECT_EQ("kept", Contents(path));
    CGsFile* heap = new CGsFile;
    char buffer[8] = {};
    unsigned int count = 99;
    EXPECT_EQ(0, heap->Read(buffer, 4, &count));
    EXPECT_EQ(0u, count);
    count = 99;
    EXPECT_EQ(0, heap->Write32(buffer, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, heap->Read(buffer, 4, nullptr));
    EXPECT_EQ(0, heap->Write(buffer, 4, nullptr));
    EXPECT_EQ(0, heap->GetSize());
    EXPECT_EQ(0, heap->Tell());
    EXPECT_EQ(0, heap->Seek(0, 0));
    EXPECT_EQ(GS_FILE_STATE_CLOSED, heap->GetState());
    EXPECT_EQ(nullptr, heap->ReadLine(buffer, sizeof buffer));
    EXPECT_EQ(-1, heap->WriteString("x"));
    EXPECT_EQ(-1, heap->PrintLine("x"));
    EXPECT_EQ(0, heap->Close());
    ASSERT_EQ(1, heap->Open(path.c_str(), GS_FILE_WRITE | GS_FILE_APPEND));
    EXPECT_EQ(1, heap->Write("more", 4, nullptr));
    EXPECT_EQ(0, static_cast<IGsInterface*>(heap)->Release());
    EXPECT_EQ("keptmore", Contents(path));
}

} // namespace
