// Dialogs with real windows, made from this test program's own templates.

#include "FrameworkTestIds.h"
#include "GsDialogList.h"
#include "RecordingDialog.h"
#include "TestObjects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

constexpr int TEST_END_CODE = 42;
constexpr int TIMED_OUT = -99;
constexpr UINT SAFETY_TIMEOUT_MS = 5000;
constexpr UINT_PTR SAFETY_TIMER = 1;

struct Posted
{
    UINT message;
    WPARAM wParam;
};

void CALLBACK EndOnTimeout(HWND window, UINT, UINT_PTR, DWORD)
{
    // Timer procedures are called by the message loop, whatever the router does.
    EndDialog(window, TIMED_OUT);
}

// A modal dialog that, once initialised, posts itself `script` and ends with TEST_END_CODE on
// IDC_TEST_END; a timer ends it with TIMED_OUT should it hang.
class CScriptedDialog : public CRecordingDialogSync
{
public:
    CScriptedDialog()
    {
        forward = {"OnInitDialog", "OnSysCommand", "OnClose", "OnNcDestroy"};
        handled = 0;
    }
    int OnInitDialog(CGsWndMessage* m) override
    {
        const int result = CRecordingDialogSync::OnInitDialog(m);
        SetTimer(m->hwnd, SAFETY_TIMER, SAFETY_TIMEOUT_MS, EndOnTimeout);
        for (const Posted& posted : script)
        {
            PostMessageA(m->hwnd, posted.message, posted.wParam, 0);
        }
        window = m->hwnd;
        return result;
    }
    int OnCommand(CGsWndMessage* m) override
    {
        CRecordingDialogSync::OnCommand(m);
        if (LOWORD(m->wParam) == IDC_TEST_END)
        {
            EndDialog(m->hwnd, TEST_END_CODE);
            return 1;
        }
        return 0;
    }
    int Count(const char* handler) const
    {
        const auto names = Names();
        return static_cast<int>(std::count(names.begin(), names.end(), handler));
    }
    const HandlerCall* First(const char* handler) const
    {
        for (const HandlerCall& call : calls)
        {
            if (call.handler == handler)
            {
                return &call;
            }
        }
        return nullptr;
    }

    std::vector<Posted> script;
    HWND window = nullptr;
};

int IsListed(const CGsDialog* dialog)
{
    for (int i = 0; i < g_DialogList.GetCount(); ++i)
    {
        if (g_DialogList.GetAt(i) == dialog)
        {
            return 1;
        }
    }
    return 0;
}

