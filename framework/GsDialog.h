#pragma once

#include "GsWindowBase.h"
#include "GsWndMessage.h"

#include <windows.h>

// A modeless dialog made from a dialog template in the frame's module. Every message of the
// window reaches DialogProc, which finds this object through g_DialogList and passes the
// message to RouteMessage; the router calls the handler for the message number.
//
// Handlers: take the message record, return nonzero when they handled the message (see
// CGsWndMessage for what DialogProc then returns) and 0 when not. A message that the
// object's own handler leaves unhandled is offered once more to the list's current dialog, so
// a handler of the current dialog can run twice for one message: handlers with side effects
// return nonzero. Overrides call the base where the base does work (OnInitDialog of
// CGsDialogSync, OnSysCommand, OnClose, OnNcDestroy).
//
// The owner keeps the object alive until its window is destroyed (OnNcDestroy detaches it
// from the list); the destructor does not touch the list.
class CGsDialog : public CGsWindowBase
{
public:
    CGsDialog() = default;
    ~CGsDialog() override;

    // Modeless creation from template `templateId` (its low 16 bits) with owner `owner`
    // (may be null). Registers the object as the current dialog, creates the window, calls
    // OnCreated (also after a failure). 1 when the window exists; 0 when it could not be
    // created (the object then leaves the list again) or when the frame has no module
    // (nothing is touched).
    virtual int Create(HWND owner, int templateId);
    // Called by the modeless Create once the window is made or has failed. Default: 1.
    virtual int OnCreated();

    // Handlers, in the order of the router's table. Defaults return 0 unless noted.
    virtual int OnGetMinMaxInfo(CGsWndMessage* message);
    virtual int OnInitDialog(CGsWndMessage* message);
    // SC_CLOSE exactly (the whole wParam, low bits included): OnClose, then 1. Else 0.
    virtual int OnSysCommand(CGsWndMessage* message);
    // Reached from OnSysCommand only. Default: destroys the window, 1.
    virtual int OnClose(CGsWndMessage* message);
    virtual int OnCommand(CGsWndMessage* message);
    virtual int OnActivate(CGsWndMessage* message);
    virtual int OnNcActivate(CGsWndMessage* message);
    virtual int OnActivateApp(CGsWndMessage* message);
    virtual int OnPaint(CGsWndMessage* message);
    virtual int OnSize(CGsWndMessage* message);
    virtual int OnEraseBkgnd(CGsWndMessage* message);
    virtual int OnMouseMove(CGsWndMessage* message);
    virtual int OnVScroll(CGsWndMessage* message);
    virtual int OnHScroll(CGsWndMessage* message);
    virtual int OnNotify(CGsWndMessage* message);
    virtual int OnDropFiles(CGsWndMessage* message);
    virtual int OnDestroy(CGsWndMessage* message);
    // Detaches: hwnd and hwndParent become null and the object leaves the list. 0.
    virtual int OnNcDestroy(CGsWndMessage* message);
    virtual int OnSetCursor(CGsWndMessage* message);
    virtual int OnCtlColorBtn(CGsWndMessage* message);
    virtual int OnCtlColorStatic(CGsWndMessage* message);
    virtual int OnCtlColorEdit(CGsWndMessage* message);

    // Calls the handler for message->message and returns its result. Messages without a
    // handler get result 0 and return 0.
    virtual int RouteMessage(CGsWndMessage* message);

    HWND hwnd = nullptr;       // the attached window; null before and after its life
    HWND hwndParent = nullptr; // the owner given to Create
};
