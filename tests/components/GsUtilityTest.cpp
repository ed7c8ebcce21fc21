// The utility component and the character-aware path scanning under it. The double-byte rows
// need the ANSI code page 932: ctest runs these tests in a Japanese locale (LC_ALL, LOCPATH).
// Some cases change machine-wide values of the wine prefix and put them back, so ctest runs
// this program's cases one at a time.
#include "GsUtility.h"
#include "GsPathText.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace
{

class GsUtilityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
        ASSERT_STREQ("\x83\x5C\x95\x5C", "ソ表") << "sources must be compiled to code page 932";
    }

    // Names of the entries directly inside `folder`.
    static std::set<std::string> Entries(const std::string& folder)
    {
        std::set<std::string> names;
        WIN32_FIND_DATAA entry;
        const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry))
        {
            if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0)
                names.insert(entry.cFileName);
        }
        if (find != INVALID_HANDLE_VALUE)
            FindClose(find);
        return names;
    }

    CGsUtility utility;
};

// "ソ" (83 5C) and "表" (95 5C) end in a backslash byte; "\x83" alone before the terminator is a
// lead byte without its trail byte.
TEST_F(GsUtilityTest, PathTextWalksWholeCharacters)
{
    const struct
    {
        const char* text;
        int next;  // GsNextChar's step
        int last;  // offset of GsFindLastBackslash, -1 for none
        int first; // offset of GsFindBackslash(text, 1, 6), -1 for none
    } rows[] = {
        {"a\\b\\c", 1, 3, 1}, {"ソ\\x", 2, 2, 2}, {"表", 2, -1, -1},      {"\x83", 1, -1, -1},
        {"", 0, -1, -1},      {"\\ab", 1, 0, -1}, {"abcdef\\", 1, 6, -1},
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(row.text + row.next, GsNextChar(row.text)) << row.text;
        const char* last = GsFindLastBackslash(row.text);
        EXPECT_EQ(row.last, last != nullptr ? last - row.text : -1) << row.text;
        const char* first = GsFindBackslash(row.text, 1, 6);
        EXPECT_EQ(row.first, first != nullptr ? first - row.text : -1) << row.text;
    }
    EXPECT_EQ(nullptr, GsFindLastBackslash(static_cast<const char*>(nullptr)));
    EXPECT_EQ(nullptr, GsFindBackslash(nullptr, 0, 10));
    // An offset inside "ソ" does not make its trail byte a separator.
    EXPECT_EQ(nullptr, GsFindBackslash("ソ", 1, 2));

    const struct
    {
        const char* source;
        std::size_t size;
        int result;
        const char* copied;
    } copies[] = {
        {"ab", 3, 1, "ab"},   {"abc", 3, 0, "ab"}, {"aソ", 3, 0, "a"},
        {"aソ", 4, 1, "aソ"}, {nullptr, 4, 1, ""}, {"a\x83", 3, 1, "a\x83"},
    };
    for (const auto& copy : copies)
    {
        char area[8];
        std::memset(area, '#', sizeof area);
        EXPECT_EQ(copy.result, GsCopyText(area, copy.source, copy.size)) << copy.copied;
        EXPECT_STREQ(copy.copied, area);
        EXPECT_EQ('#', area[copy.size]) << "nothing past the size";
    }
    char area[2] = {'#', '#'};
    EXPECT_EQ(0, GsCopyText(area, "abc", 0));
    EXPECT_EQ('#', area[0]) << "no size, no write";
    EXPECT_EQ(0, GsCopyText(nullptr, "abc", 4));
}

