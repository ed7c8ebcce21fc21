#include "GsUtility.h"
#include "GsPathText.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace
{

// The double-byte cases need the program's code page; ctest runs these tests in a Japanese
// locale (LC_ALL, LOCPATH), which gives wine the ANSI code page 932.
void RequireJapaneseCodePage()
{
    ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
}

std::string RegistryText(HKEY root, const char* subKey, const char* name)
{
    char value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    if (RegGetValueA(root, subKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    {
        return std::string();
    }
    return value;
}

bool IsDirectory(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder of its own under the temporary directory, named in the ANSI code page so that
// Japanese levels below it can be made with the A functions.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof(temp), temp);
        path = std::string(temp) + "gsutil-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(std::random_device{}());
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::remove_all(fs::u8path(ToUtf8(path)), ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Names of the entries directly inside `folder` (ANSI), sorted.
    static std::set<std::string> Entries(const std::string& folder)
    {
        std::set<std::string> names;
        WIN32_FIND_DATAA entry;
        const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE)
        {
            return names;
        }
        do
        {
            if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0)
            {
                names.insert(entry.cFileName);
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
        return names;
    }

    std::string path;

private:
    static std::string ToUtf8(const std::string& ansi)
    {
        wchar_t wide[1024] = {};
        MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, 1024);
        char utf8[4096] = {};
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof(utf8), nullptr, nullptr);
        return utf8;
    }
};

void MakeFile(const std::string& path)
{
    std::ofstream(path, std::ios::binary) << "x";
}

// ---------------------------------------------------------------------------------------------
// Character-aware scanning

TEST(GsPathTextTest, CopiesWholeCharactersWithinTheSize)
{
    RequireJapaneseCodePage();
    char area[8];
    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(1, GsCopyText(area, "ab", 3));
    EXPECT_STREQ("ab", area);

    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, GsCopyText(area, "aソ", 3)) << "ソ does not fit beside the terminator";
    EXPECT_STREQ("a", area);
    EXPECT_EQ('#', area[3]);

    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, GsCopyText(area, "abc", 0));
    EXPECT_EQ('#', area[0]) << "no size, no write";
    EXPECT_EQ(1, GsCopyText(area, nullptr, 4));
    EXPECT_STREQ("", area);
}

// ---------------------------------------------------------------------------------------------
// Path text and case

struct SplitCase
{
    const char* path;
    const char* name;
    const char* directory;
};

TEST(GsUtilityPathTest, SplitsPaths)
{
    const SplitCase cases[] = {
        {"C:\\data\\a.txt", "a.txt", "C:\\data"},
        {"C:\\a.txt", "a.txt", "C:"},
        {"C:\\data\\", "", "C:\\data"},
        {"\\\\server\\share\\f", "f", "\\\\server\\share"},
        {"a.txt", "a.txt", ""},
        {"", "", ""},
    };
    CGsUtility utility;
    for (const SplitCase& c : cases)
    {
        char name[MAX_PATH] = "stale";
        char directory[MAX_PATH] = "stale";
        EXPECT_EQ(1, utility.ExtractFileName(c.path, name));
        EXPECT_EQ(1, utility.ExtractDirectory(c.path, directory));
        EXPECT_STREQ(c.name, name) << c.path;
        EXPECT_STREQ(c.directory, directory) << c.path;
    }
}

TEST(GsUtilityPathTest, SplitsJapanesePathsAtCharacters)
{
    RequireJapaneseCodePage();
    const SplitCase cases[] = {
        {"C:\\ソフト\\表", "表", "C:\\ソフト"},
        {"C:\\data\\ソ", "ソ", "C:\\data"},
        {"C:\\表\\a.txt", "a.txt", "C:\\表"},
        {"C:\\ソフト表", "ソフト表", "C:"},
        {"ソフト", "ソフト", ""},
        {"C:\\a\\\x83", "\x83", "C:\\a"}, // a lone lead byte at the end
    };
    CGsUtility utility;
    for (const SplitCase& c : cases)
    {
        char name[MAX_PATH] = "stale";
        char directory[MAX_PATH] = "stale";
        utility.ExtractFileName(c.path, name);
        utility.ExtractDirectory(c.path, directory);
        EXPECT_STREQ(c.name, name) << c.path;
        EXPECT_STREQ(c.directory, directory) << c.path;
    }
}

