#include "GsAppFrame.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

struct CutCase
{
    const char* path;
    int result;
    const char* folder;
};

// In code page 932 "ソ" is 83 5C and "表" is 95 5C: their second byte is a backslash byte.
const CutCase CUT_CASES[] = {
    {"C:\\Program Files\\App\\Updater.exe", 1, "C:\\Program Files\\App"},
    {"C:\\Updater.exe", 1, "C:"},
    {"\\\\server\\share\\Updater.exe", 1, "\\\\server\\share"},
    {"C:\\App\\", 1, "C:\\App"},
    {"Updater.exe", 0, "Updater.exe"},
    {"", 0, ""},
    {"\\Updater.exe", 0, "\\Updater.exe"}, // the first character is never a separator
    {"C:\\ソフト\\表\\Updater.exe", 1, "C:\\ソフト\\表"},
    {"C:\\App\\表示.exe", 1, "C:\\App"},
    {"C:\\ソフト\\表\\ソフト.exe", 1, "C:\\ソフト\\表"},
    {"C:\\App\\ソ", 1, "C:\\App"},
    {"表\\ソ", 1, "表"},
    {"ソ", 0, "ソ"},
    {"C:\\App\\\x83", 1, "C:\\App"}, // a lead byte cut off at the end stands alone
};

TEST(GsCutAtLastBackslash, CutsAtTheLastSeparatorAndNeverInsideADoubleByteCharacter)
{
    ASSERT_EQ(932u, GetACP()) << "these cases need the Japanese ANSI code page";
    ASSERT_STREQ("\x83\x5C\x95\x5C", "ソ表") << "sources must be compiled to code page 932";
    for (const CutCase& c : CUT_CASES)
    {
        char buffer[GS_PATH_SIZE];
        std::strcpy(buffer, c.path);
        EXPECT_EQ(c.result, GsCutAtLastBackslash(buffer)) << c.path;
        EXPECT_STREQ(c.folder, buffer) << c.path;
    }
    EXPECT_EQ(0, GsCutAtLastBackslash(nullptr));
}

TEST(GsAppFrame, ConstructionTakesOverTheFramePointerWithEmptyFields)
{
    CGsAppFrame first;
    EXPECT_EQ(&first, g_pAppFrame);
    EXPECT_EQ(nullptr, first.instance);
    EXPECT_EQ(nullptr, first.previous);
    EXPECT_EQ(nullptr, first.commandLine);
    EXPECT_EQ(0, first.showCommand);
    for (char c : first.directory)
    {
        ASSERT_EQ('\0', c);
    }
    CGsAppFrame second;
    EXPECT_EQ(&second, g_pAppFrame);
}

TEST(GsAppFrameGetModuleDirectory, GivesTheFolderOfTheFramesModule)
{
    CGsAppFrame frame;
    char buffer[GS_PATH_SIZE];
    ASSERT_EQ(1, frame.GetModuleDirectory(buffer, GS_PATH_SIZE));
    EXPECT_EQ(gstest::GetOwnDirectory(), buffer);

    char system[GS_PATH_SIZE];
    ASSERT_NE(0u, GetSystemDirectoryA(system, GS_PATH_SIZE));
    frame.instance = GetModuleHandleA("kernel32.dll");
    ASSERT_EQ(1, frame.GetModuleDirectory(buffer, GS_PATH_SIZE));
    EXPECT_EQ(0, lstrcmpiA(system, buffer)) << buffer;
}

TEST(GsAppFrameGetModuleDirectory, FailsOnANameThatDoesNotFitAndStaysInsideTheBuffer)
{
    CGsAppFrame frame;
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, frame.GetModuleDirectory(buffer, 8));
    EXPECT_EQ('\0', buffer[7]);
    EXPECT_EQ('x', buffer[8]);
    EXPECT_EQ(0, frame.GetModuleDirectory(nullptr, GS_PATH_SIZE));
    EXPECT_EQ(0, frame.GetModuleDirectory(buffer, 0));
    EXPECT_EQ('x', buffer[8]);
}

TEST(GsAppFramePrepare, StoresTheStartUpValuesAndTheModulesFolder)
{
    CGsAppFrame frame;
    char commandLine[] = "ignored arguments";
    HINSTANCE instance = GetModuleHandleA(nullptr);
    EXPECT_EQ(1, frame.Prepare(instance, nullptr, commandLine, SW_SHOWMINIMIZED));
    EXPECT_EQ(instance, frame.instance);
    EXPECT_EQ(nullptr, frame.previous);
    EXPECT_EQ(commandLine, frame.commandLine);
    EXPECT_EQ(SW_SHOWMINIMIZED, frame.showCommand);
    EXPECT_EQ(gstest::GetOwnDirectory(), frame.directory);
}

TEST(GsAppFramePrepare, FallsBackToTheCurrentDirectoryWhenTheModuleNameIsUnreadable)
{
    CGsAppFrame frame;
    // Not a module: GetModuleFileNameA fails for it.
    HINSTANCE bogus = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x7FF00000));
    char current[GS_PATH_SIZE];
    ASSERT_NE(0u, GetCurrentDirectoryA(GS_PATH_SIZE, current));
    EXPECT_EQ(1, frame.Prepare(bogus, nullptr, nullptr, SW_SHOW));
    EXPECT_STREQ(current, frame.directory);
}

} // namespace