TEST_F(GsUtilityTest, SplitsPathsAndChangesCaseAtCharacters)
{
    const struct
    {
        const char* path;
        const char* name;
        const char* directory;
    } rows[] = {
        {"C:\\data\\a.txt", "a.txt", "C:\\data"},
        {"C:\\a.txt", "a.txt", "C:"},
        {"C:\\data\\", "", "C:\\data"},
        {"\\\\server\\share\\f", "f", "\\\\server\\share"},
        {"a.txt", "a.txt", ""},
        {"C:\\ソフト\\表", "表", "C:\\ソフト"},
        {"C:\\表\\a.txt", "a.txt", "C:\\表"},
        {"C:\\ソフト表", "ソフト表", "C:"},
        {"C:\\a\\\x83", "\x83", "C:\\a"},
    };
    for (const auto& row : rows)
    {
        char name[MAX_PATH] = "stale";
        char directory[MAX_PATH] = "stale";
        EXPECT_EQ(1, utility.ExtractFileName(row.path, name));
        EXPECT_EQ(1, utility.ExtractDirectory(row.path, directory));
        EXPECT_STREQ(row.name, name) << row.path;
        EXPECT_STREQ(row.directory, directory) << row.path;
    }
    char inPlace[MAX_PATH] = "C:\\data\\sub\\a.txt";
    utility.ExtractDirectory(inPlace, inPlace);
    EXPECT_STREQ("C:\\data\\sub", inPlace);

    // ヂ and テ have the trail bytes 'a' and 'e', ア has 'A'; B1 DF are single-byte katakana.
    // The bytes after the terminator are not part of the text.
    char upper[] = "ab xヂyテz 09 \xB1\xDF \x83\0qq";
    EXPECT_EQ(1, utility.MakeUpper(upper));
    EXPECT_EQ(0, std::memcmp("AB XヂYテZ 09 \xB1\xDF \x83\0qq", upper, sizeof upper));
    char lower[] = "AB XアYアZ \xB1\xDF \x83\0QQ";
    EXPECT_EQ(1, utility.MakeLower(lower));
    EXPECT_EQ(0, std::memcmp("ab xアyアz \xB1\xDF \x83\0QQ", lower, sizeof lower));

    EXPECT_EQ("C:\\", GsDriveRoot("C:\\dir\\file"));
    EXPECT_EQ("C:", GsDriveRoot("C:"));
    EXPECT_EQ("\\dir", GsDriveRoot("\\dir")) << "a backslash at offset 0 does not count";
    EXPECT_EQ("ソ\\", GsDriveRoot("ソ\\x\\y"));
    EXPECT_EQ(std::string(258, 'a') + "\\", GsDriveRoot((std::string(258, 'a') + "\\b").c_str()));
    EXPECT_EQ(std::string(259, 'a'), GsDriveRoot((std::string(259, 'a') + "\\b").c_str()));
}

TEST_F(GsUtilityTest, FormatsEveryKindOfSystem)
{
    const struct
    {
        DWORD platform, major, minor;
        const char* csd;
        const char* text;
    } rows[] = {
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, " B", "Windows95 4.0  B"},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, " A ", "Windows98 4.10  A "},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "", "WindowsMe 4.90 "},
        {VER_PLATFORM_WIN32_NT, 5, 0, "Service Pack 4", "Windows2000 Service Pack 4 (NT:5.0)"},
        {VER_PLATFORM_WIN32_NT, 5, 1, "Service Pack 2", "WindowsXP Service Pack 2 (NT:5.1)"},
        {VER_PLATFORM_WIN32_NT, 5, 2, "Service Pack 1", "Windows2000 Service Pack 1 (NT:5.2)"},
        {VER_PLATFORM_WIN32_NT, 4, 0, "Service Pack 6", "WindowsNT 4.0 Service Pack 6"},
        {VER_PLATFORM_WIN32_NT, 10, 0, "", "WindowsNT 10.0 "},
        {VER_PLATFORM_WIN32s, 3, 11, "", "Unknown OS Version"},
    };
    for (const auto& row : rows)
    {
        OSVERSIONINFOA info = {};
        info.dwPlatformId = row.platform;
        info.dwMajorVersion = row.major;
        info.dwMinorVersion = row.minor;
        info.dwBuildNumber = 2600; // never shown
        std::strcpy(info.szCSDVersion, row.csd);
        char text[256] = {};
        EXPECT_EQ(1, FormatOSVersionText(info, text));
        EXPECT_STREQ(row.text, text);
    }
    OSVERSIONINFOA info = {};
    info.dwPlatformId = VER_PLATFORM_WIN32_NT;
    info.dwMajorVersion = 6;
    std::memset(info.szCSDVersion, 'x', sizeof(info.szCSDVersion)); // no terminator
    char text[256] = {};
    FormatOSVersionText(info, text);
    EXPECT_EQ("WindowsNT 6.0 " + std::string(sizeof(info.szCSDVersion) - 1, 'x'), text);

    // The memory figures go through the overridable query.
    struct FixedMemory : CGsUtility
    {
        void GetMemoryStatus(MEMORYSTATUS* status) override
        {
            std::memset(status, 0, sizeof(*status));
            status->dwTotalPhys = 1000;
            status->dwAvailPhys = 300;
        }
    } fixed;
    EXPECT_EQ(1000u, static_cast<IGsUtility&>(fixed).GetTotalPhysicalMemory());
    EXPECT_EQ(300u, static_cast<IGsUtility&>(fixed).GetAvailablePhysicalMemory());
    char name[MAX_PATH];
    EXPECT_EQ(0, utility.QueryComputerName(name, 1)) << "no room for any name";
    EXPECT_EQ(0, utility.QueryUserName(name, 1));
}

