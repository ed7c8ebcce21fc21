// Path text scanned by whole characters, and the utility's operations on it. Code page 932: "ソ"
// (83 5C) and "表" (95 5C) end in a backslash byte; "\x83" alone is a lead byte without trail.
#include "GsUtility.h"
#include "GsPathText.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

namespace
{

class GsPathTextTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
        ASSERT_STREQ("\x83\x5C\x95\x5C", "ソ表") << "sources must be compiled to code page 932";
    }
    CGsUtility utility;
};

TEST_F(GsPathTextTest, ScanningStepsOverWholeCharacters)
{
    // text, GsNextChar's step, offsets of GsFindLastBackslash and GsFindBackslash(text, 1, 6)
    const std::tuple<const char*, int, int, int> rows[] = {
        {"a\\b\\c", 1, 3, 1}, {"ソ\\x", 2, 2, 2}, {"表", 2, -1, -1},      {"\x83", 1, -1, -1},
        {"", 0, -1, -1},      {"\\ab", 1, 0, -1}, {"abcdef\\", 1, 6, -1},
    };
    const auto offset = [](const char* text, const char* found)
    { return found != nullptr ? found - text : -1; };
    for (const auto& [text, next, last, first] : rows)
    {
        EXPECT_EQ(text + next, GsNextChar(text)) << text;
        EXPECT_EQ(last, offset(text, GsFindLastBackslash(text))) << text;
        EXPECT_EQ(first, offset(text, GsFindBackslash(text, 1, 6))) << text;
    }
    EXPECT_EQ(nullptr, GsFindLastBackslash(static_cast<const char*>(nullptr)));
    EXPECT_EQ(nullptr, GsFindBackslash(nullptr, 0, 10));
    EXPECT_EQ(nullptr, GsFindBackslash("ソ", 1, 2)) << "an offset inside ソ splits nothing";

    // source, size, result, what was copied: never a part of a character, nothing past the size
    const std::tuple<const char*, std::size_t, int, const char*> copies[] = {
        {"ab", 3, 1, "ab"},        {"abc", 3, 0, "ab"}, {"aソ", 3, 0, "a"},
        {"aソ", 4, 1, "aソ"},      {nullptr, 4, 1, ""}, {"a\x83", 3, 1, "a\x83"},
        {"abc", 0, 0, "########"},
    };
    for (const auto& [source, size, result, copied] : copies)
    {
        char area[9] = "########";
        EXPECT_EQ(result, GsCopyText(area, source, size)) << copied;
        EXPECT_STREQ(copied, area);
        EXPECT_EQ('#', area[size + (size == 0)]);
    }
    EXPECT_EQ(0, GsCopyText(nullptr, "abc", 4));
}

TEST_F(GsPathTextTest, PathsSplitAndCaseChangesAtCharacters)
{
    const char* const rows[][3] = {
        // path, name, directory
        {"C:\\data\\a.txt", "a.txt", "C:\\data"}, {"C:\\a.txt", "a.txt", "C:"},
        {"C:\\data\\", "", "C:\\data"},           {"a.txt", "a.txt", ""},
        {"C:\\ソフト\\表", "表", "C:\\ソフト"},   {"C:\\表\\a.txt", "a.txt", "C:\\表"},
        {"C:\\ソフト表", "ソフト表", "C:"},       {"C:\\a\\\x83", "\x83", "C:\\a"},
    };
    for (const auto& row : rows)
    {
        char name[MAX_PATH] = "stale";
        char directory[MAX_PATH] = "stale";
        utility.ExtractFileName(row[0], name);
        utility.ExtractDirectory(row[0], directory);
        EXPECT_STREQ(row[1], name) << row[0];
        EXPECT_STREQ(row[2], directory) << row[0];
    }
    char inPlace[MAX_PATH] = "C:\\data\\sub\\a.txt";
    utility.ExtractDirectory(inPlace, inPlace);
    EXPECT_STREQ("C:\\data\\sub", inPlace);

    // ヂ, テ and ア have the trail bytes 'a', 'e', 'A'; B1 DF are single-byte; after the NUL, none.
    char upper[] = "ab xヂyテz 09 \xB1\xDF \x83\0qq";
    EXPECT_EQ(1, utility.MakeUpper(upper));
    EXPECT_EQ(0, std::memcmp("AB XヂYテZ 09 \xB1\xDF \x83\0qq", upper, sizeof upper));
    char lower[] = "AB XアYアZ \xB1\xDF \x83\0QQ";
    EXPECT_EQ(1, utility.MakeLower(lower));
    EXPECT_EQ(0, std::memcmp("ab xアyアz \xB1\xDF \x83\0QQ", lower, sizeof lower));
}

