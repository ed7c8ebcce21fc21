#include "GsTestProcess.h"

#include "GsTestWindow.h"

namespace gstest
{
namespace
{

constexpr DWORD POLL_MS = 20;
constexpr int START_ATTEMPTS = 4;
constexpr DWORD START_RETRY_PAUSE_MS = 250;

struct WindowSearch
{
    DWORD processId;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window))
        search->windows->push_back(window);
    return TRUE;
}

} // namespace

TestProcess::~TestProcess()
{
    Terminate();
    if (process != nullptr)
        CloseHandle(process);
}

int TestProcess::Start(const std::string& program, const std::string& arguments,
                       const std::string& workingDirectory)
{
    if (process != nullptr)
    {
        SetLastError(ERROR_ALREADY_EXISTS);
        return 0;
    }
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const char* directory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
    // On a loaded machine wine now and then fails to bring up a new process at all and
    // reports ERROR_INTERNAL_ERROR; no process is left, and it says nothing about the
    // program, so such a start is tried again. Every other failure (missing file, bad
    // image, ...) is returned at once.
    for (int attempt = 1;; ++attempt)
    {
        if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                           directory, &startup, &info))
        {
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == START_ATTEMPTS)
        {
            SetLastError(error);
            return 0;
        }
        Sleep(START_RETRY_PAUSE_MS);
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    id = info.dwProcessId;
    return 1;
}

int TestProcess::IsRunning() const
{
    return process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT ? 1 : 0;
}

int TestProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (process == nullptr || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return 0;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    if (exitCode != nullptr)
        *exitCode = code;
    return 1;
}

int TestProcess::WaitForExitWatchingWindows(DWORD timeoutMs, DWORD* exitCode, int* sawWindow)
{
    int seen = 0;
    const DWORD start = GetTickCount();
    int ended = 0;
    for (;;)
    {
        if (!GetWindows().empty())
            seen = 1;
        if (WaitForExit(POLL_MS, exitCode))
        {
            ended = 1;
            break;
        }
        if (GetTickCount() - start >= timeoutMs)
            break;
    }
    if (sawWindow != nullptr)
        *sawWindow = seen;
    return ended;
}

std::vector<HWND> TestProcess::GetWindows() const
{
    std::vector<HWND> windows;
    if (id != 0)
    {
        WindowSearch search = {id, &windows};
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    }
    return windows;
}

HWND TestProcess::WaitForWindow(DWORD timeoutMs, const char* className, const char* caption) const
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        for (HWND window : GetWindows())
        {
            if ((className == nullptr || GetClass(window) == className) &&
                (caption == nullptr || GetText(window) == caption))
            {
                return window;
            }
        }
        if (GetTickCount() - start >= timeoutMs || (process != nullptr && !IsRunning()))
            return nullptr;
        Sleep(POLL_MS);
    }
}

HWND TestProcess::WaitForMessageBox(DWORD timeoutMs) const
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        for (HWND window : GetWindows())
        {
            if (IsMessageBox(window))
                return window;
        }
        if (GetTickCount() - start >= timeoutMs || (process != nullptr && !IsRunning()))
            return nullptr;
        Sleep(POLL_MS);
    }
}

void TestProcess::Terminate()
{
    if (IsRunning())
    {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, STEP_TIMEOUT_MS);
    }
}

} // namespace gstest