// Removes one registry value for a scope and stores it back as it was.
class RemovedValue
{
public:
    RemovedValue(HKEY root, const char* subKey, const char* valueName) : name(valueName)
    {
        if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        {
            key = nullptr;
            return;
        }
        DWORD size = sizeof data;
        had = RegQueryValueExA(key, name, nullptr, &type, data, &size) == ERROR_SUCCESS;
        length = size;
        removed = had && RegDeleteValueA(key, name) == ERROR_SUCCESS;
    }
    ~RemovedValue()
    {
        if (removed)
            RegSetValueExA(key, name, 0, type, data, length);
        if (key != nullptr)
            RegCloseKey(key);
    }
    RemovedValue(const RemovedValue&) = delete;
    RemovedValue& operator=(const RemovedValue&) = delete;

    bool removed = false;

private:
    const char* name;
    HKEY key = nullptr;
    DWORD type = 0;
    BYTE data[1024] = {};
    DWORD length = 0;
    bool had = false;
};

TEST_F(GsUtilityTest, FoldersFallBackOrFailInsideTheBuffer)
{
    char windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof windows));
    char buffer[MAX_PATH];
    {
        RemovedValue absent(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                            "ProgramFilesDir");
        ASSERT_TRUE(absent.removed);
        EXPECT_EQ(0, utility.GetProgramFilesDir(buffer, sizeof buffer));
        EXPECT_STREQ(windows, buffer) << "the Windows directory stands in";
    }
    EXPECT_EQ(1, utility.GetProgramFilesDir(buffer, sizeof buffer)) << "the value is back";
    EXPECT_STRNE(windows, buffer);
    {
        RemovedValue absent(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            "Desktop");
        ASSERT_TRUE(absent.removed);
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(0, utility.GetDesktopDir(buffer, sizeof buffer));
        EXPECT_EQ('\0', buffer[0]);
    }

    // Sizes shorter than any of these folders: failures, never overruns.
    using Getter = int (*)(CGsUtility&, char*, int);
    const Getter getters[] = {
        [](CGsUtility& u, char* b, int s) { return u.GetWindowsDir(b, s); },
        [](CGsUtility& u, char* b, int s) { return u.GetTempDir(b, s); },
        [](CGsUtility& u, char* b, int s) { return u.GetDesktopDir(b, s); },
        [](CGsUtility& u, char* b, int s) { return u.GetProgramsDir(nullptr, b, s); },
        [](CGsUtility& u, char* b, int s) { return u.GetProgramFilesDir(b, s); },
    };
    for (std::size_t i = 0; i < sizeof getters / sizeof getters[0]; ++i)
    {
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(0, getters[i](utility, buffer, 4)) << i;
        EXPECT_EQ('#', buffer[4]) << i;
        EXPECT_TRUE(i < 2 || buffer[0] == '\0') << i;
    }
    EXPECT_EQ(1, utility.GetTempDir(buffer, sizeof buffer));
    EXPECT_EQ('\\', buffer[std::strlen(buffer) - 1]);
}