TEST(GsUtilityPathTest, ExtractsTheDirectoryInPlace)
{
    CGsUtility utility;
    char path[MAX_PATH] = "C:\\data\\sub\\a.txt";
    utility.ExtractDirectory(path, path);
    EXPECT_STREQ("C:\\data\\sub", path);
}

TEST(GsUtilityCaseTest, ChangesOnlyAsciiLetters)
{
    RequireJapaneseCodePage();
    CGsUtility utility;
    char upper[] = "abc XYZ 019 \xB1\xDF"; // ends in two single-byte katakana
    EXPECT_EQ(1, utility.MakeUpper(upper));
    EXPECT_STREQ("ABC XYZ 019 \xB1\xDF", upper);
    char lower[] = "ABC xyz 019 \xB1\xDF";
    EXPECT_EQ(1, utility.MakeLower(lower));
    EXPECT_STREQ("abc xyz 019 \xB1\xDF", lower);
}

TEST(GsUtilityCaseTest, LeavesDoubleByteCharactersAlone)
{
    RequireJapaneseCodePage();
    CGsUtility utility;
    // ヂ and テ have the trail bytes 'a' and 'e'; ア has 'A'.
    char upper[] = "xヂyテz";
    utility.MakeUpper(upper);
    EXPECT_STREQ("XヂYテZ", upper);
    char lower[] = "XアYアZ";
    utility.MakeLower(lower);
    EXPECT_STREQ("xアyアz", lower);
}

TEST(GsUtilityCaseTest, StopsAtTheTerminatorAfterALoneLeadByte)
{
    RequireJapaneseCodePage();
    CGsUtility utility;
    // The bytes after the terminator are not part of the text and must stay as they are.
    char upper[] = "ab\x83\0qq";
    utility.MakeUpper(upper);
    EXPECT_EQ(0, std::memcmp("AB\x83\0qq", upper, sizeof(upper)));
    char lower[] = "AB\x83\0QQ";
    utility.MakeLower(lower);
    EXPECT_EQ(0, std::memcmp("ab\x83\0QQ", lower, sizeof(lower)));
}

// ---------------------------------------------------------------------------------------------
// Operating system and machine

struct VersionCase
{
    DWORD platform;
    DWORD major;
    DWORD minor;
    const char* csd;
    const char* text;
};

TEST(GsUtilitySystemInfoTest, FormatsEveryKindOfSystem)
{
    const VersionCase cases[] = {
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "", "Windows95 4.0 "},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, " B", "Windows95 4.0  B"},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, " A ", "Windows98 4.10  A "},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "", "WindowsMe 4.90 "},
        {VER_PLATFORM_WIN32_NT, 5, 0, "Service Pack 4", "Windows2000 Service Pack 4 (NT:5.0)"},
        {VER_PLATFORM_WIN32_NT, 5, 1, "Service Pack 2", "WindowsXP Service Pack 2 (NT:5.1)"},
        {VER_PLATFORM_WIN32_NT, 5, 2, "Service Pack 1", "Windows2000 Service Pack 1 (NT:5.2)"},
        {VER_PLATFORM_WIN32_NT, 4, 0, "Service Pack 6", "WindowsNT 4.0 Service Pack 6"},
        {VER_PLATFORM_WIN32_NT, 6, 1, "Service Pack 1", "WindowsNT 6.1 Service Pack 1"},
        {VER_PLATFORM_WIN32_NT, 10, 0, "", "WindowsNT 10.0 "},
        {VER_PLATFORM_WIN32s, 3, 11, "", "Unknown OS Version"},
    };
    for (const VersionCase& c : cases)
    {
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof(info);
        info.dwPlatformId = c.platform;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        info.dwBuildNumber = 2600; // never shown
        std::strcpy(info.szCSDVersion, c.csd);
        char text[256] = {};
        EXPECT_EQ(1, FormatOSVersionText(info, text));
        EXPECT_STREQ(c.text, text);
    }
}

TEST(GsUtilitySystemInfoTest, ReadsNoMoreThanTheServicePackField)
{
    OSVERSIONINFOA info = {};
    info.dwPlatformId = VER_PLATFORM_WIN32_NT;
    info.dwMajorVersion = 6;
    std::memset(info.szCSDVersion, 'x', sizeof(info.szCSDVersion)); // no terminator
    char text[256] = {};
    FormatOSVersionText(info, text);
    EXPECT_EQ("WindowsNT 6.0 " + std::string(sizeof(info.szCSDVersion) - 1, 'x'),
              std::string(text));
}

