// Runs the update step on a target and stops for good at a chosen step, after saying so
// through a ready file, so that a test can kill the process exactly there.
//
// usage: gs_update_step_runner UPDATER TARGET STEP READY_FILE
//   UPDATER     program whose payload resource is used (loaded as a data file)
//   STEP        an UpdateStep value; 0 runs the step to its end
// Exit code: 1 when the update was done, 0 when it failed, 2 for wrong arguments.

#include "ApplyUpdate.h"
#include "GsMessageBox.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

int g_nStopStep = 0;
std::string g_strReadyFile;

void StopHere(int step)
{
    if (step != g_nStopStep)
    {
        return;
    }
    HANDLE ready = CreateFileA(g_strReadyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE)
    {
        CloseHandle(ready);
    }
    for (;;)
    {
        Sleep(1000);
    }
}

// A console helper must never wait for someone to close a box.
int PrintBox(HWND, const char* text, const char* caption, UINT)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return IDOK;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        return 2;
    }
    HMODULE updater = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (updater == nullptr)
    {
        return 2;
    }
    g_nStopStep = std::atoi(argv[3]);
    g_strReadyFile = argv[4];
    SetUpdateStepHook(StopHere);
    GsSetMessageBoxFunction(PrintBox);
    return ApplyUpdateFrom(updater, argv[2], nullptr);
}