TEST_F(GsUtilityTest, DrivesAndFiles)
{
    EXPECT_EQ(1, utility.IsFixedDrive("C:\\windows\\system32"));
    EXPECT_EQ(1, utility.IsFixedDrive("Z:\\tmp"));
    EXPECT_EQ(0, utility.IsFixedDrive("Q:\\nowhere"));
    EXPECT_EQ(0, utility.IsFixedDrive("not a path"));
    ULONGLONG freeBytes = 0;
    EXPECT_EQ(1, utility.GetFreeDiskSpace("C:\\windows\\system32", &freeBytes));
    EXPECT_GT(freeBytes, 0u);
    freeBytes = 12345;
    EXPECT_EQ(0, utility.GetFreeDiskSpace("Q:\\nowhere", &freeBytes));
    EXPECT_EQ(12345u, freeBytes) << "written only on success";

    gstest::ScratchFolder scratch("gsutil");
    std::ofstream(scratch.GetPath() + "\\setup.ini") << "x";
    std::ofstream(scratch.GetPath() + "\\data.bin") << "x";
    const std::string folder = scratch.GetPath() + "\\";
    EXPECT_EQ(1, utility.FilesExist("setup.ini", "data.bin", folder.c_str()));
    EXPECT_EQ(1, utility.FilesExist("setup.ini", nullptr, folder.c_str()));
    EXPECT_EQ(0, utility.FilesExist("setup.ini", "missing.bin", folder.c_str()));
    EXPECT_EQ(0, utility.FilesExist("missing.ini", "data.bin", folder.c_str()));
    EXPECT_EQ(0, utility.FilesExist("setup.ini", nullptr, scratch.GetPath().c_str()))
        << "plain concatenation: the folder brings its own backslash";

    std::string drive = "stale";
    const UINT saved = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    EXPECT_EQ(0, utility.FindCdRomDrive("gs-no-such-file.ini", nullptr, drive));
    EXPECT_EQ("", drive);
    EXPECT_EQ(static_cast<UINT>(SEM_NOGPFAULTERRORBOX), SetErrorMode(saved)) << "restored";
}

TEST_F(GsUtilityTest, CreatesEveryLevelWholeAndStopsAtTheLengthLimit)
{
    gstest::ScratchFolder scratch("gsutil");
    const std::string root = scratch.GetPath();
    EXPECT_EQ(1, utility.CreateDirectoryPath((root + "\\a\\b\\c").c_str()));
    EXPECT_EQ(1, utility.CreateDirectoryPath((root + "\\a\\b\\d\\").c_str()));
    EXPECT_EQ((std::set<std::string>{"c", "d"}), Entries(root + "\\a\\b"));
    // Cut at the trail byte of ソ or 表, the names "xソ" and "y表" would lose their last byte.
    EXPECT_EQ(1, utility.CreateDirectoryPath((root + "\\xソフト\\y表\\z").c_str()));
    EXPECT_EQ((std::set<std::string>{"a", "xソフト"}), Entries(root));
    EXPECT_EQ((std::set<std::string>{"z"}), Entries(root + "\\xソフト\\y表"));

    // Short levels to about 200 bytes, then one that ends past 260: nothing of it is made.
    std::string fitting = root + "\\long";
    while (fitting.size() < 200)
        fitting += "\\dddd";
    EXPECT_EQ(
        1, utility.CreateDirectoryPath((fitting + "\\" + std::string(100, 'e') + "\\f").c_str()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesA(fitting.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Entries(fitting).empty());

    // A share that does not exist makes nothing relative to the current folder.
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA((root + "\\a").c_str()));
    EXPECT_EQ(1, utility.CreateDirectoryPath("\\\\gs-no-host\\share\\dir\\sub"));
    SetCurrentDirectoryA(previous);
    EXPECT_EQ((std::set<std::string>{"b"}), Entries(root + "\\a"));
    EXPECT_EQ(1, utility.CreateDirectoryPath(nullptr));
}

} // namespace
