#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gstest
{

// Bound of one UI step (a window to appear, a process to end): long enough for a cold wine
// process, short enough that a broken program fails its test instead of hanging the run.
constexpr DWORD STEP_TIMEOUT_MS = 5000;

// A program started by a test. Not copyable: it owns the process handle. The destructor
// terminates a process that is still running, so a failing test leaves nothing behind.
class TestProcess
{
public:
    TestProcess() = default;
    ~TestProcess();
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;

    // Starts `program` (a Windows path) with the command line `"program" arguments`, in
    // `workingDirectory` (empty: the test's own). 1 on success; 0 on failure, with the
    // reason in GetLastError.
    int Start(const std::string& program, const std::string& arguments = std::string(),
              const std::string& workingDirectory = std::string());
    int IsRunning() const;

    // 1 when the process has ended within `timeoutMs`; its exit code goes to *exitCode.
    int WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    // As WaitForExit; *sawWindow becomes 1 when a visible top-level window of the process
    // was seen while waiting (checked every few milliseconds), else 0.
    int WaitForExitWatchingWindows(DWORD timeoutMs, DWORD* exitCode, int* sawWindow);

    // The visible top-level windows of the process, in Z order.
    std::vector<HWND> GetWindows() const;
    // Waits for a visible top-level window of the process whose class and caption equal the
    // given ones (null: any). The window, or null after `timeoutMs`.
    HWND WaitForWindow(DWORD timeoutMs, const char* className = nullptr,
                       const char* caption = nullptr) const;
    // Waits for a message box of the process (see IsMessageBox). The box, or null.
    HWND WaitForMessageBox(DWORD timeoutMs) const;

    // Ends a running process at once and waits for it briefly.
    void Terminate();

private:
    HANDLE process = nullptr;
    DWORD id = 0;
};

} // namespace gstest