TEST(GsUtilitySystemInfoTest, DescribesTheRunningSystem)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    char expected[256] = {};
    FormatOSVersionText(info, expected);

    CGsUtility utility;
    char text[256] = {};
    EXPECT_EQ(1, utility.GetOSVersionText(text));
    EXPECT_STREQ(expected, text);
    EXPECT_EQ(1, utility.IsWindowsNT());
}

// Replaces the memory query, to show that the figures are taken through the table.
class FixedMemoryUtility : public CGsUtility
{
public:
    void GetMemoryStatus(MEMORYSTATUS* status) override
    {
        std::memset(status, 0, sizeof(*status));
        status->dwTotalPhys = 1000;
        status->dwAvailPhys = 300;
    }
};

TEST(GsUtilitySystemInfoTest, ReportsMemory)
{
    CGsUtility utility;
    MEMORYSTATUS status;
    std::memset(&status, 0xCC, sizeof(status));
    utility.GetMemoryStatus(&status);
    EXPECT_EQ(sizeof(MEMORYSTATUS), status.dwLength);
    EXPECT_LE(status.dwMemoryLoad, 100u);
    EXPECT_GT(utility.GetTotalPhysicalMemory(), 0u);
    EXPECT_LE(utility.GetAvailablePhysicalMemory(), utility.GetTotalPhysicalMemory());

    FixedMemoryUtility fixed;
    IGsUtility& through = fixed;
    EXPECT_EQ(1000u, through.GetTotalPhysicalMemory());
    EXPECT_EQ(300u, through.GetAvailablePhysicalMemory());
}

TEST(GsUtilitySystemInfoTest, QueriesComputerAndUserNames)
{
    char expected[MAX_PATH] = {};
    DWORD length = sizeof(expected);
    ASSERT_TRUE(GetComputerNameA(expected, &length));
    CGsUtility utility;
    char name[MAX_PATH] = {};
    EXPECT_EQ(1, utility.QueryComputerName(name, sizeof(name)));
    EXPECT_STREQ(expected, name);
    EXPECT_EQ(0, utility.QueryComputerName(name, 1)) << "no room for any name";

    length = sizeof(expected);
    ASSERT_TRUE(GetUserNameA(expected, &length));
    EXPECT_EQ(1, utility.QueryUserName(name, sizeof(name)));
    EXPECT_STREQ(expected, name);
    EXPECT_EQ(0, utility.QueryUserName(name, 1));
}

// ---------------------------------------------------------------------------------------------
// Special folders (read only)

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST(GsUtilityFolderTest, FindsProgramFilesDesktopAndPrograms)
{
    CGsUtility utility;
    char buffer[MAX_PATH] = {};
    EXPECT_EQ(1, utility.GetProgramFilesDir(buffer, sizeof(buffer)));
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                           "ProgramFilesDir"),
              buffer);
    EXPECT_TRUE(IsDirectory(buffer)) << buffer;

    std::memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(1, utility.GetDesktopDir(buffer, sizeof(buffer)));
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kShellFolders, "Desktop"), buffer);
    EXPECT_NE('\0', buffer[0]);

    char expected[MAX_PATH] = {};
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, expected));
    std::memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(1, utility.GetProgramsDir(nullptr, buffer, sizeof(buffer)));
    EXPECT_STREQ(expected, buffer);
}

TEST(GsUtilityFolderTest, FindsWindowsAndTemporaryDirectories)
{
    CGsUtility utility;
    char expected[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryA(expected, sizeof(expected)));
    char buffer[MAX_PATH] = {};
    EXPECT_EQ(1, utility.GetWindowsDir(buffer, sizeof(buffer)));
    EXPECT_STREQ(expected, buffer);

    ASSERT_NE(0u, GetTempPathA(sizeof(expected), expected));
    EXPECT_EQ(1, utility.GetTempDir(buffer, sizeof(buffer)));
    EXPECT_STREQ(expected, buffer);
    EXPECT_EQ('\\', buffer[std::strlen(buffer) - 1]);
}

