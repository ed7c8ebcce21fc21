#include "GsWheelMessage.h"

#include <gtest/gtest.h>

namespace
{

struct VersionCase
{
    DWORD version; // as GetVersion gives it: build, top bit for the 95 line, minor, major
    int wheel;
};

const VersionCase VERSION_CASES[] = {
    {0x80000004, 1}, // 95 line 4.0
    {0xC3B60004, 1}, // 95 line 4.0 with a build number
    {0x00000003, 1}, // NT line 3.0
    {0x04210003, 1}, // NT line 3.0 with a build number
    {0x80000A04, 0}, // 95 line 4.10
    {0x80005A04, 0}, // 95 line 4.90
    {0x80000003, 0}, // 3.0, but of the 95 line
    {0x00000004, 0}, // 4.0, but of the NT line
    {0x00003303, 0}, // NT 3.51
    {0x05650005, 0}, // NT 5.0
    {0x0A28000A, 0}, // NT 10.0
    {0x00000000, 0}, {0xFFFF0004, 1}, {0x7FFF0003, 1},
};

TEST(GsWheelMessage, OnlyVersion4Of95LineAndVersion3OfNtLineNeedTheMessage)
{
    for (const VersionCase& c : VERSION_CASES)
    {
        EXPECT_EQ(c.wheel, GsIsWheelMessageSystem(c.version)) << std::hex << c.version;
    }
}

TEST(GsWheelMessage, ProgramsValueFollowsTheRuleForThisSystem)
{
    if (GsIsWheelMessageSystem(GetVersion()))
    {
        EXPECT_EQ(RegisterWindowMessageA("MSWHEEL_ROLLMSG"), g_nWheelMessage);
        EXPECT_GE(g_nWheelMessage, 0xC000u);
    }
    else
    {
        EXPECT_EQ(0u, g_nWheelMessage);
        EXPECT_EQ(0u, GsRegisterWheelMessage());
    }
}

} // namespace
