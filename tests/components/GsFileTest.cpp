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
    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() /
                 ("gsfile-" + name + "-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string PathOf(const char* name) const { return (folder / name).string(); }

    std::string MakeFile(const char* name, const std::string& bytes) const
    {
        const std::string path = PathOf(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path folder;
};

// Records what reaches the overridable operations, to show the helpers dispatch through them.
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
    const struct
    {
        int flags;
        const char* mode;
    } cases[] = {
        {GS_FILE_READ, "r"},
        {GS_FILE_READ | GS_FILE_TEXT, "rt"},
        {GS_FILE_READ | GS_FILE_BINARY, "rb"},
        {GS_FILE_READ | GS_FILE_EXISTING | GS_FILE_APPEND, "r"},
        {GS_FILE_WRITE, "w"},
        {GS_FILE_WRITE | GS_FILE_APPEND, "a"},
        {GS_FILE_WRITE | GS_FILE_BINARY, "wb"},
        {GS_FILE_WRITE | GS_FILE_TEXT, "wt"},
        {GS_FILE_WRITE | GS_FILE_APPEND | GS_FILE_BINARY, "ab"},
        {GS_FILE_WRITE | GS_FILE_EXISTING, "w"},
        {GS_FILE_READ | GS_FILE_WRITE, "w+"},
        {GS_FILE_READ | GS_FILE_WRITE | GS_FILE_EXISTING, "r+"},
        {GS_FILE_READ | GS_FILE_WRITE | GS_FILE_APPEND, "a+"},
        {GS_FILE_READ | GS_FILE_WRITE | GS_FILE_APPEND | GS_FILE_EXISTING, "a+"},
        {GS_FILE_READ | GS_FILE_WRITE | GS_FILE_BINARY, "wb+"},
        {GS_FILE_READ | GS_FILE_WRITE | GS_FILE_EXISTING | GS_FILE_BINARY, "rb+"},
        {GS_FILE_READ | GS_FILE_WRITE | GS_FILE_TEXT, "wt+"},
        {0, "r"},
        {GS_FILE_BINARY | GS_FILE_TEXT, "rb"},
        {GS_FILE_WRITE | GS_FILE_BINARY | GS_FILE_TEXT, "wb"},
    };
    EXPECT_EQ(33, GS_FILE_READ | GS_FILE_BINARY);
    EXPECT_EQ(34, GS_FILE_WRITE | GS_FILE_BINARY);
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.mode, BuildFileMode(c.flags)) << "flags " << c.flags;
    }
}

