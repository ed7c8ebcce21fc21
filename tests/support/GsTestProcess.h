#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The UI driver: starts programs, finds their windows, reads and presses their controls.
namespace gstest
{

// Bound of one UI step (a window to appear, a process to end), for a cold wine process.
constexpr DWORD STEP_TIMEOUT_MS = 5000;

// A program started by a test. The destructor terminates a process that still runs.
class TestProcess
{
public:
    TestProcess() = default;
    ~TestProcess();
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;

    // Runs `"program" arguments` in `workingDirectory` (empty: the test's own). 1 on success.
    int Start(const std::string& program, const std::string& arguments = std::string(),
              const std::string& workingDirectory = std::string());
    // The same with everything in its wide form (names the ANSI code page cannot carry).
    int Start(const std::wstring& program, const std::wstring& arguments,
              const std::wstring& workingDirectory);
    // 1 when the process has ended within `timeoutMs`; its exit code goes to *exitCode.
    int WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    // The free WaitForWindow, returning once the program idles. A message box: see BoxText.
    HWND WaitForWindow(DWORD timeoutMs, const std::function<bool(HWND)>& match = nullptr) const;
    HWND WaitForMessageBox(DWORD timeoutMs) const;
    void Terminate();

private:
    HANDLE process = nullptr;
    DWORD id = 0;
};

// A visible top-level window of process `processId` that `match` accepts (null: any); null
// once `timeoutMs` has passed or `process` (when given) has ended.
HWND WaitForWindow(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)>& match,
                   HANDLE process = nullptr);
std::string GetText(HWND window); // WM_GETTEXT, also across processes; "" when it hangs
// The text of a message box (a dialog of statics and buttons only); "" for other windows.
std::string BoxText(HWND window);
// Posts BM_CLICK to the control `id` (posted: a modal box it opens holds no test). 1: posted.
int PressButton(HWND window, int id);
std::wstring Wide(const std::string& text); // from the ANSI code page; "" when it cannot be
int WaitUntilGone(HWND window);             // 1 when gone within the step time
int NameIsTaken(const char* name);          // 1 when a mutex of that name exists, else 0
// The rights the access list of the mutex `name` grants the account `sid` ("S-1-5-11") by its
// own entries; 0 when none, or when it has no access list (wine's without security attributes).
DWORD MutexAccessGrantedTo(const char* name, const char* sid);

} // namespace gstest
