// The dialog framework: the dialog list, DialogProc's routing on made-up window handles, real
// dialogs from this program's templates, the static objects' order in a program of their own,
// and a framework program driven end to end as a user drives it.
#include "FrameworkTestIds.h"
#include "GsAppFrame.h"
#include "GsDialogList.h"
#include "GsDialogProc.h"
#include "GsDialogSync.h"
#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "GsTestWindow.h"
#include "GsWheelMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

// This program's static objects, in the framework's order: frame, dialog list, wheel message.
CGsAppFrame g_TestFrame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = GsRegisterWheelMessage();

namespace
{

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

// A dialog that records every handler call. A handler named in `forward` runs the base's; any
// other stores `storedResult` in the record and returns `handled`.
template <class Base> class TRecordingDialog : public Base
{
public:
#define GS_RECORD(name)                                                                            \
    int name(CGsWndMessage* m) override                                                            \
    {                                                                                              \
        calls.push_back({#name, m, m->dialog, m->hwnd, m->message, m->wParam, m->lParam,           \
                         m->result, this->hwnd});                                                  \
        if (forward.count(#name) != 0)                                                             \
            return Base::name(m);                                                                  \
        m->result = storedResult;                                                                  \
        return handled;                                                                            \
    }
    GS_RECORD(OnGetMinMaxInfo)
    GS_RECORD(OnInitDialog)
    GS_RECORD(OnSysCommand)
    GS_RECORD(OnClose)
    GS_RECORD(OnCommand)
    GS_RECORD(OnActivate)
    GS_RECORD(OnNcActivate)
    GS_RECORD(OnActivateApp)
    GS_RECORD(OnPaint)
    GS_RECORD(OnSize)
    GS_RECORD(OnEraseBkgnd)
    GS_RECORD(OnMouseMove)
    GS_RECORD(OnVScroll)
    GS_RECORD(OnHScroll)
    GS_RECORD(OnNotify)
    GS_RECORD(OnDropFiles)
    GS_RECORD(OnDestroy)
    GS_RECORD(OnNcDestroy)
    GS_RECORD(OnSetCursor)
    GS_RECORD(OnCtlColorBtn)
    GS_RECORD(OnCtlColorStatic)
    GS_RECORD(OnCtlColorEdit)
#undef GS_RECORD
    int OnCreated() override
    {
        ++createdCalls;
        attachedAtCreated = this->hwnd;
        return Base::OnCreated();
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const HandlerCall& call : calls)
            names.push_back(call.handler);
        return names;
    }
    int Count(const char* handler) const
    {
        const auto names = Names();
        return static_cast<int>(std::count(names.begin(), names.end(), handler));
    }

    std::vector<HandlerCall> calls;
    std::set<std::string> forward;
    int handled = 1;
    INT_PTR storedResult = 0;
    int createdCalls = 0;
    HWND attachedAtCreated = nullptr;
};

using CRecordingDialog = TRecordingDialog<CGsDialog>;

HWND FakeWindow(INT_PTR value)
{
    return reinterpret_cast<HWND>(value);
}

class Framework : public testing::Test
{
protected:
    void SetUp() override
    {
        g_TestFrame.Prepare(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    }
    void TearDown() override
    {
        for (CGsDialog* dialog : registered)
            g_DialogList.Remove(dialog);
        g_bDialogListAlive = 1; // each list built here clears it when it ends
        g_pAppFrame = &g_TestFrame;
    }
    // Lists `dialog` (it becomes the current dialog) attached to `window` (may be null).
    void Register(CGsDialog* dialog, HWND window)
    {
        dialog->hwnd = window;
        g_DialogList.Add(dialog);
        registered.push_back(dialog);
    }
    static bool IsListed(const CGsDialog* dialog)
    {
        for (int i = 0; i < g_DialogList.GetCount(); ++i)
        {
            if (g_DialogList.GetAt(i) == dialog)
                return true;
        }
        return false;
    }

    std::vector<CGsDialog*> registered;
};

TEST_F(Framework, DialogListReusesFreePlacesAndFindsByWindow)
{
    CGsDialogList list;
    EXPECT_EQ(nullptr, list.GetCurrent());
    CGsDialog a, b, c, d;
    a.hwnd = b.hwnd = FakeWindow(0x5010);
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    list.Add(&a); // already listed: nothing changes, not even the current dialog
    list.Add(nullptr);
    EXPECT_EQ(3, list.GetCount());
    EXPECT_EQ(&c, list.GetCurrent());
    EXPECT_EQ(&a, list.FindByWindow(FakeWindow(0x5010)));
    list.Remove(&a);
    list.Remove(&c);
    EXPECT_EQ(&b, list.FindByWindow(FakeWindow(0x5010)));
    EXPECT_EQ(nullptr, list.FindByWindow(nullptr)) << "c's null hwnd matches nothing";
    EXPECT_EQ(3, list.GetCount()) << "free places stay";
    EXPECT_EQ(nullptr, list.GetCurrent()) << "the current index now names a free place";
    list.Add(&d);
    EXPECT_EQ(0, list.GetCurrentIndex()) << "the lowest free place";
    EXPECT_EQ(&d, list.GetAt(0));
    EXPECT_EQ(nullptr, list.GetAt(3));
    EXPECT_EQ(nullptr, list.GetAt(-1));
    for (int i = 0; i < 20; ++i)
    {
        CGsDialog passing; // one dialog at a time needs no new entry
        list.Add(&passing);
        list.Remove(&passing);
    }
    EXPECT_EQ(3, list.GetCount());
}

TEST_F(Framework, EveryRoutedMessageReachesItsOwnHandlerUnchanged)
{
    const WPARAM wide = static_cast<WPARAM>(~static_cast<WPARAM>(0) - 0x1234);
    const LPARAM wideL = static_cast<LPARAM>(static_cast<ULONG_PTR>(0xFEDCBA9876543210ull));
    const struct
    {
        UINT message;
        const char* handler;
    } routed[] = {
        {0x0024, "OnGetMinMaxInfo"}, {0x0110, "OnInitDialog"},     {0x0112, "OnSysCommand"},
        {0x0111, "OnCommand"},       {0x0006, "OnActivate"},       {0x0086, "OnNcActivate"},
        {0x001C, "OnActivateApp"},   {0x000F, "OnPaint"},          {0x0005, "OnSize"},
        {0x0014, "OnEraseBkgnd"},    {0x0200, "OnMouseMove"},      {0x0115, "OnVScroll"},
        {0x0114, "OnHScroll"},       {0x004E, "OnNotify"},         {0x0233, "OnDropFiles"},
        {0x0002, "OnDestroy"},       {0x0082, "OnNcDestroy"},      {0x0020, "OnSetCursor"},
        {0x0135, "OnCtlColorBtn"},   {0x0138, "OnCtlColorStatic"}, {0x0133, "OnCtlColorEdit"},
        {WM_TIMER, nullptr},         {WM_CLOSE, nullptr},          {WM_CTLCOLORDLG, nullptr},
        {WM_MOUSEWHEEL, nullptr},    {WM_USER, nullptr},           {WM_NULL, nullptr},
    };
    for (const auto& row : routed)
    {
        CRecordingDialog dialog;
        dialog.storedResult = 99;
        Register(&dialog, FakeWindow(0x6100));
        const INT_PTR result = DialogProc(FakeWindow(0x6100), row.message, wide, wideL);
        g_DialogList.Remove(&dialog);
        if (row.handler == nullptr)
        {
            EXPECT_EQ(0, result) << row.message;
            EXPECT_TRUE(dialog.calls.empty()) << row.message;
            continue;
        }
        EXPECT_EQ(99, result) << "the result the handler stored";
        ASSERT_EQ(std::vector<std::string>{row.handler}, dialog.Names()) << "offered once";
        const HandlerCall& call = dialog.calls[0];
        EXPECT_EQ(&dialog, call.dialog);
        EXPECT_EQ(FakeWindow(0x6100), call.hwnd);
        EXPECT_EQ(row.message, call.message);
        EXPECT_EQ(wide, call.wParam);
        EXPECT_EQ(wideL, call.lParam);
        EXPECT_EQ(0, call.resultAtEntry);
    }
}

TEST_F(Framework, UnhandledMessagesAreOfferedToTheCurrentDialogWithAFreshRecord)
{
    CRecordingDialog owner, current;
    owner.handled = 0;
    owner.storedResult = 55; // left in the owner's record, never returned
    current.storedResult = 66;
    Register(&owner, FakeWindow(0x6500));
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6500), WM_COMMAND, 5, 6));
    ASSERT_EQ((std::vector<std::string>{"OnCommand", "OnCommand"}), owner.Names())
        << "the current dialog's own unhandled message runs twice";
    EXPECT_EQ(0, owner.calls[1].resultAtEntry);
    owner.calls.clear();

