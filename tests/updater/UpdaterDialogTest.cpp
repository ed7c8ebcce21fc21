// The updater as the user meets it: a copy of the program of this build in a scratch folder,
// started, read and pressed through the UI driver, with fresh copies of the sample releases.
// Holds the product's fixed mutex names: runs under the gs_product_mutexes lock.

#include "GsTestFiles.h"
#include "GsTestMutex.h"
#include "GsTestProcess.h"
#include "GsTestWindow.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

using updtest::ListFolder;
using updtest::ReadAll;
using Files = std::vector<std::string>;

constexpr char DIALOG_TITLE[] = "ラークスパーグリームアップデート";
constexpr char WRONG_FILE_TEXT[] = "アップデートするファイルが正しく指定されていません";
constexpr char ALREADY_DONE_TEXT[] = "ファイルは既にアップデートされています";
constexpr char DONE_TEXT[] = "アップデート終了しました";
constexpr char FAILURE_TEXT[] = "アップデートファイルが作成できませんでした";
constexpr char IN_USE_TEXT[] =
    "アップデートするファイルが使用中です。プログラムを終了してからもう一度実行してください";
constexpr int IDC_TARGET_PATH = 1001;
constexpr int IDC_CHANGE = 1002;
// The Open-File dialog's file-name box.
constexpr int FILE_NAME_BOX = 0x47C;
constexpr UINT ERROR_STYLE = MB_OK | MB_ICONERROR;
constexpr UINT INFO_STYLE = MB_OK | MB_ICONINFORMATION;

class UpdaterDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, gstest::NameIsTaken("TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME"))
            << "another updater runs";
        ASSERT_EQ(0, gstest::NameIsTaken("TARNS_HARBOR1999KITE07_GUIDAPPNAME"))
            << "the application runs";
        ASSERT_FALSE(scratch.GetPath().empty());
        ASSERT_TRUE(updtest::CopyTo(updtest::UpdaterProgram(), program));
    }

    std::string Path(const std::string& name) const { return scratch.GetPath() + "\\" + name; }

    // Starts the updater and waits for its dialog.
    void Start()
    {
        updater = std::make_unique<gstest::TestProcess>();
        ASSERT_TRUE(updater->Start(program, "", scratch.GetPath())) << GetLastError();
        dialog = updater->WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770", DIALOG_TITLE);
        ASSERT_NE(nullptr, dialog) << "no update dialog";
    }

    std::string EditText() const
    {
        return gstest::GetText(gstest::GetControl(dialog, IDC_TARGET_PATH));
    }
    int OkEnabled() const { return IsWindowEnabled(gstest::GetControl(dialog, IDOK)) ? 1 : 0; }

    // Presses a control (or posts the command when the control is disabled), reads the
    // message box that follows, which must be owned by the dialog, and closes it.
    gstest::MessageBoxState Command(int id)
    {
        gstest::MessageBoxState state;
        HWND control = gstest::GetControl(dialog, id);
        EXPECT_TRUE(control != nullptr && IsWindowEnabled(control)
                        ? gstest::PressButton(dialog, id)
                        : gstest::PostCommand(dialog, id));
        HWND box = updater->WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
        EXPECT_NE(nullptr, box) << "no message box";
        if (box != nullptr)
        {
            EXPECT_TRUE(gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS));
            EXPECT_EQ(dialog, state.owner);
            EXPECT_TRUE(gstest::PressButton(box, IDOK));
            EXPECT_TRUE(gstest::WaitUntilGone(box, gstest::STEP_TIMEOUT_MS));
        }
        return state;
    }

    void ExpectExitWithZero()
    {
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(updater->WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    // The Open-File dialog that "変更" shows: a second dialog of the process.
    HWND WaitForOpenDialog() const
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < gstest::STEP_TIMEOUT_MS)
        {
            for (HWND window : updater->GetWindows())
            {
                if (window != dialog && gstest::GetControl(window, FILE_NAME_BOX) != nullptr)
                {
                    return window;
                }
            }
            Sleep(50);
        }
        return nullptr;
    }

    gstest::ScratchFolder scratch{"dialog"};
    std::string program = Path("LarkspurgleamUpdater.exe");
    std::unique_ptr<gstest::TestProcess> updater;
    HWND dialog = nullptr;
};

