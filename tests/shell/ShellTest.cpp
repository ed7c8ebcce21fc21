// The generic frame and the instance guard: the program's folder found from the module name
// (double-byte names included), the run sequence's message loop, and named-mutex guards.
#include "GsAppFrame.h"
#include "GsDualBoot.h"
#include "GsTestFiles.h"
#include "GsTestMutex.h"
#include "GsTestProcess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

// In code page 932 "ソ" is 83 5C and "表" is 95 5C: their second byte is a backslash byte.
TEST(GsAppFrame, CutsAtTheLastSeparatorAndNeverInsideADoubleByteCharacter)
{
    ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
    ASSERT_STREQ("\x83\x5C\x95\x5C", "ソ表") << "sources must be compiled to code page 932";
    const struct
    {
        const char* path;
        int result;
        const char* folder;
    } rows[] = {
        {"C:\\App\\Updater.exe", 1, "C:\\App"},
        {"C:\\Updater.exe", 1, "C:"},
        {"\\\\server\\share\\Updater.exe", 1, "\\\\server\\share"},
        {"C:\\App\\", 1, "C:\\App"},
        {"Updater.exe", 0, "Updater.exe"},
        {"", 0, ""},
        {"\\Updater.exe", 0, "\\Updater.exe"}, // the first character is never a separator
        {"C:\\ソフト\\表\\ソフト.exe", 1, "C:\\ソフト\\表"},
        {"C:\\App\\表示.exe", 1, "C:\\App"},
        {"表\\ソ", 1, "表"},
        {"ソ", 0, "ソ"},
        {"C:\\App\\\x83", 1, "C:\\App"}, // a lead byte cut off at the end stands alone
    };
    for (const auto& row : rows)
    {
        char buffer[GS_PATH_SIZE];
        std::strcpy(buffer, row.path);
        EXPECT_EQ(row.result, GsCutAtLastBackslash(buffer)) << row.path;
        EXPECT_STREQ(row.folder, buffer) << row.path;
    }
    EXPECT_EQ(0, GsCutAtLastBackslash(nullptr));
}

TEST(GsAppFrame, FindsItsFolderOrFallsBackInsideTheBuffer)
{
    CGsAppFrame frame;
    EXPECT_EQ(&frame, g_pAppFrame);
    char commandLine[] = "ignored arguments";
    EXPECT_EQ(1, frame.Prepare(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWMINIMIZED));
    EXPECT_EQ(commandLine, frame.commandLine);
    EXPECT_EQ(SW_SHOWMINIMIZED, frame.showCommand);
    EXPECT_EQ(gstest::GetOwnDirectory(), frame.directory);

    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, frame.GetModuleDirectory(buffer, 8)) << "the name does not fit";
    EXPECT_EQ('\0', buffer[7]);
    EXPECT_EQ('x', buffer[8]);
    EXPECT_EQ(0, frame.GetModuleDirectory(buffer, 0));
    EXPECT_EQ(0, frame.GetModuleDirectory(nullptr, GS_PATH_SIZE));

    // Not a module: the current directory stands in.
    char current[GS_PATH_SIZE];
    ASSERT_NE(0u, GetCurrentDirectoryA(GS_PATH_SIZE, current));
    EXPECT_EQ(1, frame.Prepare(reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x7FF00000)),
                               nullptr, nullptr, SW_SHOW));
    EXPECT_STREQ(current, frame.directory);
}

// A failing message source (-1) ends the loop instead of being taken for a message.
TEST(GsAppFrame, RunEndsWhenFetchingAMessageFails)
{
    struct CFailingFrame : CGsAppFrame
    {
        int FetchMessage(MSG*) override { return ++fetches == 1 ? -1 : 0; }
        int OnExit() override { return 5; }
        int fetches = 0;
    } frame;
    EXPECT_EQ(5, frame.Run(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
    EXPECT_EQ(1, frame.fetches);
}

// The frame's folder as a started program sees it: the probe program copied under ASCII and
// double-byte names, started from another current directory. Its exit code comes from OnExit
// after WM_QUIT ended the loop.
TEST(GsAppFrame, StartedProgramFindsItsFolder)
{
    gstest::ScratchFolder scratch("frame_dir");
    const std::string report = scratch.GetPath() + "\\report.txt";
    const struct
    {
        const char* folder;
        const char* file;
    } rows[] = {{"program", "probe.exe"}, {"ソフト\\表", "表示.exe"}, {"ソフト\\表", "ソフト.exe"}};
    for (const auto& row : rows)
    {
        const std::string folder = scratch.MakeFolder(row.folder);
        ASSERT_FALSE(folder.empty());
        const std::string program = folder + "\\" + row.file;
        ASSERT_TRUE(
            CopyFileA(gstest::ToWindowsPath(GS_FRAME_PROBE).c_str(), program.c_str(), FALSE));
        gstest::TestProcess probe;
        ASSERT_TRUE(probe.Start(program, report, scratch.GetPath())) << GetLastError();
        DWORD exitCode = 0;
        ASSERT_TRUE(probe.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(3u, exitCode);
        EXPECT_EQ(folder + "\n" + report + "\n", gstest::ReadWholeFile(report)) << row.file;
    }
}

TEST(GsDualBoot, GuardsHoldTheirNameUntilReleased)
{
    const std::string prefix = "gs_test_dualboot_" + std::to_string(GetCurrentProcessId());
    const std::string name = prefix + "_first";
    CGsDualBoot second;
    {
        CGsDualBoot first;
        EXPECT_EQ(nullptr, first.GetHandle());
        ASSERT_EQ(1, first.Create(name.c_str()));
        EXPECT_EQ(0, second.Create(name.c_str())) << "the name is taken";
        EXPECT_NE(nullptr, second.GetHandle());
    }
    EXPECT_EQ(1, gstest::NameIsTaken(name.c_str())) << "the failed guard's handle keeps it";
    second.Release();
    EXPECT_EQ(nullptr, second.GetHandle());
    EXPECT_EQ(0, gstest::NameIsTaken(name.c_str()));

    // Creating again releases the earlier name.
    ASSERT_EQ(1, second.Create(name.c_str()));
    ASSERT_EQ(1, second.Create((prefix + "_again").c_str()));
    EXPECT_EQ(0, gstest::NameIsTaken(name.c_str()));
    EXPECT_EQ(1, gstest::NameIsTaken((prefix + "_again").c_str()));

    // A name held by another kind of object gives no handle and no guard.
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, (prefix + "_event").c_str());
    CGsDualBoot guard;
    EXPECT_EQ(0, guard.Create((prefix + "_event").c_str()));
    EXPECT_EQ(nullptr, guard.GetHandle());
    CloseHandle(event);
}

} // namespace
