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
    const int found = GetModuleDirectory(directory, GS_PATH_SIZE);
    if (found != 0)
    {
        // A folder the ANSI code page cannot name exactly: no folder rather than the
        // neighbour its best-fit form names.
        return found > 0 ? 1 : (directory[0] = '\0', 0);
    }
    wchar_t current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH || !GsToExactAnsi(current, directory, GS_PATH_SIZE))
    {
        // Too long, failed, or not carried exactly: an empty folder is better than the
        // module name left behind by GetModuleDirectory.
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
    // Read wide and converted without best fit: the ANSI function would turn a "¥" into the
    // separator "\\" and name another folder.
    wchar_t name[MAX_PATH];
    const DWORD length = GetModuleFileNameW(instance, name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
    {
        buffer[0] = '\0';
        return 0;
    }
    if (!GsToExactAnsi(name, buffer, size))
    {
        // A cut-off name would give a wrong folder; an inexact one another folder.
        buffer[0] = '\0';
        return WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr) > size ? 0
                                                                                             : -1;
    }
    return GsCutAtLastBackslash(buffer);
}

int GsToExactAnsi(const wchar_t* wide, char* buffer, int size)
{
    if (wide == nullptr || buffer == nullptr || size <= 0)
    {
        return 0;
    }
    BOOL usedDefault = FALSE;
    const int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, size,
                                            nullptr, &usedDefault);
    if (written == 0 || usedDefault)
    {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}
