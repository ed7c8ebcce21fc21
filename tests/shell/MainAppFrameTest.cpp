// The updater's run sequence in this process, with the message box recorded instead of
// shown. Holds the product's fixed mutex names: runs under the gs_product_mutexes lock.

#include "MainAppFrame.h"
#include "GsDialogList.h"
#include "GsMessageBox.h"
#include "GsTestFiles.h"
#include "GsTestMutex.h"
#include "GsWheelMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

constexpr char UPDATER_NAME[] = "TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME";
constexpr char APPLICATION_NAME[] = "TARNS_HARBOR1999KITE07_GUIDAPPNAME";
constexpr char RUNNING_TEXT[] =
    "Larkspurgleamが起動しています。\n終了させてから再度アップデートを実行してください。";

using gstest::NameIsTaken;

using gstest::NameHolder;

// The updater's frame with observable start and exit.
class CTestMainAppFrame : public CMainAppFrame
{
public:
    void Reset()
    {
        startResult = 1;
        exitResult = 0;
        startCalls = 0;
        exitCalls = 0;
        namesTakenDuringStart = -1;
        namesTakenDuringExit = -1;
    }
    int OnStart() override
    {
        ++startCalls;
        namesTakenDuringStart = NameIsTaken(UPDATER_NAME) + NameIsTaken(APPLICATION_NAME);
        return startResult;
    }
    int OnExit() override
    {
        ++exitCalls;
        namesTakenDuringExit = NameIsTaken(UPDATER_NAME) + NameIsTaken(APPLICATION_NAME);
        return exitResult;
    }

    int startResult = 1;
    int exitResult = 0;
    int startCalls = 0;
    int exitCalls = 0;
    int namesTakenDuringStart = -1; // how many of the two names were taken (0..2)
    int namesTakenDuringExit = -1;
};

struct BoxCall
{
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    int updaterNameTaken;
};

std::vector<BoxCall> g_boxes;

int RecordBox(HWND owner, const char* text, const char* caption, UINT style)
{
    g_boxes.push_back({owner, text, caption, style, NameIsTaken(UPDATER_NAME)});
    return IDOK;
}

} // namespace

// This program's static objects, in the framework's order.
CTestMainAppFrame g_TestFrame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = GsRegisterWheelMessage();

namespace
{

class MainAppFrameRun : public testing::Test
{
protected:
    void SetUp() override
    {
        g_TestFrame.Reset();
        g_boxes.clear();
        previousBox = GsSetMessageBoxFunction(RecordBox);
        ASSERT_EQ(0, NameIsTaken(UPDATER_NAME)) << "another updater test overlaps";
        ASSERT_EQ(0, NameIsTaken(APPLICATION_NAME)) << "another updater test overlaps";
    }
    void TearDown() override { GsSetMessageBoxFunction(previousBox); }

    int Run(const char* arguments = "")
    {
        commandLine = arguments;
        return g_TestFrame.Run(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOW);
    }

    std::string commandLine;
    GsMessageBoxFunction previousBox = nullptr;
};

TEST_F(MainAppFrameRun, StartsHoldingBothNamesAndEndsWithOnExitsCode)
{
    g_TestFrame.exitResult = 7;
    EXPECT_EQ(7, Run());
    EXPECT_EQ(1, g_TestFrame.startCalls);
    EXPECT_EQ(1, g_TestFrame.exitCalls);
    EXPECT_EQ(2, g_TestFrame.namesTakenDuringStart);
    EXPECT_EQ(2, g_TestFrame.namesTakenDuringExit);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
    EXPECT_EQ(0, NameIsTaken(APPLICATION_NAME));
}

TEST_F(MainAppFrameRun, DefaultExitGivesZeroAndStoresTheStartUpValues)
{
    EXPECT_EQ(0, Run("/quiet --junk \"%s%n\""));
    EXPECT_EQ(GetModuleHandleA(nullptr), g_TestFrame.instance);
    EXPECT_EQ(&commandLine[0], g_TestFrame.commandLine);
    EXPECT_EQ(SW_SHOW, g_TestFrame.showCommand);
    EXPECT_EQ(gstest::GetOwnDirectory(), g_TestFrame.directory);
}

TEST_F(MainAppFrameRun, FailedStartGivesMinusOneAfterOnExitAndFreesBothNames)
{
    g_TestFrame.startResult = 0;
    g_TestFrame.exitResult = 7;
    EXPECT_EQ(-1, Run());
    EXPECT_EQ(1, g_TestFrame.exitCalls);
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
    EXPECT_EQ(0, NameIsTaken(APPLICATION_NAME));
}

TEST_F(MainAppFrameRun, RunningUpdaterEndsTheRunSilently)
{
    NameHolder otherUpdater(UPDATER_NAME);
    ASSERT_NE(nullptr, otherUpdater.handle);
    EXPECT_EQ(0, Run());
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(0, g_TestFrame.startCalls);
    EXPECT_EQ(0, g_TestFrame.exitCalls);
    EXPECT_EQ(0, NameIsTaken(APPLICATION_NAME));
    otherUpdater.Release();
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
}

TEST_F(MainAppFrameRun, RunningApplicationShowsTheMessageOnceAndEndsWithZero)
{
    NameHolder application(APPLICATION_NAME);
    ASSERT_NE(nullptr, application.handle);
    EXPECT_EQ(0, Run());
    ASSERT_EQ(1u, g_boxes.size());
    const BoxCall& box = g_boxes[0];
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(RUNNING_TEXT, box.text);
    // Spot check of the bytes: "が" is 82 AA, "。" is 81 42, then one line feed.
    EXPECT_EQ(0u, box.text.find("Larkspurgleam\x82\xAA"));
    EXPECT_NE(std::string::npos, box.text.find("\x81\x42\n"));
    EXPECT_EQ(1u, std::count(box.text.begin(), box.text.end(), '\n'));
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), box.style);
    EXPECT_EQ(1, box.updaterNameTaken);
    EXPECT_EQ(0, g_TestFrame.startCalls);
    EXPECT_EQ(0, g_TestFrame.exitCalls);
    EXPECT_EQ(0, NameIsTaken(UPDATER_NAME));
    application.Release();
    EXPECT_EQ(0, NameIsTaken(APPLICATION_NAME));
}

} // namespace
