// A small program on the framework, for end-to-end tests of a modal dialog in its own process
// and of the UI driver that tests it. Exit code: the dialog's end value (OK ends with 7,
// SC_CLOSE with 0). Its buttons show an information box and a yes/no question; the answer's
// id appears in the result label.

#include "FrameworkTestIds.h"
#include "GsAppFrame.h"
#include "GsDialogList.h"
#include "GsDialogSync.h"
#include "GsMessageBox.h"
#include "GsWheelMessage.h"

#include <string>

namespace
{

constexpr int OK_END_CODE = 7;

class CAppDialog : public CGsDialogSync
{
public:
    int OnInitDialog(CGsWndMessage* message) override
    {
        CGsDialogSync::OnInitDialog(message);
        SetDlgItemTextA(hwnd, IDC_APP_NAME, "初期値");
        return 1;
    }
    int OnCommand(CGsWndMessage* message) override
    {
        switch (LOWORD(message->wParam))
        {
        case IDOK:
            EndDialog(message->hwnd, OK_END_CODE);
            return 1;
        case IDC_APP_MESSAGE:
            ShowAnswer(GsMessageBox(message->hwnd, "本日は晴天なり。\n二行目", "Info",
                                    MB_OK | MB_ICONINFORMATION));
            return 1;
        case IDC_APP_QUESTION:
            ShowAnswer(GsMessageBox(message->hwnd, "続けますか？", "Question",
                                    MB_YESNO | MB_ICONQUESTION));
            return 1;
        default:
            return 0;
        }
    }

private:
    void ShowAnswer(int answer)
    {
        SetDlgItemTextA(hwnd, IDC_APP_RESULT, std::to_string(answer).c_str());
    }
};

class CAppFrame : public CGsAppFrame
{
public:
    int OnStart() override
    {
        CAppDialog dialog;
        endCode = dialog.Create(nullptr, IDD_APP);
        PostQuitMessage(0);
        return 1;
    }
    int OnExit() override { return endCode; }

private:
    int endCode = -1;
};

} // namespace

CAppFrame g_AppFrame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = GsRegisterWheelMessage();

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    return g_pAppFrame->Run(instance, previous, commandLine, showCommand);
}
