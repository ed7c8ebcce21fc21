// The updater's static objects and its entry function.
//
// The framework needs its objects built in one order: the frame (it sets g_pAppFrame, which
// the others read), then the dialog list, then the wheel-message registration; at exit the
// list must go before the frame. C++ orders dynamic initialisation only within one
// translation unit, so all three are defined here, in that order, and destroyed in reverse.

#include "GsDialogList.h"
#include "GsWheelMessage.h"
#include "MainAppFrame.h"

CMainAppFrame g_MainAppFrame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = GsRegisterWheelMessage();

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    return g_pAppFrame->Run(instance, previous, commandLine, showCommand);
}
