#include "GsTestFiles.h"
#include "GsTestProcess.h"

#include <gtest/gtest.h>

namespace
{

constexpr char EXIT_PROBE[] = GS_EXIT_PROBE;

const char* Meaning(DWORD code)
{
    switch (code)
    {
    case 0:
        return "all held";
    case 10:
        return "static destruction never reached the witness";
    case 20:
        return "frame, dialog list and wheel registration were not built in that order";
    case 21:
        return "DialogProc did not route while the list was alive";
    case 30:
        return "the frame ended before the dialog list";
    case 31:
        return "DialogProc ran a handler after the dialog list had ended";
    default:
        return "unexpected exit code";
    }
}

TEST(StaticObjectOrder, FrameListAndWheelAreBuiltInOrderAndDialogProcIsInertAfterTheList)
{
    gstest::TestProcess probe;
    ASSERT_TRUE(probe.Start(gstest::ToWindowsPath(EXIT_PROBE))) << GetLastError();
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(probe.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(0u, exitCode) << Meaning(exitCode);
}

} // namespace
