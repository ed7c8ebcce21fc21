// The application frame (folder cut, message loop), the dialog list, DialogProc's routing on
// made-up window handles, real dialogs from the updater's template, the wheel message, the guard.
#include "GsAppFrame.h"
#include "GsDialogList.h"
#include "GsDialogProc.h"
#include "GsDialogSync.h"
#include "GsDualBoot.h"
#include "GsTestProcess.h"
#include "GsWheelMessage.h"
#include "UpdaterResources.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

CGsAppFrame g_TestFrame;
CGsDialogList g_DialogList;
unsigned int g_nWheelMessage = GsRegisterWheelMessage();

namespace
{

constexpr int IDD_MISSING = 299; // no template has this id

// In code page 932 "ソ" is 83 5C and "表" is 95 5C: their second byte is a backslash byte.
TEST(GsAppFrame, CutsAtTheLastSeparatorAndNeverInsideADoubleByteCharacter)
{
    ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
    ASSERT_STREQ("\x83\x5C\x95\x5C", "ソ表") << "sources must be compiled to code page 932";
    // path, result, folder after; the first character is never a separator, and a lead byte
    // cut off at the end stands alone
    // clang-format off
    const std::tuple<const char*, int, const char*> rows[] = {
        {"C:\\App\\Updater.exe", 1, "C:\\App"}, {"C:\\Updater.exe", 1, "C:"}, {"", 0, ""},
        {"\\\\server\\share\\Updater.exe", 1, "\\\\server\\share"}, {"C:\\App\\", 1, "C:\\App"},
        {"Updater.exe", 0, "Updater.exe"}, {"\\Updater.exe", 0, "\\Updater.exe"}, {"ソ", 0, "ソ"},
        {"C:\\ソフト\\表\\ソフト.exe", 1, "C:\\ソフト\\表"}, {"C:\\App\\表示.exe", 1, "C:\\App"},
        {"表\\ソ", 1, "表"}, {"C:\\App\\\x83", 1, "C:\\App"}};
    // clang-format on
    for (const auto& [path, result, folder] : rows)
    {
        char buffer[GS_PATH_SIZE];
        std::strcpy(buffer, path);
        EXPECT_EQ(result, GsCutAtLastBackslash(buffer)) << path;
        EXPECT_STREQ(folder, buffer) << path;
    }
    EXPECT_EQ(0, GsCutAtLastBackslash(nullptr));
}

// A failing message source (-1) ends the loop after OnStart; the exit code is OnExit's.
TEST(GsAppFrame, RunEndsWhenFetchingAMessageFails)
{
    struct CFailingFrame : CGsAppFrame
    {
        int OnStart() override { return fetches = 10; }
        int FetchMessage(MSG*) override { return ++fetches == 11 ? -1 : 0; }
        int OnExit() override { return 5; }
        int fetches = 0;
    } frame;
    EXPECT_EQ(5, frame.Run(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
    EXPECT_EQ(11, frame.fetches);
    char cut[8]; // the folder of a module name cut to fit would be wrong
    EXPECT_EQ(0, frame.GetModuleDirectory(cut, sizeof cut));
    g_pAppFrame = &g_TestFrame;
}

struct Call
{
    std::string handler;
    CGsWndMessage* record;
    CGsWndMessage atEntry; // the record's fields when the handler was called
    HWND attached;         // the dialog's own hwnd then
};

// Records the handler calls. One named in `forward` runs the base's; any other stores
// `stored` in the record and returns `handled`.
class CRecorder : public CGsDialogSync
{
public:
#define GS_RECORD(name)                                                                            \
    int name(CGsWndMessage* m) override                                                            \
    {                                                                                              \
        calls.push_back({#name, m, *m, this->hwnd});                                               \
        if (forward.count(#name) != 0)                                                             \
            return CGsDialogSync::name(m);                                                         \
        m->result = stored;                                                                        \
        return handled;                                                                            \
    }
    GS_RECORD(OnInitDialog)
    GS_RECORD(OnSysCommand)
    GS_RECORD(OnClose)
    GS_RECORD(OnCommand)
    GS_RECORD(OnNcDestroy)
#undef GS_RECORD
    std::string Names() const // the handlers called, each followed by a space
    {
        std::string names;
        for (const Call& call : calls)
            names += call.handler + " ";
        return names;
    }

    std::vector<Call> calls;
    std::set<std::string> forward;
    int handled = 1;
    INT_PTR stored = 0;
};

const auto Fake = [](INT_PTR value) { return reinterpret_cast<HWND>(value); };

bool IsListed(const CGsDialog* dialog)
{
    for (int i = 0; i < g_DialogList.GetCount(); ++i)
        if (g_DialogList.GetAt(i) == dialog)
            return true;
    return false;
}

class Framework : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, templates.Get());
        g_TestFrame.Prepare(templates.Get(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    void TearDown() override
    {
        for (CGsDialog* dialog : listed)
            g_DialogList.Remove(dialog);
        g_bDialogListAlive = 1; // each list built here clears it when it ends
        g_pAppFrame = &g_TestFrame;
    }
    // Lists `dialog` (it becomes the current dialog) attached to `window` (may be null).
    void List(CGsDialog* dialog, HWND window)
    {
        dialog->hwnd = window;
        g_DialogList.Add(dialog);
        listed.push_back(dialog);
    }

    std::vector<CGsDialog*> listed;
    updtest::DataModule templates{updtest::UpdaterProgram()};
};

TEST_F(Framework, DialogListReusesFreePlacesAndFindsByWindow)
{
    CGsDialogList list;
    CGsDialog a, b, c, d;
    a.hwnd = b.hwnd = Fake(0x5010);
    for (CGsDialog* dialog : {&a, &b, &c, &a, static_cast<CGsDialog*>(nullptr)})
        list.Add(dialog); // a twice: nothing changes, not even the current dialog
    EXPECT_EQ(3, list.GetCount());
    EXPECT_EQ(&c, list.GetCurrent());
    EXPECT_EQ(&a, list.FindByWindow(Fake(0x5010)));
    list.Remove(&a);
    list.Remove(&c);
    EXPECT_EQ(&b, list.FindByWindow(Fake(0x5010)));
    EXPECT_EQ(nullptr, list.FindByWindow(nullptr)) << "c's null hwnd matches nothing";
    EXPECT_EQ(3, list.GetCount()) << "free places stay";
    EXPECT_EQ(nullptr, list.GetCurrent()) << "the current index now names a free place";
    list.Add(&d);
    EXPECT_EQ(0, list.GetCurrentIndex()) << "the lowest free place";
    EXPECT_EQ(&d, list.GetAt(0));
    EXPECT_EQ(nullptr, list.GetAt(3));
    EXPECT_EQ(nullptr, list.GetAt(-1));
}

TEST_F(Framework, UnhandledMessagesGoToTheCurrentDialogAndNothingRunsAfterTheList)
{
    CRecorder owner, current;
    owner.handled = 0;
    owner.stored = 55; // left in the owner's record, never returned
    current.stored = 66;
    List(&owner, Fake(0x6500));
    EXPECT_EQ(0, DialogProc(Fake(0x6500), WM_COMMAND, 5, 6));
    ASSERT_EQ("OnCommand OnCommand ", owner.Names()) << "the current dialog is offered it again";
    EXPECT_EQ(0, owner.calls[1].atEntry.result);
    owner.calls.clear();

    List(&current, nullptr);
    EXPECT_EQ(66, DialogProc(Fake(0x6500), WM_COMMAND, 7, 8));
    EXPECT_EQ("OnCommand ", owner.Names());
    ASSERT_EQ("OnCommand ", current.Names());
    EXPECT_EQ(Fake(0x6500), current.calls[0].atEntry.hwnd);
    EXPECT_EQ(0, current.calls[0].atEntry.result);
    // A window no dialog has yet (WM_INITDIALOG during creation) goes to the current dialog.
    EXPECT_EQ(66, DialogProc(Fake(0x6600), WM_INITDIALOG, 0, 0));
    EXPECT_EQ(Fake(0x6600), current.calls[1].atEntry.hwnd);
    EXPECT_EQ(0, DialogProc(Fake(0x6600), WM_TIMER, 0, 0)) << "not routed";
    g_DialogList.Remove(&current);
    EXPECT_EQ(0, DialogProc(Fake(0x6700), WM_INITDIALOG, 0, 0)) << "no current dialog";
    EXPECT_EQ(2u, current.calls.size());

    // Nothing runs without a frame, or once a list has ended (at exit, before the frame).
    owner.handled = 1;
    ASSERT_EQ(55, DialogProc(Fake(0x6500), WM_COMMAND, 0, 0));
    g_pAppFrame = nullptr;
    EXPECT_EQ(0, DialogProc(Fake(0x6500), WM_COMMAND, 0, 0));
    g_pAppFrame = &g_TestFrame;
    {
        CGsDialogList ending; // ending any list clears the flag DialogProc checks first
    }
    EXPECT_EQ(0, DialogProc(Fake(0x6500), WM_COMMAND, 0, 0));
    EXPECT_EQ(2u, owner.calls.size());
}

TEST_F(Framework, OnlyTheExactCloseCommandReachesOnCloseAndNcDestroyDetaches)
{
    CRecorder dialog;
    dialog.forward = {"OnSysCommand", "OnNcDestroy"};
    dialog.hwndParent = Fake(0x6801);
    List(&dialog, Fake(0x6800));
    // 0xF061: SC_CLOSE with a low bit set, as the system sends it from a double click.
    EXPECT_EQ(0, DialogProc(Fake(0x6800), WM_SYSCOMMAND, 0xF061, 0));
    EXPECT_EQ("OnSysCommand OnSysCommand ", dialog.Names()) << "not handled: offered again";
    dialog.calls.clear();
    EXPECT_EQ(0, DialogProc(Fake(0x6800), WM_SYSCOMMAND, SC_CLOSE, 0));
    ASSERT_EQ("OnSysCommand OnClose ", dialog.Names()) << "handled: offered once";
    EXPECT_EQ(dialog.calls[0].record, dialog.calls[1].record) << "OnClose gets the same record";

    // The current dialog: after WM_NCDESTROY it is not, so it is not offered the message twice.
    dialog.calls.clear();
    EXPECT_EQ(0, DialogProc(Fake(0x6800), WM_NCDESTROY, 0, 0));
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_EQ(nullptr, dialog.hwndParent);
    EXPECT_FALSE(IsListed(&dialog));
    EXPECT_EQ("OnNcDestroy ", dialog.Names());
}

// A modal dialog that closes itself (SC_CLOSE) once initialised; a timer ends it with -99 should
// it hang (a function: a lambda's calling convention is not CALLBACK on 32-bit Windows).
void CALLBACK EndHungDialog(HWND dialog, UINT, UINT_PTR, DWORD)
{
    EndDialog(dialog, -99);
}

class CClosingDialog : public CRecorder
{
public:
    CClosingDialog() { forward = {"OnInitDialog", "OnSysCommand", "OnClose", "OnNcDestroy"}; }
    int OnInitDialog(CGsWndMessage* m) override
    {
        SetTimer(m->hwnd, 1, 5000, EndHungDialog);
        PostMessageA(m->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return CRecorder::OnInitDialog(m);
    }
};

TEST_F(Framework, DialogsAttachRouteAndEnd)
{
    CClosingDialog dialog;
    EXPECT_EQ(0, dialog.Create(nullptr, IDD_UPDATE)) << "OnClose ends it with 0";
    EXPECT_EQ("OnInitDialog OnSysCommand OnClose OnNcDestroy ", dialog.Names());
    // WM_INITDIALOG came before the window was attached: through the current dialog.
    EXPECT_EQ(nullptr, dialog.calls[0].attached);
    EXPECT_EQ(dialog.calls[0].atEntry.hwnd, dialog.calls[1].attached);
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_FALSE(IsWindow(dialog.calls[0].atEntry.hwnd));
    EXPECT_FALSE(IsListed(&dialog));

    CClosingDialog missing;
    EXPECT_EQ(-1, missing.Create(nullptr, IDD_MISSING));
    EXPECT_TRUE(missing.calls.empty());
    EXPECT_FALSE(IsListed(&missing));

    // Modeless: SC_CLOSE destroys it, and it leaves the list also when no window was made.
    CGsDialog modeless;
    ASSERT_EQ(1, modeless.Create(nullptr, IDD_UPDATE));
    EXPECT_EQ(&modeless, g_DialogList.FindByWindow(modeless.hwnd));
    SendMessageA(modeless.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsListed(&modeless));
    EXPECT_EQ(0, modeless.Create(nullptr, IDD_MISSING));
    EXPECT_FALSE(IsListed(&modeless));
    g_TestFrame.instance = nullptr; // without a module neither kind is made
    EXPECT_EQ(0, modeless.Create(nullptr, IDD_UPDATE) + missing.Create(nullptr, IDD_UPDATE));
    EXPECT_FALSE(IsListed(&modeless) || IsListed(&missing));
}

// Each message reaches its own handler, and a handler the dialog does not override leaves the
// message to the system (0): a base handler claiming WM_PAINT would stop the dialog painting.
// clang-format off
#define GS_ROUTES(X)                                                                               \
    X(OnGetMinMaxInfo, WM_GETMINMAXINFO) X(OnInitDialog, WM_INITDIALOG)                           \
    X(OnSysCommand, WM_SYSCOMMAND) X(OnCommand, WM_COMMAND) X(OnActivate, WM_ACTIVATE)            \
    X(OnNcActivate, WM_NCACTIVATE) X(OnActivateApp, WM_ACTIVATEAPP) X(OnPaint, WM_PAINT)          \
    X(OnSize, WM_SIZE) X(OnEraseBkgnd, WM_ERASEBKGND) X(OnMouseMove, WM_MOUSEMOVE)                \
    X(OnVScroll, WM_VSCROLL) X(OnHScroll, WM_HSCROLL) X(OnNotify, WM_NOTIFY)                      \
    X(OnDropFiles, WM_DROPFILES) X(OnDestroy, WM_DESTROY) X(OnNcDestroy, WM_NCDESTROY)            \
    X(OnSetCursor, WM_SETCURSOR) X(OnCtlColorBtn, WM_CTLCOLORBTN)                                 \
    X(OnCtlColorStatic, WM_CTLCOLORSTATIC) X(OnCtlColorEdit, WM_CTLCOLOREDIT)
// clang-format on

class CRouted : public CGsDialog
{
public:
#define GS_ROUTED(name, message)                                                                   \
    int name(CGsWndMessage* m) override                                                            \
    {                                                                                              \
        return called = #name, CGsDialog::name(m);                                                 \
    }
    GS_ROUTES(GS_ROUTED)
#undef GS_ROUTED
    std::string called;
};

TEST(FrameworkRouting, EachMessageReachesItsHandlerAndIsLeftToTheSystem)
{
#define GS_ROW(name, message) {message, #name},
    const std::pair<UINT, std::string> rows[] = {GS_ROUTES(GS_ROW){WM_TIMER, ""}};
#undef GS_ROW
    for (const auto& [message, handler] : rows)
    {
        CRouted dialog;
        CGsWndMessage record(&dialog, nullptr, message, 0, 0);
        EXPECT_EQ(0, dialog.RouteMessage(&record)) << handler;
        EXPECT_EQ(handler, dialog.called);
    }
}

TEST(FrameworkWheel, OnlyVersion4Of95LineAndVersion3OfNtLineNeedTheMessage)
{
    // As GetVersion gives it (build, top bit for the 95 line, minor, major), and the answer.
    const std::pair<DWORD, int> rows[] = {
        {0x80000004, 1}, {0xC3B60004, 1}, {0x00000003, 1}, {0x04210003, 1}, {0xFFFF0004, 1},
        {0x7FFF0003, 1}, {0x80000A04, 0}, {0x80005A04, 0}, {0x80000003, 0}, {0x00000004, 0},
        {0x00003303, 0}, {0x05650005, 0}, {0x0A28000A, 0}, {0x00000000, 0},
    };
    for (const auto& [version, wheel] : rows)
        EXPECT_EQ(wheel, GsIsWheelMessageSystem(version)) << std::hex << version;
}

// The elevated updater's guard on the application's name must grant the application (not
// elevated) the MUTEX_ALL_ACCESS its CreateMutexA asks for, or it is refused the name instead of
// finding it taken; the updater's own guard keeps the default security. A name that exists but
// may not be opened counts as taken.
TEST(GsDualBoot, TheApplicationsGuardGrantsEveryUserWhatCreateMutexAsksFor)
{
    // name, CreateShared (else Create), the security of a mutex holding the name already (or
    // null), the result, an account and what the access list grants it
    const std::tuple<const char*, bool, const char*, int, const char*, DWORD> rows[] = {
        {"shared, authenticated users", true, nullptr, 1, "S-1-5-11", MUTEX_ALL_ACCESS},
        {"shared, system", true, nullptr, 1, "S-1-5-18", MUTEX_ALL_ACCESS},
        {"shared, administrators", true, nullptr, 1, "S-1-5-32-544", MUTEX_ALL_ACCESS},
        {"own", false, nullptr, 1, "S-1-5-11", 0},
        {"held by a shared guard", true, "D:(A;;0x1F0001;;;AU)", 0, "S-1-5-11", MUTEX_ALL_ACCESS},
        {"held, refused to everyone", false, "D:", 0, "S-1-5-11", 0},
        {"held, refused to everyone, shared", true, "D:", 0, "S-1-5-11", 0},
    };
    int count = 0;
    for (const auto& [trace, shared, heldWith, obtained, account, granted] : rows)
    {
        SCOPED_TRACE(trace);
        const std::string name = "GsDualBootTest-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++count);
        HANDLE held = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (heldWith != nullptr)
        {
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
                heldWith, SDDL_REVISION_1, &descriptor, nullptr));
            SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
            held = CreateMutexA(&attributes, FALSE, name.c_str());
            ASSERT_NE(nullptr, held);
        }
        CGsDualBoot guard;
        EXPECT_EQ(obtained, shared ? guard.CreateShared(name.c_str()) : guard.Create(name.c_str()));
        EXPECT_EQ(granted, gstest::MutexAccessGrantedTo(name.c_str(), account));
        // The application's own test: told that the name exists, or refused (no handle).
        HANDLE application = CreateMutexA(nullptr, FALSE, name.c_str());
        const DWORD error = GetLastError();
        EXPECT_EQ(granted != 0 || heldWith == nullptr, application != nullptr);
        EXPECT_EQ(application != nullptr ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED, error);
        if (application != nullptr)
            CloseHandle(application);
        if (held != nullptr)
            CloseHandle(held);
        LocalFree(descriptor);
        // Taken again, a guard lets go of its own handle first; released, the name is free.
        EXPECT_EQ(1, shared ? guard.CreateShared(name.c_str()) : guard.Create(name.c_str()));
        guard.Release();
        EXPECT_EQ(nullptr, guard.GetHandle());
        EXPECT_EQ(0, gstest::NameIsTaken(name.c_str()));
    }
    // A guard that ends lets go of the name.
    const std::string last = "GsDualBootTest-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(1, CGsDualBoot().CreateShared(last.c_str()));
    EXPECT_EQ(0, gstest::NameIsTaken(last.c_str()));
}

} // namespace
