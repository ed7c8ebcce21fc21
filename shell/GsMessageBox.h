#pragma once

#include <windows.h>

// The one way the program shows a message box. The program always gets MessageBoxA; a test
// may put a recorder in its place to see the exact text, caption and style of each box.

// Same arguments and result as MessageBoxA.
using GsMessageBoxFunction = int (*)(HWND owner, const char* text, const char* caption, UINT style);

// Shows a modal message box through the installed function (MessageBoxA by default) and
// returns the id of the button that closed it, or 0 when the box could not be shown.
int GsMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// Test seam: installs `function` in place of MessageBoxA (null restores MessageBoxA) and
// returns the function that was installed before.
GsMessageBoxFunction GsSetMessageBoxFunction(GsMessageBoxFunction function);