// The root the drive operations ask the system about, from the text: a share's is its second level.
TEST_F(GsPathTextTest, DriveRootsOfDrivesSharesAndLongPaths)
{
    // path, root (a share's with the final backslash the system needs)
    // clang-format off
    const char* const rows[][2] = {
        {"C:\\dir\\file", "C:\\"}, {"C:\\", "C:\\"}, {"C:", "C:"}, {"\\\\server", "\\\\server"},
        {"\\\\server\\share\\dir\\file", "\\\\server\\share\\"}, {"\\\\.\\D:\\dir", "\\\\.\\D:\\"},
        {"\\\\server\\share\\", "\\\\server\\share\\"}, {"\\\\server\\share", "\\\\server\\share\\"},
        {"\\\\サーバ\\表\\ソ\\a", "\\\\サーバ\\表\\"}, {"\\\\?\\D:\\dir", "\\\\?\\D:\\"},
        {"\\\\?\\unc\\server\\share\\dir", "\\\\?\\unc\\server\\share\\"}};
    // clang-format on
    for (const auto& row : rows)
        EXPECT_EQ(row[1], GsDriveRoot(row[0])) << row[0];
    EXPECT_EQ(259u, GsDriveRoot(("\\\\server\\" + std::string(300, 's')).c_str()).size());
}

// A folder where another volume is mounted (by the test fixture) is a root of its own, with its
// own free space; a share that cannot be reached falls back to its text.
TEST_F(GsPathTextTest, VolumeRootsFollowMountedFolders)
{
    const std::string mounted = gstest::ToWindowsPath(GS_MOUNTED_VOLUME);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((mounted + "\\sub").c_str()))
        << "the mounted volume is made by the test fixture";
    char windows[MAX_PATH] = {};
    ASSERT_TRUE(utility.GetWindowsDir(windows, MAX_PATH));
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string drive(windows, 3);
    ASSERT_TRUE(SetCurrentDirectoryA(windows));
    const std::string rows[][2] = {
        // path, root
        {mounted + "\\sub\\file.txt", mounted + "\\"},
        {mounted + "\\sub", mounted + "\\"},
        {mounted, mounted + "\\"},
        {std::string(windows) + "\\system32\\x.dll", drive},
        {"system32\\x.dll", drive}, // relative: the current folder's volume
        {"\\\\gs-no-such-server\\share\\dir\\file", "\\\\gs-no-such-server\\share\\"},
    };
    for (const auto& [path, root] : rows)
        EXPECT_EQ(root, GsVolumeRoot(path.c_str())) << path;
    SetCurrentDirectoryA(current);

    // The mounted volume holds 1 MiB; the drive it is mounted in far more.
    ULONGLONG inside = 0, outside = 0;
    ASSERT_EQ(1, utility.GetFreeDiskSpace((mounted + "\\sub\\file.txt").c_str(), &inside));
    ASSERT_EQ(1, utility.GetFreeDiskSpace((mounted + "\\..").c_str(), &outside));
    EXPECT_LE(inside, 1u << 20);
    EXPECT_GT(outside, 1u << 20);
    EXPECT_EQ(1, utility.IsFixedDrive((mounted + "\\sub\\file.txt").c_str()));
}

} // namespace
