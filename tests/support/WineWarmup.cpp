// Creates and destroys one window, then exits. The first window of a wine session starts
// wine's desktop process, which inherits the standard handles of whoever caused it: run by
// the test scripts before ctest, it holds no pipe of a test and no test waits on it.

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return DestroyWindow(CreateWindowExA(0, "STATIC", "warm-up", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr))
               ? 0
               : 1;
}
