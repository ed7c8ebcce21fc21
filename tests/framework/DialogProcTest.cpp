// DialogProc and RouteMessage on dialogs attached to made-up window handles: the recording
// dialogs never hand these handles to the system.

#include "GsDialogList.h"
#include "GsDialogProc.h"
#include "RecordingDialog.h"
#include "TestObjects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

HWND FakeWindow(INT_PTR value)
{
    return reinterpret_cast<HWND>(value);
}

// Pointer-sized parameters reach the handlers unchanged on 64-bit builds too.
const WPARAM WIDE_WPARAM = static_cast<WPARAM>(~static_cast<WPARAM>(0) - 0x1234);
const LPARAM WIDE_LPARAM = static_cast<LPARAM>(static_cast<ULONG_PTR>(0xFEDCBA9876543210ull));

class DialogProcRouting : public testing::Test
{
protected:
    void SetUp() override { PrepareTestFrame(); }
    void TearDown() override
    {
        for (CGsDialog* dialog : registered)
        {
            g_DialogList.Remove(dialog);
        }
    }

    // Registers `dialog` (it becomes the current dialog) attached to `window` (may be null).
    void Register(CGsDialog* dialog, HWND window)
    {
        dialog->hwnd = window;
        g_DialogList.Add(dialog);
        registered.push_back(dialog);
    }

    std::vector<CGsDialog*> registered;
};

struct RoutedMessage
{
    UINT message;
    const char* handler;
};

// The routed messages with their numbers written out, in the order of the router's table.
const RoutedMessage ROUTED[] = {
    {0x0024, "OnGetMinMaxInfo"}, {0x0110, "OnInitDialog"},     {0x0112, "OnSysCommand"},
    {0x0111, "OnCommand"},       {0x0006, "OnActivate"},       {0x0086, "OnNcActivate"},
    {0x001C, "OnActivateApp"},   {0x000F, "OnPaint"},          {0x0005, "OnSize"},
    {0x0014, "OnEraseBkgnd"},    {0x0200, "OnMouseMove"},      {0x0115, "OnVScroll"},
    {0x0114, "OnHScroll"},       {0x004E, "OnNotify"},         {0x0233, "OnDropFiles"},
    {0x0002, "OnDestroy"},       {0x0082, "OnNcDestroy"},      {0x0020, "OnSetCursor"},
    {0x0135, "OnCtlColorBtn"},   {0x0138, "OnCtlColorStatic"}, {0x0133, "OnCtlColorEdit"},
};

TEST_F(DialogProcRouting, EveryRoutedMessageReachesItsOwnHandlerWithTheMessageUnchanged)
{
    for (const RoutedMessage& routed : ROUTED)
    {
        CRecordingDialog dialog;
        Register(&dialog, FakeWindow(0x6100));
        EXPECT_EQ(0, DialogProc(FakeWindow(0x6100), routed.message, WIDE_WPARAM, WIDE_LPARAM));
        ASSERT_EQ(std::vector<std::string>{routed.handler}, dialog.Names()) << routed.handler;
        const HandlerCall& call = dialog.calls[0];
        EXPECT_EQ(&dialog, call.dialog);
        EXPECT_EQ(FakeWindow(0x6100), call.hwnd);
        EXPECT_EQ(routed.message, call.message);
        EXPECT_EQ(WIDE_WPARAM, call.wParam);
        EXPECT_EQ(WIDE_LPARAM, call.lParam);
        EXPECT_EQ(0, call.resultAtEntry);
        g_DialogList.Remove(&dialog);
    }
}

TEST_F(DialogProcRouting, OtherMessagesReachNoHandlerAndGiveZero)
{
    CRecordingDialog dialog;
    dialog.storedResult = 99;
    Register(&dialog, FakeWindow(0x6200));
    const UINT others[] = {WM_TIMER,       WM_CLOSE,   WM_SETFONT,
                           WM_CTLCOLORDLG, WM_USER,    WM_NULL,
                           WM_MOUSEWHEEL,  WM_KEYDOWN, RegisterWindowMessageA("MSWHEEL_ROLLMSG")};
    for (UINT message : others)
    {
        EXPECT_EQ(0, DialogProc(FakeWindow(0x6200), message, 1, 2)) << message;
    }
    EXPECT_TRUE(dialog.calls.empty());
}

TEST_F(DialogProcRouting, HandledMessageReturnsTheResultTheHandlerStored)
{
    CRecordingDialog dialog;
    Register(&dialog, FakeWindow(0x6300));
    dialog.storedResult = static_cast<INT_PTR>(WIDE_LPARAM);
    EXPECT_EQ(static_cast<INT_PTR>(WIDE_LPARAM),
              DialogProc(FakeWindow(0x6300), WM_CTLCOLORSTATIC, 0, 0));
    dialog.storedResult = 0;
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6300), WM_CTLCOLORSTATIC, 0, 0));
    EXPECT_EQ(2u, dialog.calls.size()) << "handled messages are offered once";
}

TEST_F(DialogProcRouting, UnhandledMessageOfTheCurrentDialogRunsTwiceWithAFreshRecord)
{
    CRecordingDialog dialog;
    dialog.handled = 0;
    dialog.storedResult = 77; // left in the record, never returned
    Register(&dialog, FakeWindow(0x6400));
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6400), WM_COMMAND, 5, 6));
    ASSERT_EQ((std::vector<std::string>{"OnCommand", "OnCommand"}), dialog.Names());
    EXPECT_EQ(0, dialog.calls[1].resultAtEntry);
    EXPECT_EQ(WPARAM{5}, dialog.calls[1].wParam);
}

