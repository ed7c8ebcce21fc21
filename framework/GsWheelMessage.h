#pragma once

#include <windows.h>

// The wheel message "MSWHEEL_ROLLMSG" of the systems that had no WM_MOUSEWHEEL.

// 1 when a system of version `version` (as GetVersion gives it) needs the registered wheel
// message: 4.0 of the 95 line (top bit set, low word 0x0004) or 3.0 of the NT line (top bit
// clear, low word 0x0003). 0 for every other version.
int GsIsWheelMessageSystem(DWORD version);

// The identifier of "MSWHEEL_ROLLMSG" registered on such a system, else 0 (nothing is
// registered). Each program calls it once, to initialise g_nWheelMessage right after its
// dialog list (see shell/WinMain.cpp).
unsigned int GsRegisterWheelMessage();

// Defined by each program with its other static objects; nothing in the framework reads it.
extern unsigned int g_nWheelMessage;
