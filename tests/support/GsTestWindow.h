#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gstest
{

// Reading and driving windows of another process (or of this one, from another thread or a
// timer). Texts are ANSI bytes of the code page both processes share. Every call that needs
// the other process to answer waits at most a couple of seconds, and gives an empty or
// failing result when it does not answer.

// The window's text (WM_GETTEXT), or "" when the window does not answer.
std::string GetText(HWND window);
// The window's class name ("Button", "#32770", ...).
std::string GetClass(HWND window);

struct ControlState
{
    HWND hwnd = nullptr;
    int id = 0;
    std::string className;
    std::string text;
    int enabled = 0;
    int visible = 0;
    LONG style = 0;
};

// The direct child windows of `window`, in Z order (template order for a dialog).
std::vector<ControlState> GetControls(HWND window);
// The direct child with control id `id`, or null.
HWND GetControl(HWND window, int id);

// Posts BM_CLICK to the button `controlId` of `window`, as a user's click would. Posting
// keeps the test free when the click opens a modal box. 1 when posted.
int PressButton(HWND window, int controlId);
// Posts WM_COMMAND with `commandId` (BN_CLICKED, and the control's handle when there is
// one). 1 when posted.
int PostCommand(HWND window, int commandId);
// Posts WM_SYSCOMMAND with `command` exactly. 1 when posted.
int PostSysCommand(HWND window, WPARAM command);
// Waits until the text of `window` equals `text`. 1 when it did within `timeoutMs`.
int WaitForText(HWND window, const std::string& text, DWORD timeoutMs);
// Waits until `window` no longer exists. 1 when gone within `timeoutMs`.
int WaitUntilGone(HWND window, DWORD timeoutMs);

// 1 when `window` looks like a system message box: a dialog ("#32770") whose children are
// only statics and buttons, with at least one button, all of them standard answer ids
// (IDOK ... IDCONTINUE).
int IsMessageBox(HWND window);

struct MessageBoxState
{
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons; // control ids, in Z order
    // What can be seen of the MB_ style: the button set (MB_OK, MB_OKCANCEL, MB_YESNO, ...)
    // combined with the icon (MB_ICONINFORMATION, MB_ICONERROR, MB_ICONWARNING,
    // MB_ICONQUESTION, or none). 0xFFFFFFFF when the buttons or the icon are unknown.
    UINT style = 0xFFFFFFFF;
};

// Reads caption, text, owner, buttons and style of the message box `box`. The icon is told by
// its pixels on the screen, compared with the system's icons (the box is raised to the top
// first; retried until `timeoutMs`). 1 when the box was read, 0 when it is not a message box.
int ReadMessageBox(HWND box, MessageBoxState* state, DWORD timeoutMs);

} // namespace gstest