    Register(&current, nullptr);
    EXPECT_EQ(66, DialogProc(FakeWindow(0x6500), WM_COMMAND, 7, 8));
    EXPECT_EQ(std::vector<std::string>{"OnCommand"}, owner.Names());
    ASSERT_EQ(std::vector<std::string>{"OnCommand"}, current.Names());
    EXPECT_EQ(FakeWindow(0x6500), current.calls[0].hwnd);
    EXPECT_EQ(0, current.calls[0].resultAtEntry);
    // A window no dialog has yet (WM_INITDIALOG during creation) goes to the current dialog.
    EXPECT_EQ(66, DialogProc(FakeWindow(0x6600), WM_INITDIALOG, 0, 0));
    EXPECT_EQ(FakeWindow(0x6600), current.calls[1].hwnd);
    g_DialogList.Remove(&current);
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6700), WM_INITDIALOG, 0, 0)) << "no current dialog";
    EXPECT_EQ(2u, current.calls.size());
}

TEST_F(Framework, OnlyTheExactCloseCommandReachesOnCloseAndNcDestroyDetaches)
{
    CRecordingDialog dialog, bystander;
    dialog.forward = {"OnSysCommand", "OnNcDestroy"};
    dialog.hwndParent = FakeWindow(0x6801);
    Register(&dialog, FakeWindow(0x6800));
    Register(&bystander, nullptr);
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

    // Current again: after WM_NCDESTROY it is not, so it is not offered the message twice.
    g_DialogList.Remove(&bystander);
    g_DialogList.Remove(&dialog);
    g_DialogList.Add(&dialog);
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6800), WM_NCDESTROY, 0, 0));
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_EQ(nullptr, dialog.hwndParent);
    EXPECT_FALSE(IsListed(&dialog));
    EXPECT_EQ(1, dialog.Count("OnNcDestroy"));
}

