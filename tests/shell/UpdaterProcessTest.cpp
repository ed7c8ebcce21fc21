// The updater program itself, started as the user starts it. Holds the product's fixed mutex
// names: runs under the gs_product_mutexes lock.

#include "GsTestFiles.h"
#include "GsTestMutex.h"
#include "GsTestProcess.h"
#include "GsTestWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr char UPDATER_PROGRAM[] = GS_UPDATER_PROGRAM;
constexpr char UPDATER_NAME[] = "TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME";
constexpr char APPLICATION_NAME[] = "TARNS_HARBOR1999KITE07_GUIDAPPNAME";
constexpr char RUNNING_TEXT[] =
    "Larkspurgleamが起動しています。\n終了させてから再度アップデートを実行してください。";
constexpr char DIALOG_TITLE[] = "ラークスパーグリームアップデート";
constexpr char JUNK_ARGUMENTS[] =
    "/S -q --target=\"C:\\x y\\z.exe\" %s%n%x \"unterminated \\\\server\\share ソ表 /?";

using gstest::NameIsTaken;

using gstest::NameHolder;

class UpdaterProcess : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, NameIsTaken(UPDATER_NAME)) << "another updater test overlaps";
        ASSERT_EQ(0, NameIsTaken(APPLICATION_NAME)) << "another updater test overlaps";
    }

    static std::string Program() { return gstest::ToWindowsPath(UPDATER_PROGRAM); }

    // Starts the updater and expects it to end with 0 without ever showing a window.
    static void ExpectSilentEnd(const char* arguments)
    {
        gstest::TestProcess updater;
        ASSERT_TRUE(updater.Start(Program(), arguments)) << GetLastError();
        DWORD exitCode = 0xFFFFFFFF;
        int sawWindow = -1;
        ASSERT_TRUE(
            updater.WaitForExitWatchingWindows(gstest::STEP_TIMEOUT_MS, &exitCode, &sawWindow));
        EXPECT_EQ(0u, exitCode);
        EXPECT_EQ(0, sawWindow);
    }

    // Starts the updater with both names free: it holds them while its dialog shows, and
    // Cancel ends it with 0.
    static void ExpectDialogThenCancel(const char* arguments)
    {
        gstest::TestProcess updater;
        ASSERT_TRUE(updater.Start(Program(), arguments)) << GetLastError();
        HWND dialog = updater.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770", DIALOG_TITLE);
        ASSERT_NE(nullptr, dialog) << "no update dialog";
        EXPECT_EQ(1, NameIsTaken(UPDATER_NAME));
        EXPECT_EQ(1, NameIsTaken(APPLICATION_NAME));
        ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(updater.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    // Starts the updater, expects the running-application message and closes it with OK.
    static void ExpectRunningMessageThenEnd(const char* arguments)
    {
        gstest::TestProcess updater;
        ASSERT_TRUE(updater.Start(Program(), arguments)) << GetLastError();
        HWND box = updater.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
        ASSERT_NE(nullptr, box) << "no message box";
        gstest::MessageBoxState state;
        ASSERT_TRUE(gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS));
        EXPECT_EQ(RUNNING_TEXT, state.text);
        EXPECT_EQ("Error", state.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), state.style);
        EXPECT_EQ(nullptr, state.owner);
        EXPECT_EQ(1u, updater.GetWindows().size());
        // While the box shows, the updater keeps its own name.
        EXPECT_EQ(1, NameIsTaken(UPDATER_NAME));
        ASSERT_TRUE(gstest::PressButton(box, IDOK));
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(updater.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }
};

TEST_F(UpdaterProcess, WithNothingRunningShowsTheDialogThenFreesBothNames)
{
    ExpectDialogThenCancel("");
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
    EXPECT_EQ(0, NameIsTaken(APPLICATION_NAME));
}

TEST_F(UpdaterProcess, SecondUpdaterEndsAtOnceShowingNothing)
{
    NameHolder firstUpdater(UPDATER_NAME);
    ASSERT_NE(nullptr, firstUpdater.handle);
    ExpectSilentEnd("");
    // It did not go on to take the application's name.
    EXPECT_EQ(0, NameIsTaken(APPLICATION_NAME));
}

TEST_F(UpdaterProcess, RunningApplicationIsReportedThenBothNamesAreFreed)
{
    NameHolder application(APPLICATION_NAME);
    ASSERT_NE(nullptr, application.handle);
    ExpectRunningMessageThenEnd("");
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
    application.Release();
    EXPECT_EQ(0, NameIsTaken(APPLICATION_NAME));
}

TEST_F(UpdaterProcess, SecondUpdaterWhileTheApplicationRunsEndsSilently)
{
    NameHolder application(APPLICATION_NAME);
    NameHolder firstUpdater(UPDATER_NAME);
    ExpectSilentEnd("");
}

TEST_F(UpdaterProcess, SecondCopyLeavesTheFirstCopysBoxAndNamesAlone)
{
    NameHolder application(APPLICATION_NAME);
    gstest::TestProcess first;
    ASSERT_TRUE(first.Start(Program()));
    HWND box = first.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
    ASSERT_NE(nullptr, box);

    ExpectSilentEnd("");
    EXPECT_TRUE(IsWindow(box));
    EXPECT_EQ(1, NameIsTaken(UPDATER_NAME));

    ASSERT_TRUE(gstest::PressButton(box, IDOK));
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(first.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
}

TEST_F(UpdaterProcess, CommandLineIsIgnored)
{
    ExpectDialogThenCancel(JUNK_ARGUMENTS);
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
    {
        NameHolder application(APPLICATION_NAME);
        ExpectRunningMessageThenEnd(JUNK_ARGUMENTS);
    }
    {
        NameHolder firstUpdater(UPDATER_NAME);
        ExpectSilentEnd(JUNK_ARGUMENTS);
    }
}

} // namespace
