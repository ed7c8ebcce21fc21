#include "GsDialogProc.h"

#include "GsAppFrame.h"
#include "GsDialog.h"
#include "GsDialogList.h"

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // At exit the list is destroyed before the frame, while windows may still get messages.
    if (g_pAppFrame == nullptr || !g_bDialogListAlive)
    {
        return 0;
    }
    if (CGsDialog* dialog = g_DialogList.FindByWindow(window))
    {
        CGsWndMessage record(dialog, window, message, wParam, lParam);
        if (dialog->RouteMessage(&record))
        {
            return record.result;
        }
    }
    // Messages sent while a dialog is being created (WM_INITDIALOG among them) come before it
    // knows its window: they belong to the dialog registered last. A fresh record keeps a
    // result left by the first offer from leaking into the second.
    if (CGsDialog* dialog = g_DialogList.GetCurrent())
    {
        CGsWndMessage record(dialog, window, message, wParam, lParam);
        if (dialog->RouteMessage(&record))
        {
            return record.result;
        }
    }
    return 0;
}