TEST_F(Framework, NothingRunsWithoutAFrameOrOnceTheListHasEnded)
{
    CRecordingDialog dialog;
    Register(&dialog, FakeWindow(0x6A00));
    dialog.storedResult = 12;
    g_pAppFrame = nullptr;
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6A00), WM_COMMAND, 0, 0));
    g_pAppFrame = &g_TestFrame;
    ASSERT_EQ(12, DialogProc(FakeWindow(0x6A00), WM_COMMAND, 0, 0));
    {
        CGsDialogList ending; // ending any list clears the flag DialogProc checks first
    }
    EXPECT_EQ(0, DialogProc(FakeWindow(0x6A00), WM_COMMAND, 0, 0));
    EXPECT_EQ(1u, dialog.calls.size());
}

constexpr int TEST_END_CODE = 42;

// A modal dialog that, once initialised, posts itself `script`; IDC_TEST_END ends it with
// TEST_END_CODE, and a timer ends it with -99 should it hang.
class CScriptedDialog : public TRecordingDialog<CGsDialogSync>
{
public:
    CScriptedDialog()
    {
        forward = {"OnInitDialog", "OnSysCommand", "OnClose", "OnNcDestroy"};
        handled = 0;
    }
    int OnInitDialog(CGsWndMessage* m) override
    {
        const int result = TRecordingDialog<CGsDialogSync>::OnInitDialog(m);
        SetTimer(m->hwnd, 1, 5000,
                 [](HWND dialog, UINT, UINT_PTR, DWORD) { EndDialog(dialog, -99); });
        for (const auto& posted : script)
            PostMessageA(m->hwnd, posted.first, posted.second, 0);
        window = m->hwnd;
        return result;
    }
    int OnCommand(CGsWndMessage* m) override
    {
        TRecordingDialog<CGsDialogSync>::OnCommand(m);
        if (LOWORD(m->wParam) != IDC_TEST_END)
            return 0;
        EndDialog(m->hwnd, TEST_END_CODE);
        return 1;
    }
    std::vector<std::pair<UINT, WPARAM>> script;
    HWND window = nullptr;
};

