#include "GsWheelMessage.h"

namespace
{
constexpr DWORD WINDOWS_95_LINE = 0x80000000u; // top bit of GetVersion
constexpr DWORD VERSION_4_0 = 0x0004;          // major 4 in the low byte, minor 0 above it
constexpr DWORD VERSION_3_0 = 0x0003;
} // namespace

int GsIsWheelMessageSystem(DWORD version)
{
    const DWORD number = version & 0xFFFF;
    if (version & WINDOWS_95_LINE)
    {
        return number == VERSION_4_0 ? 1 : 0;
    }
    return number == VERSION_3_0 ? 1 : 0;
}

unsigned int GsRegisterWheelMessage()
{
    if (!GsIsWheelMessageSystem(GetVersion()))
    {
        return 0;
    }
    return RegisterWindowMessageA("MSWHEEL_ROLLMSG");
}
