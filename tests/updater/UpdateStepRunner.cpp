// Does what the dialog's OK does (the target check, then the update step) and stops for good
// at a chosen step, after saying so through a ready file, so that a test can kill the process
// exactly there; with STEP 0 it runs to the end, as a rerun of the updater would.
//
// usage: gs_update_step_runner UPDATER TARGET STEP READY_FILE [nolinks]
//   UPDATER     program whose payload resources are used (loaded as a data file)
//   STEP        an UpdateStep value; 0 runs to the end
//   nolinks     behave as on a file system without hard links
// Exit code: 10 + the target's verdict (9 already updated, 10 wrong file, 12 in use) when
// there was nothing to update; otherwise 1 when the update was done, 0 when it failed; 2 for
// wrong arguments.

#include "ApplyUpdate.h"
#include "GsMessageBox.h"
#include "TargetCheck.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    if (argc != 5 && !(argc == 6 && std::strcmp(argv[5], "nolinks") == 0))
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
    SetUpdateUsesLinks(argc == 5);
    GsSetMessageBoxFunction(PrintBox);
    const int verdict = CheckTarget(argv[2]);
    if (verdict == TARGET_ALREADY_DONE)
    {
        TidyUpdateLeftovers(argv[2]);
    }
    if (verdict != TARGET_ELIGIBLE)
    {
        return 10 + verdict;
    }
    return ApplyUpdateFrom(updater, argv[2], nullptr);
}