TEST_F(GsFileTest, OpenModesBehaveOnDisk)
{
    CGsFile file;
    // WRITE|BINARY empties an existing file.
    const std::string existing = MakeFile("existing.bin", "old contents");
    ASSERT_EQ(1, file.Open(existing.c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_EQ(existing, file.GetPath());
    EXPECT_EQ(0, file.Close());
    EXPECT_EQ("", Contents(existing));

    // READ|WRITE|EXISTING needs the file; READ|WRITE creates it.
    const std::string missing = PathOf("missing.bin");
    EXPECT_EQ(0, file.Open(missing.c_str(), GS_FILE_READ | GS_FILE_WRITE | GS_FILE_EXISTING));
    EXPECT_FALSE(fs::exists(missing));
    ASSERT_EQ(1, file.Open(missing.c_str(), GS_FILE_READ | GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_TRUE(fs::exists(missing));

    // READ|WRITE|EXISTING keeps the contents and writes over them in place.
    const std::string kept = MakeFile("kept.bin", "abcdef");
    ASSERT_EQ(1, file.Open(kept.c_str(),
                           GS_FILE_READ | GS_FILE_WRITE | GS_FILE_EXISTING | GS_FILE_BINARY));
    EXPECT_EQ(1, file.Write("XY", 2, nullptr));
    file.Close();
    EXPECT_EQ("XYcdef", Contents(kept));

    // APPEND writes after the contents even when positioned at the start.
    const std::string log = MakeFile("log.bin", "abc");
    ASSERT_EQ(1, file.Open(log.c_str(), GS_FILE_WRITE | GS_FILE_APPEND | GS_FILE_BINARY));
    EXPECT_EQ(1, file.Seek(0, 0));
    EXPECT_EQ(1, file.Write("def", 3, nullptr));
    file.Close();
    EXPECT_EQ("abcdef", Contents(log));
}

TEST_F(GsFileTest, OpenClosesThePreviousStreamEvenWhenItFails)
{
    RecordingFile file;
    const std::string first = PathOf("first.bin");
    ASSERT_EQ(1, file.Open(first.c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_EQ(1, file.closes);
    EXPECT_EQ(1, file.Write("buffered", 8, nullptr));

    const std::string missing = PathOf("absent.bin");
    EXPECT_EQ(0, file.Open(missing.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    EXPECT_EQ(2, file.closes);
    EXPECT_EQ("buffered", Contents(first)); // flushed by the close
    EXPECT_EQ(missing, file.GetPath());
    EXPECT_EQ(GS_FILE_STATE_CLOSED, file.GetState());

    ASSERT_EQ(1, file.Open(first.c_str(), GS_FILE_READ));
    EXPECT_EQ(0, file.Open(nullptr, GS_FILE_READ));
    EXPECT_EQ("", file.GetPath());
    EXPECT_EQ(GS_FILE_STATE_CLOSED, file.GetState());
}

TEST_F(GsFileTest, SizeTellAndSeek)
{
    std::string bytes;
    for (int i = 0; i < 100; ++i)
    {
        bytes += static_cast<char>(i);
    }
    const std::string path = MakeFile("hundred.bin", bytes);
    CGsFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    EXPECT_EQ(0, file.Tell());
    char buffer[16] = {};
    unsigned int count = 0;
    EXPECT_EQ(1, file.Read(buffer, 10, &count));
    EXPECT_EQ(10u, count);
    EXPECT_EQ(100, file.GetSize());
    EXPECT_EQ(10, file.Tell());
    EXPECT_EQ(1, file.Read(buffer, 1, nullptr));
    EXPECT_EQ(10, buffer[0]);

    EXPECT_EQ(1, file.Seek(20, 7)); // unknown origin: from the start
    EXPECT_EQ(20, file.Tell());
    EXPECT_EQ(1, file.Seek(5, 1));
    EXPECT_EQ(25, file.Tell());
    EXPECT_EQ(1, file.Seek(-4, 2));
    EXPECT_EQ(96, file.Tell());
    EXPECT_EQ(0, file.Seek(-1, 0));
    EXPECT_EQ(GS_FILE_STATE_OK, file.GetState());

    // Buffered, unflushed writes count towards the size.
    const std::string written = PathOf("written.bin");
    ASSERT_EQ(1, file.Open(written.c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_EQ(1, file.Write("12345", 5, nullptr));
    EXPECT_EQ(5, file.GetSize());
    EXPECT_EQ(5, file.Tell());
}

TEST_F(GsFileTest, ReadingPastTheEndIsNotAFailure)
{
    const std::string path = MakeFile("short.bin", "abcd");
    CGsFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    char buffer[10] = {};
    unsigned int count = 99;
    EXPECT_EQ(1, file.Read(buffer, 10, &count));
    EXPECT_EQ(4u, count);
    EXPECT_EQ("abcd", std::string(buffer, 4));
    EXPECT_EQ(1, file.Read(buffer, 10, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(GS_FILE_STATE_EOF, file.GetState());
}

// Writing rather than reading: the Windows runtime under wine leaves the error indicator clear
// after a read from a write-only stream, while both flag a write to a read-only one.
TEST_F(GsFileTest, WritingAReadOnlyStreamSetsTheErrorState)
{
    const std::string path = MakeFile("in.bin", "data");
    CGsFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    unsigned int count = 99;
    EXPECT_EQ(1, file.Write("abcd", 4, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(GS_FILE_STATE_ERROR, file.GetState());
}

TEST_F(GsFileTest, FixedSizeWritesUseMachineOrderThroughWrite)
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
    EXPECT_EQ(2u, count);
    EXPECT_EQ(1, file.Write8(&value8, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ("421", file.counts);
    file.Close();
    // Both targets are little-endian.
    EXPECT_EQ(std::string("\x78\x56\x34\x12\x34\x12\xAB", 7), Contents(path));
}

TEST_F(GsFileTest, PrintLineEndsTheLine)
{
    const std::string binary = PathOf("binary.txt");
    const std::string text = PathOf("text.txt");
    CGsFile file;
    ASSERT_EQ(1, file.Open(binary.c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_EQ(0, file.PrintLine("abcdefgh"));
    EXPECT_EQ(0, file.PrintLine("%d-%s", 42, "ab"));
    ASSERT_EQ(1, file.Open(text.c_str(), GS_FILE_WRITE | GS_FILE_TEXT));
    EXPECT_EQ(0, file.PrintLine("abcdefgh"));
    file.Close();
    EXPECT_EQ("abcdefgh\n42-ab\n", Contents(binary));
#ifdef _WIN32
    EXPECT_EQ("abcdefgh\r\n", Contents(text));
#else
    EXPECT_EQ("abcdefgh\n", Contents(text));
#endif
}

TEST_F(GsFileTest, PrintLineCutsLongText)
{
    const std::string path = PathOf("long.txt");
    const std::string longest(GS_FILE_LINE_MAX, 'x');
    const std::string literal(600, 'y');
    const std::string argument(2000, 'z');
    CGsFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_EQ(0, file.PrintLine("%s", longest.c_str()));
    EXPECT_EQ(0, file.PrintLine("%s!", longest.c_str()));
    EXPECT_EQ(0, file.PrintLine(literal.c_str()));
    EXPECT_EQ(0, file.PrintLine("%s", argument.c_str()));
    file.Close();
    const std::string line = longest + "\n";
    EXPECT_EQ(line + line + std::string(GS_FILE_LINE_MAX, 'y') + "\n" +
                  std::string(GS_FILE_LINE_MAX, 'z') + "\n",
              Contents(path));
}

TEST_F(GsFileTest, ReadLineAndWriteString)
{
    const std::string path = PathOf("lines.txt");
    CGsFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_WRITE | GS_FILE_BINARY));
    EXPECT_EQ(0, file.WriteString("one\ntwo\n"));
    EXPECT_EQ(0, file.WriteString("three"));
    EXPECT_EQ(-1, file.WriteString(nullptr));
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_READ | GS_FILE_BINARY));
    char buffer[16];
    EXPECT_EQ(buffer, file.ReadLine(buffer, sizeof buffer));
    EXPECT_STREQ("one\n", buffer);
    EXPECT_EQ(buffer, file.ReadLine(buffer, 3)); // size - 1 bytes at most
    EXPECT_STREQ("tw", buffer);
    EXPECT_EQ(buffer, file.ReadLine(buffer, sizeof buffer));
    EXPECT_STREQ("o\n", buffer);
    EXPECT_EQ(nullptr, file.ReadLine(buffer, 0));
    EXPECT_EQ(nullptr, file.ReadLine(nullptr, 16));
    EXPECT_EQ(buffer, file.ReadLine(buffer, sizeof buffer));
    EXPECT_STREQ("three", buffer);
    EXPECT_EQ(nullptr, file.ReadLine(buffer, sizeof buffer));
    EXPECT_EQ(GS_FILE_STATE_EOF, file.GetState());

    // Writing to a read-only stream fails.
    EXPECT_EQ(-1, file.WriteString("x"));
    EXPECT_EQ(-1, file.PrintLine("x"));
}

TEST_F(GsFileTest, ClosedFileGivesClosedResults)
{
    RecordingFile file;
    const std::string path = MakeFile("data.bin", "data");
    ASSERT_EQ(1, file.Open(path.c_str(), GS_FILE_READ | GS_FILE_WRITE | GS_FILE_EXISTING));
    EXPECT_EQ(0, file.Close());
    EXPECT_EQ("", file.GetPath());

    char buffer[8] = {};
    unsigned int count = 99;
    EXPECT_EQ(0, file.Read(buffer, 4, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, file.Read(buffer, 4, nullptr));
    count = 99;
    EXPECT_EQ(0, file.Write("abcd", 4, &count));
    EXPECT_EQ(0u, count);
    count = 99;
    EXPECT_EQ(0, file.Write32(buffer, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, file.Write16(buffer, nullptr));
    EXPECT_EQ(0, file.Write8(buffer, nullptr));
    EXPECT_EQ(0, file.GetSize());
    EXPECT_EQ(0, file.Tell());
    EXPECT_EQ(0, file.Seek(0, 0));
    EXPECT_EQ(GS_FILE_STATE_CLOSED, file.GetState());
    EXPECT_EQ(nullptr, file.ReadLine(buffer, sizeof buffer));
    EXPECT_EQ(-1, file.WriteString("x"));
    EXPECT_EQ(-1, file.PrintLine("x"));
    EXPECT_EQ(0, file.Close());
    EXPECT_EQ("data", Contents(path));
}

TEST_F(GsFileTest, EndingTheObjectClosesTheStream)
{
    const std::string released = PathOf("released.bin");
    CGsFile* heap = new CGsFile;
    ASSERT_EQ(1, heap->Open(released.c_str(), GS_FILE_WRITE));
    EXPECT_EQ(1, heap->Write("kept", 4, nullptr));
    IGsInterface* root = heap;
    EXPECT_EQ(0, root->Release());
    EXPECT_EQ("kept", Contents(released));

    const std::string automatic = PathOf("automatic.bin");
    {
        CGsFile file;
        ASSERT_EQ(1, file.Open(automatic.c_str(), GS_FILE_WRITE));
        EXPECT_EQ(1, file.Write("kept", 4, nullptr));
    }
    EXPECT_EQ("kept", Contents(automatic));
}

} // namespace
