#pragma once

#include "GsDialog.h"

// A modal dialog. Create runs the system's modal loop and returns when the dialog has ended;
// OnInitDialog attaches the window, and a derived OnInitDialog must call this one first.
class CGsDialogSync : public CGsDialog
{
public:
    CGsDialogSync() = default;
    ~CGsDialogSync() override;

    // Runs the dialog from template `templateId` (low 16 bits) with owner `owner` (may be
    // null). Returns the value given to EndDialog (0 when ended by OnClose), or
    // DialogBoxParamA's failure value (-1 for a missing template); 0 without a window when
    // the frame has no module. The object is out of the list when Create returns.
    int Create(HWND owner, int templateId) override;
    // Attaches hwnd to the record's window. 1.
    int OnInitDialog(CGsWndMessage* message) override;
    // Ends the dialog with 0. 1.
    int OnClose(CGsWndMessage* message) override;
};
