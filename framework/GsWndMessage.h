#pragma once

#include <windows.h>

class CGsDialog;

// One window message on its way to a dialog's handlers. DialogProc builds a fresh record on
// its stack for each delivery; a handler gets a pointer to it and must not keep it after
// returning.
//
// A handler that returns nonzero has handled the message, and DialogProc then returns
// `result` to Windows (0 unless the handler stored another value, such as a brush for a
// colour message; 0 lets the system's default dialog processing run as well). A handler that
// returns 0 has not handled it.
class CGsWndMessage
{
public:
    CGsWndMessage(CGsDialog* target, HWND window, UINT number, WPARAM first, LPARAM second)
        : dialog(target), hwnd(window), message(number), wParam(first), lParam(second)
    {
    }
    virtual ~CGsWndMessage();

    CGsDialog* dialog; // the dialog the message is delivered to
    HWND hwnd;         // the window that received it
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    INT_PTR result = 0; // what DialogProc returns when a handler reports the message handled
};