TEST_F(Framework, ModalDialogsAttachRouteAndEnd)
{
    const struct
    {
        std::vector<std::pair<UINT, WPARAM>> script;
        int end;
        int closes;
    } rows[] = {
        {{{WM_COMMAND, IDC_TEST_END}}, TEST_END_CODE, 0},
        {{{WM_SYSCOMMAND, SC_CLOSE}}, 0, 1},
        {{{WM_SYSCOMMAND, 0xF061}, {WM_COMMAND, IDC_TEST_END}}, TEST_END_CODE, 0},
    };
    for (const auto& row : rows)
    {
        CScriptedDialog dialog;
        dialog.script = row.script;
        EXPECT_EQ(row.end, dialog.Create(nullptr, IDD_TEST_ROUTING));
        EXPECT_EQ(row.closes, dialog.Count("OnClose"));
        // WM_INITDIALOG came before the window was attached: through the current dialog.
        ASSERT_FALSE(dialog.calls.empty());
        EXPECT_EQ("OnInitDialog", dialog.calls[0].handler);
        EXPECT_EQ(nullptr, dialog.calls[0].attachedAtEntry);
        EXPECT_EQ(dialog.window, dialog.calls.back().attachedAtEntry);
        EXPECT_EQ(1, dialog.Count("OnNcDestroy"));
        EXPECT_EQ(0, dialog.createdCalls) << "the modal Create does not call OnCreated";
        EXPECT_EQ(nullptr, dialog.hwnd);
        EXPECT_FALSE(IsWindow(dialog.window));
        EXPECT_FALSE(IsListed(&dialog));
    }
    CScriptedDialog missing;
    EXPECT_EQ(-1, missing.Create(nullptr, IDD_TEST_MISSING));
    EXPECT_TRUE(missing.calls.empty());
    EXPECT_FALSE(IsListed(&missing));
}

TEST_F(Framework, ModelessDialogsAttachAndLeaveTheListWhenDestroyed)
{
    CRecordingDialog dialog;
    dialog.forward = {"OnSysCommand", "OnClose", "OnNcDestroy"};
    ASSERT_EQ(1, dialog.Create(nullptr, IDD_TEST_ROUTING));
    const HWND window = dialog.hwnd;
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(1, dialog.createdCalls);
    EXPECT_EQ(window, dialog.attachedAtCreated);
    EXPECT_EQ(&dialog, g_DialogList.FindByWindow(window));
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(window)) << "SC_CLOSE destroys a modeless dialog";
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_FALSE(IsListed(&dialog));

    // A missing template: OnCreated still runs, and the dialog leaves the list (it would get
    // no WM_NCDESTROY to leave it by).
    CRecordingDialog missing;
    EXPECT_EQ(0, missing.Create(nullptr, IDD_TEST_MISSING));
    EXPECT_EQ(1, missing.createdCalls);
    EXPECT_FALSE(IsListed(&missing));

    // Without a module neither Create makes a window or touches the list.
    g_TestFrame.instance = nullptr;
    const int count = g_DialogList.GetCount();
    CScriptedDialog modal;
    CRecordingDialog modeless;
    EXPECT_EQ(0, modal.Create(nullptr, IDD_TEST_ROUTING));
    EXPECT_EQ(0, modeless.Create(nullptr, IDD_TEST_ROUTING));
    EXPECT_TRUE(modal.calls.empty() && modeless.calls.empty());
    EXPECT_EQ(0, modeless.createdCalls);
    EXPECT_EQ(count, g_DialogList.GetCount());
}