TEST_F(UpdaterDialogTest, DialogShowsTheDefaultTargetCentredWithEveryControl)
{
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), Path("Larkspurgleam.exe")));
    Start();
    EXPECT_EQ(Path("Larkspurgleam.exe"), EditText());
    EXPECT_EQ(1, OkEnabled());
    const struct
    {
        int id;
        const char* className;
        const char* text; // null: not compared
    } expected[] = {
        {IDOK, "Button", "OK"},
        {IDCANCEL, "Button", "キャンセル"},
        {-1, "Static", nullptr}, // an icon: its text is the resource ordinal
        {-1, "Static",
         "ラークスパーグリームのバージョンを\n【Version 1.0.0.1】へアップデートします。"},
        {IDC_TARGET_PATH, "Edit", nullptr},
        {IDC_CHANGE, "Button", "変更"},
        {-1, "Static", "更新するEXE"},
    };
    const std::vector<gstest::ControlState> controls = gstest::GetControls(dialog);
    ASSERT_EQ(7u, controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i)
    {
        EXPECT_EQ(expected[i].id, static_cast<short>(controls[i].id)) << i;
        EXPECT_EQ(expected[i].className, controls[i].className) << i;
        EXPECT_TRUE(expected[i].text == nullptr || expected[i].text == controls[i].text) << i;
        EXPECT_EQ(1, controls[i].visible) << i;
    }
    EXPECT_NE(0, SendMessageA(controls[2].hwnd, STM_GETICON, 0, 0)) << "the icon shows";
    EXPECT_NE(0, controls[4].style & ES_READONLY);
    EXPECT_EQ(0, GetWindowLongA(dialog, GWL_STYLE) & WS_SYSMENU) << "no close box";
    RECT rect;
    ASSERT_TRUE(GetWindowRect(dialog, &rect));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - (rect.right - rect.left) / 2, rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - (rect.bottom - rect.top) / 2, rect.top);

    // Cancel, and the system's close command, end with 0 and change nothing.
    ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
    ExpectExitWithZero();
    Start();
    ASSERT_TRUE(gstest::PostSysCommand(dialog, SC_CLOSE));
    ExpectExitWithZero();
    EXPECT_EQ((Files{"Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
}

// One OK each, from the folder's state to the message and the files afterwards. The success
// and the "already updated" messages end the dialog; every other one keeps it open.
TEST_F(UpdaterDialogTest, OkOutcomes)
{
    const struct
    {
        const char* name;
        const char* target; // copied as Larkspurgleam.exe, or null
        long long size;     // the target's size, or 0 to keep it
        const char* backup; // copied as Larkspurgleam.bak, or null
        const char* text;
        const char* caption;
        UINT style;
        Files after; // besides the updater itself
    } cases[] = {
        {"eligible",
         "old",
         0,
         nullptr,
         DONE_TEXT,
         "Info",
         INFO_STYLE,
         {"Larkspurgleam.bak", "Larkspurgleam.exe"}},
        {"already updated, whatever its size",
         "new",
         2048001,
         nullptr,
         ALREADY_DONE_TEXT,
         "Info",
         INFO_STYLE,
         {"Larkspurgleam.exe"}},
        // What a run killed between its renames leaves where there are no hard links: the
        // dialog offers the target all the same, and OK finishes the update.
        {"interrupted between the renames",
         nullptr,
         0,
         "old",
         DONE_TEXT,
         "Info",
         INFO_STYLE,
         {"Larkspurgleam.bak", "Larkspurgleam.exe"}},
        {"one byte short",
         "old",
         2047999,
         nullptr,
         WRONG_FILE_TEXT,
         "Error",
         ERROR_STYLE,
         {"Larkspurgleam.exe"}},
        {"one byte long",
         "old",
         2048001,
         nullptr,
         WRONG_FILE_TEXT,
         "Error",
         ERROR_STYLE,
         {"Larkspurgleam.exe"}},
        {"no version information",
         "carrier",
         0,
         nullptr,
         WRONG_FILE_TEXT,
         "Error",
         ERROR_STYLE,
         {"Larkspurgleam.exe"}},
        {"absent: OK disabled, the command refused",
         nullptr,
         0,
         nullptr,
         WRONG_FILE_TEXT,
         "Error",
         ERROR_STYLE,
         {}},
    };
    for (const auto& row : cases)
    {
        SCOPED_TRACE(row.name);
        const std::string source = row.target == nullptr              ? ""
                                   : std::string(row.target) == "old" ? updtest::OldRelease()
                                   : std::string(row.target) == "new" ? updtest::NewRelease()
                                                                      : updtest::VersionCarrier();
        ASSERT_TRUE(source.empty() || updtest::CopyTo(source, Path("Larkspurgleam.exe")));
        ASSERT_TRUE(row.size == 0 || updtest::Resize(Path("Larkspurgleam.exe"), row.size));
        ASSERT_TRUE(row.backup == nullptr ||
                    updtest::CopyTo(updtest::OldRelease(), Path("Larkspurgleam.bak")));
        const std::string before = ReadAll(Path("Larkspurgleam.exe"));
        Start();
        EXPECT_EQ(row.after.empty() ? 0 : 1, OkEnabled());
        const gstest::MessageBoxState box = Command(IDOK);
        EXPECT_EQ(row.text, box.text);
        EXPECT_EQ(row.caption, box.caption);
        EXPECT_EQ(row.style, box.style);
        if (row.style == ERROR_STYLE)
        {
            Sleep(100);
            EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog must stay open";
            ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
        }
        ExpectExitWithZero();
        Files after = row.after;
        after.push_back("LarkspurgleamUpdater.exe");
        EXPECT_EQ(after, ListFolder(scratch.GetPath()));
        if (row.text == DONE_TEXT)
        {
            EXPECT_TRUE(ReadAll(Path("Larkspurgleam.bak")) == ReadAll(updtest::OldRelease()));
            EXPECT_TRUE(ReadAll(Path("Larkspurgleam.exe")) == ReadAll(updtest::NewRelease()) ||
                        !updtest::PayloadIsTheSample());
        }
        else
        {
            EXPECT_TRUE(ReadAll(Path("Larkspurgleam.exe")) == before) << "the target changed";
        }
        DeleteFileA(Path("Larkspurgleam.exe").c_str());
        DeleteFileA(Path("Larkspurgleam.bak").c_str());
    }
}

// Refusals of one running dialog, each leaving it open for the next: a file held by another
// program, a missing file, an overlong path, a damaged payload; then the same path updates.
TEST_F(UpdaterDialogTest, RefusalsKeepTheDialogOpenUntilTheFileCanBeUpdated)
{
    const std::string target = Path("Larkspurgleam.exe");
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), target));
    Start();
    for (DWORD share : {static_cast<DWORD>(FILE_SHARE_READ), static_cast<DWORD>(0)})
    {
        HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        const gstest::MessageBoxState inUse = Command(IDOK);
        CloseHandle(held);
        EXPECT_EQ(IN_USE_TEXT, inUse.text) << share;
        EXPECT_EQ("Error", inUse.caption);
        EXPECT_EQ(ERROR_STYLE, inUse.style);
    }
    HWND edit = gstest::GetControl(dialog, IDC_TARGET_PATH);
    for (const std::string& path :
         {Path("missing.exe"), Path(std::string(300, 'x') + "\\..\\Larkspurgleam.exe")})
    {
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        EXPECT_EQ(WRONG_FILE_TEXT, Command(IDOK).text) << path;
    }
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    EXPECT_EQ((Files{"Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
    EXPECT_EQ(DONE_TEXT, Command(IDOK).text);
    ExpectExitWithZero();

    // A payload damaged on its way to the user: the failure message, and nothing changes.
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), target));
    DeleteFileA(Path("Larkspurgleam.bak").c_str());
    std::vector<unsigned char> damaged = updtest::BuiltPayload();
    damaged.back() ^= 1;
    ASSERT_TRUE(
        updtest::WriteResources(program, {{"BIN", MAKEINTRESOURCEA(107), 1041, damaged}}, false));
    Start();
    EXPECT_EQ(FAILURE_TEXT, Command(IDOK).text);
    ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(target) == ReadAll(updtest::OldRelease()));
    EXPECT_EQ((Files{"Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(UpdaterDialogTest, ChangeChoosesAnotherFileAndACancelledChoiceChangesNothing)
{
    const std::string folder = scratch.MakeFolder("other");
    const std::string other = folder + "\\release.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), other));
    Start();
    ASSERT_EQ(0, OkEnabled());
    ASSERT_TRUE(gstest::PressButton(dialog, IDC_CHANGE));
    HWND open = WaitForOpenDialog();
    ASSERT_NE(nullptr, open) << "no Open-File dialog";
    ASSERT_TRUE(gstest::PressButton(open, IDCANCEL));
    ASSERT_TRUE(gstest::WaitUntilGone(open, gstest::STEP_TIMEOUT_MS));
    Sleep(100);
    EXPECT_EQ("", EditText());
    EXPECT_EQ(0, OkEnabled());

    ASSERT_TRUE(gstest::PressButton(dialog, IDC_CHANGE));
    open = WaitForOpenDialog();
    ASSERT_NE(nullptr, open) << "no Open-File dialog";
    SendMessageA(gstest::GetControl(open, FILE_NAME_BOX), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(other.c_str()));
    ASSERT_TRUE(gstest::PressButton(open, IDOK));
    ASSERT_TRUE(gstest::WaitUntilGone(open, gstest::STEP_TIMEOUT_MS));
    ASSERT_TRUE(gstest::WaitForText(gstest::GetControl(dialog, IDC_TARGET_PATH), other,
                                    gstest::STEP_TIMEOUT_MS))
        << EditText();
    EXPECT_EQ(1, OkEnabled());
    EXPECT_EQ(DONE_TEXT, Command(IDOK).text);
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(folder + "\\release.bak") == ReadAll(updtest::OldRelease()));
    EXPECT_EQ((Files{"release.bak", "release.exe"}), ListFolder(folder));
}

TEST_F(UpdaterDialogTest, RunningApplicationStopsTheUpdaterBeforeItsDialog)
{
    // The new sample release holds the application's name while it runs.
    gstest::TestProcess application;
    ASSERT_TRUE(application.Start(updtest::NewRelease()));
    ASSERT_NE(nullptr, application.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770"));
    EXPECT_EQ(1, gstest::NameIsTaken("TARNS_HARBOR1999KITE07_GUIDAPPNAME"));
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), Path("Larkspurgleam.exe")));
    updater = std::make_unique<gstest::TestProcess>();
    ASSERT_TRUE(updater->Start(program, "", scratch.GetPath()));
    HWND box = updater->WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(nullptr, updater->WaitForWindow(0, "#32770", DIALOG_TITLE));
    ASSERT_TRUE(gstest::PressButton(box, IDOK));
    ExpectExitWithZero();
    application.Terminate();
    EXPECT_TRUE(ReadAll(Path("Larkspurgleam.exe")) == ReadAll(updtest::OldRelease()));
}

} // namespace
