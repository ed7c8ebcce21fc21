#include "GsTestProcess.h"

#include <aclapi.h>
#include <sddl.h>

namespace gstest
{
namespace
{

constexpr DWORD POLL_MS = 20;

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
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
    return Start(Wide(program), Wide(arguments), Wide(workingDirectory));
}

int TestProcess::Start(const std::wstring& program, const std::wstring& arguments,
                       const std::wstring& workingDirectory)
{
    std::wstring commandLine =
        L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // A loaded wine now and then fails a start with ERROR_INTERNAL_ERROR: it is tried again.
    for (int attempt = 1; !CreateProcessW(
             program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
             workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info);
         ++attempt)
    {
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 4)
            return 0;
        Sleep(250);
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    id = info.dwProcessId;
    return 1;
}

int TestProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (process == nullptr || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return 0;
    return GetExitCodeProcess(process, exitCode) ? 1 : 0;
}

HWND TestProcess::WaitForWindow(DWORD timeoutMs, const std::function<bool(HWND)>& match) const
{
    const HWND window = gstest::WaitForWindow(id, timeoutMs, match, process);
    // A window may show while its initialisation still runs: read it once the program idles.
    WaitForInputIdle(process, window != nullptr ? timeoutMs : 0);
    return window;
}

HWND TestProcess::WaitForMessageBox(DWORD timeoutMs) const
{
    return WaitForWindow(timeoutMs, [](HWND window) { return !BoxText(window).empty(); });
}

void TestProcess::Terminate()
{
    if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
    {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, STEP_TIMEOUT_MS);
    }
}

HWND WaitForWindow(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)>& match,
                   HANDLE process)
{
    for (const DWORD start = GetTickCount();; Sleep(POLL_MS))
    {
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT))
        {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == processId && IsWindowVisible(window) && (!match || match(window)))
                return window;
        }
        if (GetTickCount() - start >= timeoutMs ||
            (process != nullptr && WaitForSingleObject(process, 0) != WAIT_TIMEOUT))
            return nullptr;
    }
}

std::wstring Wide(const std::string& text)
{
    std::wstring result(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0],
                                      static_cast<int>(result.size()));
    result.resize(n > 0 ? n - 1 : 0);
    return result;
}

std::string GetText(HWND window)
{
    char text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    return text;
}

std::string BoxText(HWND window)
{
    if (ClassOf(window) != "#32770")
        return std::string();
    std::string text;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    {
        const std::string name = ClassOf(child);
        if (name != "Button" && name != "Static")
            return std::string();
        if (name == "Static" && text.empty() &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            text = GetText(child);
    }
    return text;
}

int PressButton(HWND window, int id)
{
    HWND button = GetDlgItem(window, id);
    return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0) ? 1 : 0;
}

int WaitUntilGone(HWND window)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window) && GetTickCount() - start < STEP_TIMEOUT_MS)
        Sleep(POLL_MS);
    return IsWindow(window) ? 0 : 1;
}

int NameIsTaken(const char* name)
{
    HANDLE probe = CreateMutexA(nullptr, FALSE, name);
    const DWORD error = GetLastError();
    if (probe != nullptr)
        CloseHandle(probe);
    return probe == nullptr || error == ERROR_ALREADY_EXISTS ? 1 : 0;
}

DWORD MutexAccessGrantedTo(const char* name, const char* sid)
{
    PSID account = nullptr;
    HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, name);
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD granted = 0;
    if (mutex != nullptr && ConvertStringSidToSidA(sid, &account) &&
        GetSecurityInfo(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                        nullptr, &descriptor) == ERROR_SUCCESS &&
        list != nullptr)
    {
        for (DWORD i = 0; i < list->AceCount; ++i)
        {
            void* entry = nullptr;
            if (GetAce(list, i, &entry) &&
                static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE)
            {
                auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
                if (EqualSid(&allowed->SidStart, account))
                    granted |= allowed->Mask;
            }
        }
    }
    LocalFree(descriptor);
    LocalFree(account);
    if (mutex != nullptr)
        CloseHandle(mutex);
    return granted;
}

} // namespace gstest
