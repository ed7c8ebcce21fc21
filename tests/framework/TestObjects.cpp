// This test program's static objects, in the framework's order: frame, dialog list, wheel
// message.

#include "TestObjects.h"

#include "GsDialogList.h"
#include "GsWheelMessage.h"

CGsAppFrame g_TestFrame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = GsRegisterWheelMessage();

void PrepareTestFrame()
{
    g_TestFrame.Prepare(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
}
