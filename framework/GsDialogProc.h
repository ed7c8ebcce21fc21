#pragma once

#include <windows.h>

// The dialog procedure of every framework dialog. Finds the dialog by window in g_DialogList
// and routes the message to it; a message it leaves unhandled (or one for a window that no
// dialog has attached yet, such as WM_INITDIALOG) is routed to the list's current dialog with
// a fresh record. Returns the record's result of the route that handled it, else 0. Does
// nothing and returns 0 before the frame exists and after the list is destroyed.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
