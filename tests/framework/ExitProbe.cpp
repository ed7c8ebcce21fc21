// A program that checks the framework's order of static objects, and what DialogProc does
// once the dialog list is gone. Exit code 0 when all holds; otherwise the code says what
// failed (see the codes below). Its witness object is built before the frame and so ends
// after everything else.

#include "GsAppFrame.h"
#include "GsDialog.h"
#include "GsDialogList.h"
#include "GsDialogProc.h"
#include "GsWheelMessage.h"

#include <cstdlib>

namespace
{

enum ExitCode : int
{
    EXIT_ALL_HELD = 0,
    EXIT_WITNESS_NEVER_RAN = 10,   // static destruction did not reach the witness
    EXIT_WRONG_BUILD_ORDER = 20,   // frame, list and wheel registration were not in order
    EXIT_NO_ROUTING = 21,          // DialogProc did not route while the list was alive
    EXIT_LIST_OUTLIVED_FRAME = 30, // the frame ended while the list was alive
    EXIT_ROUTED_AFTER_LIST = 31,   // DialogProc ran a handler after the list had ended
};

const HWND PROBE_WINDOW = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x0BAD0100));
constexpr INT_PTR PROBE_RESULT = 42;

int g_listAliveAtFrameBuild = -1;
int g_listAliveAtFrameEnd = -1;
int g_listAliveAtWheel = -1;
int g_mainHeld = 0;

class CCountingDialog : public CGsDialog
{
public:
    int OnCommand(CGsWndMessage* message) override
    {
        ++commands;
        message->result = PROBE_RESULT;
        return 1;
    }
    int commands = 0;
};

class CWitnessFrame : public CGsAppFrame
{
public:
    CWitnessFrame() { g_listAliveAtFrameBuild = g_bDialogListAlive; }
    ~CWitnessFrame() override { g_listAliveAtFrameEnd = g_bDialogListAlive; }
};

CCountingDialog g_Dialog; // outlives the witness

class CExitWitness
{
public:
    ~CExitWitness()
    {
        if (!g_mainHeld)
        {
            return; // keep WinMain's code
        }
        if (g_listAliveAtFrameEnd != 0)
            std::_Exit(EXIT_LIST_OUTLIVED_FRAME);
        if (DialogProc(PROBE_WINDOW, WM_COMMAND, 0, 0) != 0 || g_Dialog.commands != 1)
            std::_Exit(EXIT_ROUTED_AFTER_LIST);
        std::_Exit(EXIT_ALL_HELD);
    }
};

unsigned int RegisterWheelMessageAfterList()
{
    g_listAliveAtWheel = g_bDialogListAlive;
    return GsRegisterWheelMessage();
}

} // namespace

CExitWitness g_Witness;
CWitnessFrame g_Frame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = RegisterWheelMessageAfterList();

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    g_Frame.Prepare(instance, previous, commandLine, showCommand);
    if (g_listAliveAtFrameBuild != 0 || g_listAliveAtWheel != 1)
        return EXIT_WRONG_BUILD_ORDER;
    g_Dialog.hwnd = PROBE_WINDOW;
    g_DialogList.Add(&g_Dialog);
    if (DialogProc(PROBE_WINDOW, WM_COMMAND, 0, 0) != PROBE_RESULT || g_Dialog.commands != 1)
        return EXIT_NO_ROUTING;
    // The dialog stays listed on purpose: the list ends with it inside.
    g_mainHeld = 1;
    return EXIT_WITNESS_NEVER_RAN;
}
