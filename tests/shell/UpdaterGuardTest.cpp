// The updater's run sequence: in this process with the message box recorded, and the updater
// program itself started as the user starts it. Holds the product's fixed mutex names: runs
// under the gs_product_mutexes lock.
#include "GsDialogList.h"
#include "GsMessageBox.h"
#include "GsTestFiles.h"
#include "GsTestMutex.h"
#include "GsTestProcess.h"
#include "GsTestWindow.h"
#include "GsWheelMessage.h"
#include "MainAppFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

constexpr char UPDATER_NAME[] = "TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME";
constexpr char APPLICATION_NAME[] = "TARNS_HARBOR1999KITE07_GUIDAPPNAME";
constexpr char RUNNING_TEXT[] =
    "Larkspurgleamが起動しています。\n終了させてから再度アップデートを実行してください。";

int NamesTaken()
{
    return gstest::NameIsTaken(UPDATER_NAME) + gstest::NameIsTaken(APPLICATION_NAME);
}

// The updater's frame with observable start and exit.
class CTestMainAppFrame : public CMainAppFrame
{
public:
    int OnStart() override
    {
        takenAtStart = NamesTaken();
        return startResult;
    }
    int OnExit() override
    {
        takenAtExit = NamesTaken();
        return 7;
    }
    int startResult = 1;
    int takenAtStart = -1; // how many of the two names were taken (0..2); -1: not called
    int takenAtExit = -1;
};

std::vector<std::string> g_boxes; // "owner|text|caption|style|updater name taken"

int RecordBox(HWND owner, const char* text, const char* caption, UINT style)
{
    g_boxes.push_back(std::to_string(owner != nullptr) + "|" + text + "|" + caption + "|" +
                      std::to_string(style) + "|" +
                      std::to_string(gstest::NameIsTaken(UPDATER_NAME)));
    return IDOK;
}

} // namespace

// This program's static objects, in the framework's order.
CTestMainAppFrame g_TestFrame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = GsRegisterWheelMessage();

namespace
{

class UpdaterGuard : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, NamesTaken()) << "another updater test overlaps";
        previousBox = GsSetMessageBoxFunction(RecordBox);
    }
    void TearDown() override { GsSetMessageBoxFunction(previousBox); }

    GsMessageBoxFunction previousBox = nullptr;
};

TEST_F(UpdaterGuard, RunHoldsBothNamesOrStopsAtTheFirstTaken)
{
    const std::string runningBox = std::string("0|") + RUNNING_TEXT + "|Error|" +
                                   std::to_string(MB_OK | MB_ICONINFORMATION) + "|1";
    const struct
    {
        bool updaterHeld, applicationHeld;
        int startResult;
        int result, takenAtStart, takenAtExit;
        std::vector<std::string> boxes;
    } rows[] = {
        {false, false, 1, 7, 2, 2, {}},  // OnExit's code
        {false, false, 0, -1, 2, 2, {}}, // a failed start still runs OnExit
        {true, false, 1, 0, -1, -1, {}}, // another updater: silently
        {false, true, 1, 0, -1, -1, {runningBox}},
        {true, true, 1, 0, -1, -1, {}},
    };
    for (const auto& row : rows)
    {
        gstest::NameHolder updater(row.updaterHeld ? UPDATER_NAME : "gs_guard_unused_1");
        gstest::NameHolder application(row.applicationHeld ? APPLICATION_NAME
                                                           : "gs_guard_unused_2");
        g_boxes.clear();
        g_TestFrame.startResult = row.startResult;
        g_TestFrame.takenAtStart = g_TestFrame.takenAtExit = -1;
        char commandLine[] = "/quiet --junk \"%s%n\"";
        EXPECT_EQ(row.result,
                  g_TestFrame.Run(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOW));
        EXPECT_EQ(row.takenAtStart, g_TestFrame.takenAtStart);
        EXPECT_EQ(row.takenAtExit, g_TestFrame.takenAtExit);
        EXPECT_EQ(row.boxes, g_boxes);
        updater.Release();
        application.Release();
        EXPECT_EQ(0, NamesTaken()) << "both names are free after the run";
    }
    EXPECT_EQ(gstest::GetOwnDirectory(), g_TestFrame.directory);
}

// The program itself, with junk on its command line (which it ignores): a second copy ends at
// once showing nothing, and leaves the first copy's box (the running application's, owned by
// no window) and its name alone.
TEST_F(UpdaterGuard, SecondProgramEndsSilentlyBesideTheFirst)
{
    const std::string program = gstest::ToWindowsPath(GS_UPDATER_PROGRAM);
    const char junk[] = "/S -q --target=\"C:\\x y\\z.exe\" %s%n%x \"unterminated ソ表 /?";
    gstest::NameHolder application(APPLICATION_NAME);
    gstest::TestProcess first;
    ASSERT_TRUE(first.Start(program, junk));
    const HWND box = first.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
    ASSERT_NE(nullptr, box);
    gstest::MessageBoxState state;
    ASSERT_TRUE(gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS));
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), state.style);
    EXPECT_EQ(nullptr, state.owner);
    EXPECT_EQ(1u, first.GetWindows().size());

    gstest::TestProcess second;
    ASSERT_TRUE(second.Start(program, junk));
    DWORD exitCode = 0xFFFFFFFF;
    int sawWindow = -1;
    ASSERT_TRUE(second.WaitForExitWatchingWindows(gstest::STEP_TIMEOUT_MS, &exitCode, &sawWindow));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(0, sawWindow);
    EXPECT_TRUE(IsWindow(box));
    EXPECT_EQ(1, gstest::NameIsTaken(UPDATER_NAME)) << "the first copy keeps its name";
    ASSERT_TRUE(gstest::PressButton(box, IDOK));
    ASSERT_TRUE(first.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(0, gstest::NameIsTaken(UPDATER_NAME));
}

} // namespace