TEST(GsUtilityFolderTest, ShortBuffersAreFailuresNotOverruns)
{
    CGsUtility utility;
    char area[16];
    const int size = 4; // shorter than any of these folders

    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, utility.GetWindowsDir(area, size));
    EXPECT_EQ('#', area[size]);

    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, utility.GetTempDir(area, size));
    EXPECT_EQ('#', area[size]);

    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, utility.GetDesktopDir(area, size));
    EXPECT_EQ('\0', area[0]);
    EXPECT_EQ('#', area[size]);

    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, utility.GetProgramsDir(nullptr, area, size));
    EXPECT_EQ('\0', area[0]);
    EXPECT_EQ('#', area[size]);

    // Neither the value nor the Windows directory fits: 0 and an empty buffer.
    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, utility.GetProgramFilesDir(area, size));
    EXPECT_EQ('\0', area[0]);
    EXPECT_EQ('#', area[size]);
}

// ---------------------------------------------------------------------------------------------
// Drives

TEST(GsUtilityDriveTest, ReducesPathsToTheirDriveRoot)
{
    EXPECT_EQ("C:\\", GsDriveRoot("C:\\dir\\file"));
    EXPECT_EQ("C:\\", GsDriveRoot("C:\\"));
    EXPECT_EQ("C:", GsDriveRoot("C:"));
    EXPECT_EQ("\\dir", GsDriveRoot("\\dir")) << "a backslash at offset 0 does not count";
    EXPECT_EQ("\\\\", GsDriveRoot("\\\\server\\share"));

    const std::string longName(300, 'a');
    EXPECT_EQ(std::string(259, 'a'), GsDriveRoot(longName.c_str())) << "cut to the buffer";
    const std::string lateSeparator = std::string(258, 'a') + "\\b";
    EXPECT_EQ(std::string(258, 'a') + "\\", GsDriveRoot(lateSeparator.c_str()));
    const std::string tooLate = std::string(259, 'a') + "\\b";
    EXPECT_EQ(std::string(259, 'a'), GsDriveRoot(tooLate.c_str()));
}

TEST(GsUtilityDriveTest, DriveRootSkipsTrailBytes)
{
    RequireJapaneseCodePage();
    EXPECT_EQ("ソ\\", GsDriveRoot("ソ\\x\\y"));
}

TEST(GsUtilityDriveTest, MeasuresFreeSpace)
{
    CGsUtility utility;
    char windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof(windows)));
    ULARGE_INTEGER available;
    ULARGE_INTEGER total;
    ULARGE_INTEGER totalFree;
    ASSERT_TRUE(GetDiskFreeSpaceExA(GsDriveRoot(windows).c_str(), &available, &total, &totalFree));

    ULONGLONG freeBytes = 0;
    EXPECT_EQ(1,
              utility.GetFreeDiskSpace((std::string(windows) + "\\system32").c_str(), &freeBytes));
    EXPECT_GT(freeBytes, 0u);
    EXPECT_LE(freeBytes, total.QuadPart);
    // Other processes write meanwhile: the two readings agree within 256 MiB.
    const ULONGLONG difference = freeBytes > totalFree.QuadPart ? freeBytes - totalFree.QuadPart
                                                                : totalFree.QuadPart - freeBytes;
    EXPECT_LT(difference, 256ull << 20);

    freeBytes = 12345;
    EXPECT_EQ(0, utility.GetFreeDiskSpace("Q:\\nowhere", &freeBytes)) << "no such drive";
    EXPECT_EQ(12345u, freeBytes) << "written only on success";
}

TEST(GsUtilityDriveTest, RecognisesFixedDrives)
{
    CGsUtility utility;
    EXPECT_EQ(1, utility.IsFixedDrive("C:\\windows\\system32"));
    EXPECT_EQ(1, utility.IsFixedDrive("C:\\"));
    EXPECT_EQ(1, utility.IsFixedDrive("Z:\\tmp"));
    EXPECT_EQ(0, utility.IsFixedDrive("Q:\\nowhere"));
    EXPECT_EQ(0, utility.IsFixedDrive("not a path"));
}

// ---------------------------------------------------------------------------------------------
// Files and folders

TEST(GsUtilityFilesTest, ChecksFilesInAFolder)
{
    ScratchFolder scratch;
    MakeFile(scratch.path + "\\setup.ini");
    MakeFile(scratch.path + "\\data.bin");
    const std::string folder = scratch.path + "\\";
    CGsUtility utility;
    EXPECT_EQ(1, utility.FilesExist("setup.ini", "data.bin", folder.c_str()));
    EXPECT_EQ(1, utility.FilesExist("setup.ini", nullptr, folder.c_str()));
    EXPECT_EQ(0, utility.FilesExist("setup.ini", "missing.bin", folder.c_str()));
    EXPECT_EQ(0, utility.FilesExist("missing.ini", "data.bin", folder.c_str()));
    // Plain concatenation: without its backslash the folder name runs into the file name.
    EXPECT_EQ(0, utility.FilesExist("setup.ini", nullptr, scratch.path.c_str()));
}

