#pragma once

#include "GsDialog.h"
#include "GsDialogSync.h"

#include <set>
#include <string>
#include <vector>

// One handler call as the recording dialog saw it.
struct HandlerCall
{
    std::string handler;
    CGsWndMessage* record;
    CGsDialog* dialog;
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    INT_PTR resultAtEntry;
    HWND attachedAtEntry; // the dialog's own hwnd when the handler was called
};

// A dialog (Base: CGsDialog or CGsDialogSync) that records every handler call. A handler
// named in `forward` runs the base's handler; every other one stores `storedResult` in the
// record and returns `handled`.
template <class Base> class TRecordingDialog : public Base
{
public:
    int OnCreated() override
    {
        ++createdCalls;
        attachedAtCreated = this->hwnd;
        return Base::OnCreated();
    }
    int OnGetMinMaxInfo(CGsWndMessage* m) override
    {
        return Handle("OnGetMinMaxInfo", m, [this, m] { return Base::OnGetMinMaxInfo(m); });
    }
    int OnInitDialog(CGsWndMessage* m) override
    {
        return Handle("OnInitDialog", m, [this, m] { return Base::OnInitDialog(m); });
    }
    int OnSysCommand(CGsWndMessage* m) override
    {
        return Handle("OnSysCommand", m, [this, m] { return Base::OnSysCommand(m); });
    }
    int OnClose(CGsWndMessage* m) override
    {
        return Handle("OnClose", m, [this, m] { return Base::OnClose(m); });
    }
    int OnCommand(CGsWndMessage* m) override
    {
        return Handle("OnCommand", m, [this, m] { return Base::OnCommand(m); });
    }
    int OnActivate(CGsWndMessage* m) override
    {
        return Handle("OnActivate", m, [this, m] { return Base::OnActivate(m); });
    }
    int OnNcActivate(CGsWndMessage* m) override
    {
        return Handle("OnNcActivate", m, [this, m] { return Base::OnNcActivate(m); });
    }
    int OnActivateApp(CGsWndMessage* m) override
    {
        return Handle("OnActivateApp", m, [this, m] { return Base::OnActivateApp(m); });
    }
    int OnPaint(CGsWndMessage* m) override
    {
        return Handle("OnPaint", m, [this, m] { return Base::OnPaint(m); });
    }
    int OnSize(CGsWndMessage* m) override
    {
        return Handle("OnSize", m, [this, m] { return Base::OnSize(m); });
    }
    int OnEraseBkgnd(CGsWndMessage* m) override
    {
        return Handle("OnEraseBkgnd", m, [this, m] { return Base::OnEraseBkgnd(m); });
    }
    int OnMouseMove(CGsWndMessage* m) override
    {
        return Handle("OnMouseMove", m, [this, m] { return Base::OnMouseMove(m); });
    }
    int OnVScroll(CGsWndMessage* m) override
    {
        return Handle("OnVScroll", m, [this, m] { return Base::OnVScroll(m); });
    }
    int OnHScroll(CGsWndMessage* m) override
    {
        return Handle("OnHScroll", m, [this, m] { return Base::OnHScroll(m); });
    }
    int OnNotify(CGsWndMessage* m) override
    {
        return Handle("OnNotify", m, [this, m] { return Base::OnNotify(m); });
    }
    int OnDropFiles(CGsWndMessage* m) override
    {
        return Handle("OnDropFiles", m, [this, m] { return Base::OnDropFiles(m); });
    }
    int OnDestroy(CGsWndMessage* m) override
    {
        return Handle("OnDestroy", m, [this, m] { return Base::OnDestroy(m); });
    }
    int OnNcDestroy(CGsWndMessage* m) override
    {
        return Handle("OnNcDestroy", m, [this, m] { return Base::OnNcDestroy(m); });
    }
    int OnSetCursor(CGsWndMessage* m) override
    {
        return Handle("OnSetCursor", m, [this, m] { return Base::OnSetCursor(m); });
    }
    int OnCtlColorBtn(CGsWndMessage* m) override
    {
        return Handle("OnCtlColorBtn", m, [this, m] { return Base::OnCtlColorBtn(m); });
    }
    int OnCtlColorStatic(CGsWndMessage* m) override
    {
        return Handle("OnCtlColorStatic", m, [this, m] { return Base::OnCtlColorStatic(m); });
    }
    int OnCtlColorEdit(CGsWndMessage* m) override
    {
        return Handle("OnCtlColorEdit", m, [this, m] { return Base::OnCtlColorEdit(m); });
    }

    // Names of the handlers called, in order.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const HandlerCall& call : calls)
        {
            names.push_back(call.handler);
        }
        return names;
    }

    std::vector<HandlerCall> calls;
    int createdCalls = 0;
    HWND attachedAtCreated = nullptr;
    std::set<std::string> forward;
    int handled = 1;
    INT_PTR storedResult = 0;

private:
    // `base` runs the base class's handler (a direct, non-virtual call).
    template <class BaseHandler> int Handle(const char* name, CGsWndMessage* m, BaseHandler base)
    {
        calls.push_back(
            {name, m, m->dialog, m->hwnd, m->message, m->wParam, m->lParam, m->result, this->hwnd});
        if (forward.count(name) != 0)
        {
            return base();
        }
        m->result = storedResult;
        return handled;
    }
};

using CRecordingDialog = TRecordingDialog<CGsDialog>;
using CRecordingDialogSync = TRecordingDialog<CGsDialogSync>;