TEST(FrameworkWheel, OnlyVersion4Of95LineAndVersion3OfNtLineNeedTheMessage)
{
    const struct
    {
        DWORD version; // as GetVersion gives it: build, top bit for the 95 line, minor, major
        int wheel;
    } rows[] = {
        {0x80000004, 1}, {0xC3B60004, 1}, {0x00000003, 1}, {0x04210003, 1}, {0xFFFF0004, 1},
        {0x7FFF0003, 1}, {0x80000A04, 0}, {0x80005A04, 0}, {0x80000003, 0}, {0x00000004, 0},
        {0x00003303, 0}, {0x05650005, 0}, {0x0A28000A, 0}, {0x00000000, 0},
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(row.wheel, GsIsWheelMessageSystem(row.version)) << std::hex << row.version;
    }
}

// Frame, list and wheel registration built in that order, and DialogProc inert once the list
// has ended: checked by a program of its own, whose exit code says what failed.
TEST(FrameworkProgram, StaticObjectsKeepTheirOrder)
{
    gstest::TestProcess probe;
    ASSERT_TRUE(probe.Start(gstest::ToWindowsPath(GS_EXIT_PROBE))) << GetLastError();
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(probe.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(0u, exitCode) << "see the codes in ExitProbe.cpp";
}

// A framework dialog in its own process, read and pressed as a user would: its controls, an
// information box and a question box over it, the answers reaching the dialog, and OK.
TEST(FrameworkProgram, DialogProgramIsDrivenEndToEnd)
{
    gstest::TestProcess app;
    ASSERT_TRUE(app.Start(gstest::ToWindowsPath(GS_TEST_DIALOG_APP))) << GetLastError();
    const HWND dialog = app.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770", "テスト用ダイアログ");
    ASSERT_NE(nullptr, dialog) << "the dialog did not appear";
    std::string shown;
    for (const gstest::ControlState& control : gstest::GetControls(dialog))
    {
        shown += std::to_string(control.id) + ":" + control.text + ":" +
                 std::to_string(control.enabled) + " ";
    }
    EXPECT_EQ(
        "-1:名前::1 1001:初期値:1 1002:メッセージ:1 1003:質問:1 1004:使用不可:0 1005::1 1:OK:1 ",
        shown);

    const struct
    {
        int button;
        const char* text;
        const char* caption;
        UINT style;
        int answer;
    } boxes[] = {
        {IDC_APP_MESSAGE, "本日は晴天なり。\n二行目", "Info", MB_OK | MB_ICONINFORMATION, IDOK},
        {IDC_APP_QUESTION, "続けますか？", "Question", MB_YESNO | MB_ICONQUESTION, IDNO},
    };
    for (const auto& expected : boxes)
    {
        ASSERT_TRUE(gstest::PressButton(dialog, expected.button));
        const HWND box = app.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
        ASSERT_NE(nullptr, box);
        gstest::MessageBoxState state;
        ASSERT_TRUE(gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS));
        EXPECT_EQ(expected.text, state.text);
        EXPECT_EQ(expected.caption, state.caption);
        EXPECT_EQ(expected.style, state.style);
        EXPECT_EQ(dialog, state.owner);
        ASSERT_TRUE(gstest::PressButton(box, expected.answer));
        EXPECT_TRUE(gstest::WaitForText(gstest::GetControl(dialog, IDC_APP_RESULT),
                                        std::to_string(expected.answer), gstest::STEP_TIMEOUT_MS));
    }
    ASSERT_TRUE(gstest::PostCommand(dialog, IDOK));
    DWORD exitCode = 0xFFFFFFFF;
    EXPECT_TRUE(app.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(7u, exitCode) << "OK ends the dialog with 7";
}

} // namespace
