#pragma once

#include "GsDialogSync.h"

#include <string>

// The updater's one window (template IDD_UPDATE): shows the executable to update, lets the
// user choose another one with "変更", and on OK runs the version and size checks, the update
// step and the message that reports the outcome. Every path ends the dialog with code 0.
class CMainDialog : public CGsDialogSync
{
public:
    CMainDialog() = default;
    ~CMainDialog() override;

    // Runs the dialog modally, without an owner, and returns 1 once it has ended.
    int Execute();

    // Centres the dialog on the screen, and fills the path edit and enables OK when
    // "Larkspurgleam.exe" in the program's folder can be opened (else both stay empty and
    // disabled). Leaves the result at 0, so no control gets the focus by default. 1.
    int OnInitDialog(CGsWndMessage* message) override;
    // OK: checks and updates the path in the edit; Cancel: ends the dialog; "変更": the
    // Open-File dialog. Sets the record's result to 0. 1.
    int OnCommand(CGsWndMessage* message) override;

    // Full path of the executable to update (ANSI); empty until the default target opens or
    // OK copies the edit into it.
    std::string m_strTargetPath;

private:
    void OnOk(HWND window);
    void OnChange(HWND window);
};