TEST(GsUtilityFilesTest, FindsNoCdRomDriveWithoutTheFiles)
{
    CGsUtility utility;
    std::string drive = "stale";
    const UINT before = SEM_NOGPFAULTERRORBOX;
    const UINT saved = SetErrorMode(before);
    EXPECT_EQ(0, utility.FindCdRomDrive("gs-no-such-file.ini", nullptr, drive));
    EXPECT_EQ("", drive);
    EXPECT_EQ(before, SetErrorMode(saved)) << "the error mode is restored";
}

TEST(GsUtilityDirectoryTest, CreatesEveryLevel)
{
    ScratchFolder scratch;
    CGsUtility utility;
    const std::string nested = scratch.path + "\\a\\b\\c";
    EXPECT_EQ(1, utility.CreateDirectoryPath(nested.c_str()));
    EXPECT_TRUE(IsDirectory(nested));

    // Existing levels are fine; a trailing backslash creates the last level too.
    const std::string trailing = scratch.path + "\\a\\b\\d\\";
    EXPECT_EQ(1, utility.CreateDirectoryPath(trailing.c_str()));
    EXPECT_TRUE(IsDirectory(scratch.path + "\\a\\b\\d"));
    EXPECT_EQ((std::set<std::string>{"c", "d"}), ScratchFolder::Entries(scratch.path + "\\a\\b"));
}

TEST(GsUtilityDirectoryTest, CreatesJapaneseLevelsWhole)
{
    RequireJapaneseCodePage();
    ScratchFolder scratch;
    CGsUtility utility;
    // Cutting at the trail byte of ソ or 表 would try the names "aソ" and "b表" without their
    // last byte: a folder "a" or "b" (or one with a replacement character) would appear.
    const std::string nested = scratch.path + "\\aソフト\\b表\\x";
    EXPECT_EQ(1, utility.CreateDirectoryPath(nested.c_str()));
    EXPECT_TRUE(IsDirectory(nested));
    EXPECT_EQ((std::set<std::string>{"aソフト"}), ScratchFolder::Entries(scratch.path));
    EXPECT_EQ((std::set<std::string>{"b表"}), ScratchFolder::Entries(scratch.path + "\\aソフト"));
}

TEST(GsUtilityDirectoryTest, StopsAtTheLengthLimit)
{
    ScratchFolder scratch;
    CGsUtility utility;
    // Short levels to about 200 bytes, then one level that ends past 260, then more levels:
    // the short ones are made, nothing of the long one (not even a cut name), and the call ends.
    std::string fitting = scratch.path;
    while (fitting.size() < 200)
    {
        fitting += "\\dddd";
    }
    const std::string path = fitting + "\\" + std::string(100, 'e') + "\\f\\g\\h";
    EXPECT_EQ(1, utility.CreateDirectoryPath(path.c_str()));
    EXPECT_TRUE(IsDirectory(fitting));
    EXPECT_TRUE(ScratchFolder::Entries(fitting).empty());

    // One level far longer than the buffer: the call still ends and makes nothing.
    const std::string longLevel = scratch.path + "\\x\\" + std::string(600, 'e');
    EXPECT_EQ(1, utility.CreateDirectoryPath(longLevel.c_str()));
    EXPECT_TRUE(ScratchFolder::Entries(scratch.path + "\\x").empty());
}

TEST(GsUtilityDirectoryTest, UncPathsFailHarmlessly)
{
    ScratchFolder scratch;
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(previous), previous);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path.c_str()));
    CGsUtility utility;
    EXPECT_EQ(1, utility.CreateDirectoryPath("\\\\gs-no-host\\share\\dir\\sub"));
    SetCurrentDirectoryA(previous);
    // Nothing was made relative to the current folder.
    EXPECT_TRUE(ScratchFolder::Entries(scratch.path).empty());
    EXPECT_EQ(1, utility.CreateDirectoryPath(nullptr));
    EXPECT_EQ(1, utility.CreateDirectoryPath(""));
}

} // namespace