BOOL CALLBACK CountDialogWindow(HWND window, LPARAM count)
{
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770")
    {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

// Dialog windows of this thread, shown or not.
int ThreadDialogCount()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountDialogWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

class DialogWindow : public testing::Test
{
protected:
    void SetUp() override { PrepareTestFrame(); }
    void TearDown() override { PrepareTestFrame(); }
};

TEST_F(DialogWindow, ModalCreateAttachesAndReturnsTheEndDialogValue)
{
    CScriptedDialog dialog;
    dialog.script = {{WM_COMMAND, IDC_TEST_END}};
    EXPECT_EQ(TEST_END_CODE, dialog.Create(nullptr, IDD_TEST_ROUTING));

    // WM_INITDIALOG came before the window was attached: through the current dialog.
    const HandlerCall* init = dialog.First("OnInitDialog");
    ASSERT_NE(nullptr, init);
    EXPECT_EQ(nullptr, init->attachedAtEntry);
    EXPECT_EQ(1, dialog.Count("OnInitDialog"));
    const HandlerCall* command = dialog.First("OnCommand");
    ASSERT_NE(nullptr, command);
    EXPECT_EQ(dialog.window, command->attachedAtEntry);
    EXPECT_EQ(0, dialog.createdCalls) << "the modal Create does not call OnCreated";

    EXPECT_EQ(1, dialog.Count("OnNcDestroy"));
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_FALSE(IsWindow(dialog.window));
    EXPECT_FALSE(IsListed(&dialog));
}

TEST_F(DialogWindow, ModalCreateOfAMissingTemplateGivesMinusOneAndLeavesTheList)
{
    CScriptedDialog dialog;
    EXPECT_EQ(-1, dialog.Create(nullptr, IDD_TEST_MISSING));
    EXPECT_TRUE(dialog.calls.empty());
    EXPECT_FALSE(IsListed(&dialog));
    EXPECT_EQ(0, ThreadDialogCount());
}

TEST_F(DialogWindow, CloseCommandEndsTheModalDialogWithZero)
{
    CScriptedDialog dialog;
    dialog.script = {{WM_SYSCOMMAND, SC_CLOSE}};
    EXPECT_EQ(0, dialog.Create(nullptr, IDD_TEST_ROUTING));
    EXPECT_EQ(1, dialog.Count("OnClose"));
}

TEST_F(DialogWindow, CloseCommandWithALowBitSetDoesNotCloseTheDialog)
{
    CScriptedDialog dialog;
    dialog.script = {{WM_SYSCOMMAND, 0xF061}, {WM_COMMAND, IDC_TEST_END}};
    EXPECT_EQ(TEST_END_CODE, dialog.Create(nullptr, IDD_TEST_ROUTING));
    EXPECT_LE(1, dialog.Count("OnSysCommand"));
    EXPECT_EQ(0, dialog.Count("OnClose"));
}

TEST_F(DialogWindow, InitDialogWithoutTheBaseLeavesTheDialogServedAsCurrentOnly)
{
    CScriptedDialog dialog;
    dialog.forward.erase("OnInitDialog");
    dialog.handled = 1; // OnInitDialog handled without attaching
    dialog.script = {{WM_COMMAND, IDC_TEST_END}};
    EXPECT_EQ(TEST_END_CODE, dialog.Create(nullptr, IDD_TEST_ROUTING));
    const HandlerCall* command = dialog.First("OnCommand");
    ASSERT_NE(nullptr, command);
    EXPECT_EQ(nullptr, command->attachedAtEntry);
    EXPECT_EQ(dialog.window, command->hwnd);
    EXPECT_FALSE(IsListed(&dialog));
}

TEST_F(DialogWindow, ModelessCreateAttachesAndTheDialogLeavesTheListWhenDestroyed)
{
    CRecordingDialog dialog;
    dialog.forward = {"OnSysCommand", "OnClose", "OnNcDestroy"};
    ASSERT_EQ(1, dialog.Create(nullptr, IDD_TEST_ROUTING));
    const HWND window = dialog.hwnd;
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(1, dialog.createdCalls);
    EXPECT_EQ(window, dialog.attachedAtCreated);
    EXPECT_EQ(&dialog, g_DialogList.FindByWindow(window));
    EXPECT_EQ(&dialog, g_DialogList.GetCurrent());

    // SC_CLOSE on a modeless dialog destroys its window.
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_EQ(nullptr, g_DialogList.FindByWindow(window));
    EXPECT_FALSE(IsListed(&dialog));
}

// The dialog could never leave the list otherwise (it gets no WM_NCDESTROY), and would stay
// the current dialog after its owner deleted it.
TEST_F(DialogWindow, ModelessCreateOfAMissingTemplateGivesZeroAndLeavesTheList)
{
    CRecordingDialog dialog;
    EXPECT_EQ(0, dialog.Create(nullptr, IDD_TEST_MISSING));
    EXPECT_EQ(1, dialog.createdCalls);
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_FALSE(IsListed(&dialog));
    EXPECT_EQ(0, ThreadDialogCount());
}

TEST_F(DialogWindow, WithoutAModuleNeitherCreateMakesAWindowOrTouchesTheList)
{
    g_TestFrame.instance = nullptr;
    const int count = g_DialogList.GetCount();
    const int current = g_DialogList.GetCurrentIndex();
    CScriptedDialog modal;
    modal.script = {{WM_COMMAND, IDC_TEST_END}};
    CRecordingDialog modeless;
    EXPECT_EQ(0, modal.Create(nullptr, IDD_TEST_ROUTING));
    EXPECT_EQ(0, modeless.Create(nullptr, IDD_TEST_ROUTING));
    EXPECT_TRUE(modal.calls.empty());
    EXPECT_TRUE(modeless.calls.empty());
    EXPECT_EQ(0, modeless.createdCalls);
    EXPECT_EQ(0, ThreadDialogCount());
    EXPECT_EQ(count, g_DialogList.GetCount());
    EXPECT_EQ(current, g_DialogList.GetCurrentIndex());
    EXPECT_FALSE(IsListed(&modal));
    EXPECT_FALSE(IsListed(&modeless));
}

} // namespace
