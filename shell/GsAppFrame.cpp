#include "GsAppFrame.h"

#include <commctrl.h>

#include <cstdlib>
#include <ctime>

CGsAppFrame* g_pAppFrame = nullptr;

int GsCutAtLastBackslash(char* path)
{
    if (path == nullptr)
    {
        return 0;
    }
    // A forward scan is the only way to tell lead bytes from trail bytes: a byte 0x5C may be
    // the second half of a double-byte character, and only the scan from the start knows.
    char* last = nullptr;
    for (char* p = path; *p != '\0'; ++p)
    {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0')
        {
            ++p;
        }
        else if (*p == '\\' && p != path)
        {
            last = p;
        }
    }
    if (last == nullptr)
    {
        return 0;
    }
    *last = '\0';
    return 1;
}

CGsAppFrame::CGsAppFrame()
{
    g_pAppFrame = this;
    std::srand(static_cast<unsigned int>(std::time(nullptr)));
    InitCommonControls();
}

CGsAppFrame::~CGsAppFrame() = default;

int CGsAppFrame::OnStart()
{
    return 1;
}

int CGsAppFrame::OnExit()
{
    return 0;
}

int CGsAppFrame::Run(HINSTANCE instanceHandle, HINSTANCE previousInstance, LPSTR commandText,
                     int show)
{
    Prepare(instanceHandle, previousInstance, commandText, show);
    OnStart();
    // GetMessageA gives -1 on failure; looping on it would spin for ever, so only a positive
    // result goes on.
    MSG message;
    while (FetchMessage(&message) > 0)
    {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return OnExit();
}

int CGsAppFrame::FetchMessage(MSG* message)
{
    return GetMessageA(message, nullptr, 0, 0);
}

int CGsAppFrame::Prepare(HINSTANCE instanceHandle, HINSTANCE previousInstance, LPSTR commandText,
                         int show)
{
    instance = instanceHandle;
    previous = previousInstance;
    commandLine = commandText;
    showCommand = show;
    if (GetModuleDirectory(directory, GS_PATH_SIZE))
    {
        return 1;
    }
    const DWORD length = GetCurrentDirectoryA(GS_PATH_SIZE, directory);
    if (length == 0 || length >= static_cast<DWORD>(GS_PATH_SIZE))
    {
        // Too long for the buffer (nothing was written) or failed: an empty folder is
        // better than the module name left behind by GetModuleDirectory.
        directory[0] = '\0';
        return 0;
    }
    return 1;
}

int CGsAppFrame::GetModuleDirectory(char* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
    {
        return 0;
    }
    const DWORD length = GetModuleFileNameA(instance, buffer, static_cast<DWORD>(size));
    if (length == 0 || length >= static_cast<DWORD>(size))
    {
        // A cut-off name would give a wrong folder; older systems also leave it without
        // its NUL.
        buffer[size - 1] = '\0';
        return 0;
    }
    return GsCutAtLastBackslash(buffer);
}
