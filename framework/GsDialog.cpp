#include "GsDialog.h"

#include "GsAppFrame.h"
#include "GsDialogList.h"
#include "GsDialogProc.h"

CGsDialog::~CGsDialog() = default;

int CGsDialog::Create(HWND owner, int templateId)
{
    if (g_pAppFrame == nullptr || g_pAppFrame->instance == nullptr)
    {
        return 0;
    }
    g_DialogList.Add(this);
    hwndParent = owner;
    hwnd = CreateDialogParamA(g_pAppFrame->instance, MAKEINTRESOURCEA(templateId & 0xFFFF), owner,
                              DialogProc, 0);
    OnCreated();
    if (hwnd == nullptr)
    {
        // No window means no WM_NCDESTROY to take the object out again; left in, it would
        // stay the current dialog after its owner has deleted it.
        g_DialogList.Remove(this);
        return 0;
    }
    return 1;
}

int CGsDialog::OnCreated()
{
    return 1;
}

int CGsDialog::OnGetMinMaxInfo(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnInitDialog(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnSysCommand(CGsWndMessage* message)
{
    // The whole value is compared: the system uses the low four bits of a system command
    // internally, and only the plain close command closes the dialog.
    if (message->wParam == SC_CLOSE)
    {
        OnClose(message);
        return 1;
    }
    return 0;
}

int CGsDialog::OnClose(CGsWndMessage* message)
{
    DestroyWindow(message->hwnd);
    return 1;
}

int CGsDialog::OnCommand(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnActivate(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnNcActivate(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnActivateApp(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnPaint(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnSize(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnEraseBkgnd(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnMouseMove(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnVScroll(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnHScroll(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnNotify(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnDropFiles(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnDestroy(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnNcDestroy(CGsWndMessage*)
{
    hwnd = nullptr;
    hwndParent = nullptr;
    if (g_pAppFrame != nullptr)
    {
        g_DialogList.Remove(this);
    }
    return 0;
}

int CGsDialog::OnSetCursor(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnCtlColorBtn(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnCtlColorStatic(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::OnCtlColorEdit(CGsWndMessage*)
{
    return 0;
}

int CGsDialog::RouteMessage(CGsWndMessage* message)
{
    // clang-format off
    switch (message->message)
    {
    case WM_GETMINMAXINFO:  return OnGetMinMaxInfo(message);
    case WM_INITDIALOG:     return OnInitDialog(message);
    case WM_SYSCOMMAND:     return OnSysCommand(message);
    case WM_COMMAND:        return OnCommand(message);
    case WM_ACTIVATE:       return OnActivate(message);
    case WM_NCACTIVATE:     return OnNcActivate(message);
    case WM_ACTIVATEAPP:    return OnActivateApp(message);
    case WM_PAINT:          return OnPaint(message);
    case WM_SIZE:           return OnSize(message);
    case WM_ERASEBKGND:     return OnEraseBkgnd(message);
    case WM_MOUSEMOVE:      return OnMouseMove(message);
    case WM_VSCROLL:        return OnVScroll(message);
    case WM_HSCROLL:        return OnHScroll(message);
    case WM_NOTIFY:         return OnNotify(message);
    case WM_DROPFILES:      return OnDropFiles(message);
    case WM_DESTROY:        return OnDestroy(message);
    case WM_NCDESTROY:      return OnNcDestroy(message);
    case WM_SETCURSOR:      return OnSetCursor(message);
    case WM_CTLCOLORBTN:    return OnCtlColorBtn(message);
    case WM_CTLCOLORSTATIC: return OnCtlColorStatic(message);
    case WM_CTLCOLOREDIT:   return OnCtlColorEdit(message);
    default:                message->result = 0; return 0;
    }
    // clang-format on
}
