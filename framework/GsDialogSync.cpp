#include "GsDialogSync.h"

#include "GsAppFrame.h"
#include "GsDialogList.h"
#include "GsDialogProc.h"

CGsDialogSync::~CGsDialogSync() = default;

int CGsDialogSync::Create(HWND owner, int templateId)
{
    if (g_pAppFrame == nullptr || g_pAppFrame->instance == nullptr)
    {
        return 0;
    }
    g_DialogList.Add(this);
    hwndParent = owner;
    const INT_PTR result = DialogBoxParamA(
        g_pAppFrame->instance, MAKEINTRESOURCEA(templateId & 0xFFFF), owner, DialogProc, 0);
    // WM_NCDESTROY has normally removed the object already; a dialog that never got a window
    // has not.
    g_DialogList.Remove(this);
    return static_cast<int>(result);
}

int CGsDialogSync::OnInitDialog(CGsWndMessage* message)
{
    hwnd = message->hwnd;
    return 1;
}

int CGsDialogSync::OnClose(CGsWndMessage* message)
{
    EndDialog(message->hwnd, 0);
    return 1;
}