TEST_F(DialogProcRouting, UnhandledMessageOfAnotherDialogIsOfferedToTheCurrentOne)
{
    CRecordingDialog owner, current;
    owner.handled = 0;
    owner.storedResult = 55;
    current.storedResult = 66;
    Register(&owner, FakeWindow(0x6500));
    Register(&current, nullptr);
    EXPECT_EQ(66, DialogProc(FakeWindow(0x6500), WM_COMMAND, 7, 8));
    EXPECT_EQ(std::vector<std::string>{"OnCommand"}, owner.Names());
    ASSERT_EQ(std::vector<std::string>{"OnCommand"}, current.Names());
    EXPECT_EQ(&current, current.calls[0].dialog);
    EXPECT_EQ(FakeWindow(0x6500), current.calls[0].hwnd);
    EXPECT_EQ(0, current.calls[0].resultAtEntry);
}

TEST_F(DialogProcRouting, MessageForAWindowNoDialogHasYetGoesToTheCurrentDialog)
{
    CRecordingDialog creating;
    Register(&creating, nullptr);
    creating.storedResult = 1;
    EXPECT_EQ(1, DialogProc(FakeWindow(0x6600), WM_INITDIALOG, 0, 0));
    ASSERT_EQ(std::vector<std::string>{"OnInitDialog"}, creating.Names());
    EXPECT_EQ(FakeWindow(0x6600), creating.calls[0].hwnd);
}

TEST_F(DialogProcRouting, WithoutACurrentDialogUnclaimedMessagesGiveZero)
{
    CRecordingDialog gone;
    Register(&gone, nullptr);
    g_DialogList.Remove(&gone);
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6700), WM_INITDIALOG, 0, 0));
    EXPECT_TRUE(gone.calls.empty());
}

TEST_F(DialogProcRouting, OnlyTheExactCloseCommandReachesOnClose)
{
    CRecordingDialog dialog, bystander;
    dialog.forward = {"OnSysCommand"};
    Register(&dialog, FakeWindow(0x6800));
    Register(&bystander, nullptr); // current: receives what the dialog leaves unhandled

    // 0xF061: SC_CLOSE with a low bit set, as the system sends it from a double click.
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6800), WM_SYSCOMMAND, 0xF061, 0));
    EXPECT_EQ(std::vector<std::string>{"OnSysCommand"}, dialog.Names());
    EXPECT_EQ(std::vector<std::string>{"OnSysCommand"}, bystander.Names()) << "not handled";
    dialog.calls.clear();
    bystander.calls.clear();

    EXPECT_EQ(0, DialogProc(FakeWindow(0x6800), WM_SYSCOMMAND, SC_CLOSE, 0));
    ASSERT_EQ((std::vector<std::string>{"OnSysCommand", "OnClose"}), dialog.Names());
    EXPECT_EQ(dialog.calls[0].record, dialog.calls[1].record) << "OnClose gets the same record";
    EXPECT_TRUE(bystander.calls.empty()) << "SC_CLOSE was handled";
}

TEST_F(DialogProcRouting, NcDestroyDetachesAndRemovesTheDialog)
{
    CRecordingDialog dialog;
    dialog.forward = {"OnNcDestroy"};
    dialog.hwndParent = FakeWindow(0x6901);
    Register(&dialog, FakeWindow(0x6900));
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6900), WM_NCDESTROY, 0, 0));
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_EQ(nullptr, dialog.hwndParent);
    EXPECT_EQ(nullptr, g_DialogList.GetCurrent());
    EXPECT_EQ(nullptr, g_DialogList.FindByWindow(FakeWindow(0x6900)));
    // Not offered a second time: it was the current dialog, and no longer is.
    EXPECT_EQ(std::vector<std::string>{"OnNcDestroy"}, dialog.Names());
}

TEST_F(DialogProcRouting, NothingRunsWithoutAFrame)
{
    CRecordingDialog dialog;
    Register(&dialog, FakeWindow(0x6A00));
    dialog.storedResult = 12;
    CGsAppFrame* frame = g_pAppFrame;
    g_pAppFrame = nullptr;
    const INT_PTR result = DialogProc(FakeWindow(0x6A00), WM_COMMAND, 0, 0);
    g_pAppFrame = frame;
    EXPECT_EQ(0, result);
    EXPECT_TRUE(dialog.calls.empty());
}

TEST_F(DialogProcRouting, NothingRunsOnceTheListIsDestroyed)
{
    CRecordingDialog dialog;
    Register(&dialog, FakeWindow(0x6B00));
    dialog.storedResult = 12;
    ASSERT_EQ(12, DialogProc(FakeWindow(0x6B00), WM_COMMAND, 0, 0));
    {
        // Ending any list clears the flag that DialogProc checks first.
        CGsDialogList ending;
    }
    const INT_PTR result = DialogProc(FakeWindow(0x6B00), WM_COMMAND, 0, 0);
    g_bDialogListAlive = 1;
    EXPECT_EQ(0, result);
    EXPECT_EQ(1u, dialog.calls.size());
}

} // namespace
