#pragma once

#include "GsAppFrame.h"

// The updater's frame. Its run sequence takes the two instance guards before anything is
// shown, calls OnStart and returns the exit code; there is no message loop of its own.
class CMainAppFrame : public CGsAppFrame
{
public:
    CMainAppFrame() = default;
    ~CMainAppFrame() override;

    // 1. Prepare. 2. The updater's own guard: not obtained (another copy runs, or the mutex
    // cannot be made) ends the run silently with 0. 3. The application's guard: not obtained
    // shows the running-application message and ends with 0. 4. OnStart: nonzero gives
    // OnExit's result, zero gives -1 (OnExit still runs). The application's guard is released
    // before the updater's own, on every path.
    int Run(HINSTANCE instanceHandle, HINSTANCE previousInstance, LPSTR commandText,
            int show) override;
    // Runs the update dialog modally and returns 1 once it has closed.
    int OnStart() override;
};
