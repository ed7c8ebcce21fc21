// The updater as the user meets it: a copy of the program of this build in a scratch folder,
// started, read and pressed through the UI driver, with fresh copies of the sample releases.
// Holds the product's fixed mutex names: runs under the gs_product_mutexes lock.

#include "GsTestFiles.h"
#include "GsTestMutex.h"
#include "GsTestProcess.h"
#include "GsTestWindow.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using updtest::ListFolder;
using updtest::ReadAll;

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

using gstest::NameIsTaken;

class UpdaterDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, NameIsTaken("TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME"))
            << "another updater runs";
        ASSERT_EQ(0, NameIsTaken("TARNS_HARBOR1999KITE07_GUIDAPPNAME")) << "the application runs";
        ASSERT_FALSE(scratch.GetPath().empty());
        program = scratch.GetPath() + "\\LarkspurgleamUpdater.exe";
        target = scratch.GetPath() + "\\Larkspurgleam.exe";
        backup = scratch.GetPath() + "\\Larkspurgleam.bak";
        ASSERT_TRUE(updtest::CopyTo(updtest::UpdaterProgram(), program));
        oldRelease = ReadAll(updtest::OldRelease());
        newRelease = ReadAll(updtest::NewRelease());
    }

    void PlaceTarget(const std::string& source) { ASSERT_TRUE(updtest::CopyTo(source, target)); }

    // Starts the updater and waits for its dialog.
    void Start()
    {
        ASSERT_TRUE(updater.Start(program, "", scratch.GetPath())) << GetLastError();
        dialog = updater.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770", DIALOG_TITLE);
        ASSERT_NE(nullptr, dialog) << "no update dialog";
    }

    std::string EditText() const
    {
        return gstest::GetText(gstest::GetControl(dialog, IDC_TARGET_PATH));
    }
    int OkEnabled() const { return IsWindowEnabled(gstest::GetControl(dialog, IDOK)) ? 1 : 0; }
    void SetEditText(const std::string& text) const
    {
        SendMessageA(gstest::GetControl(dialog, IDC_TARGET_PATH), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(text.c_str()));
    }

    // Presses a control (or posts the command when the control is disabled) and reads the
    // message box that follows, which must be owned by the dialog.
    gstest::MessageBoxState CommandAndReadBox(int id)
    {
        gstest::MessageBoxState state;
        HWND control = gstest::GetControl(dialog, id);
        if (control != nullptr && IsWindowEnabled(control))
        {
            EXPECT_TRUE(gstest::PressButton(dialog, id));
        }
        else
        {
            EXPECT_TRUE(gstest::PostCommand(dialog, id));
        }
        HWND box = updater.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
        EXPECT_NE(nullptr, box) << "no message box";
        if (box != nullptr)
        {
            EXPECT_TRUE(gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS));
            EXPECT_EQ(dialog, state.owner);
        }
        return state;
    }

    void CloseBox(const gstest::MessageBoxState& state)
    {
        ASSERT_NE(nullptr, state.hwnd);
        ASSERT_TRUE(gstest::PressButton(state.hwnd, IDOK));
        ASSERT_TRUE(gstest::WaitUntilGone(state.hwnd, gstest::STEP_TIMEOUT_MS));
    }

    // OK on a file the updater must refuse: the error, and the dialog stays open.
    void ExpectRefusal(const char* what)
    {
        const gstest::MessageBoxState box = CommandAndReadBox(IDOK);
        EXPECT_EQ(WRONG_FILE_TEXT, box.text) << what;
        EXPECT_EQ("Error", box.caption) << what;
        EXPECT_EQ(ERROR_STYLE, box.style) << what;
        CloseBox(box);
        Sleep(100);
        EXPECT_TRUE(IsWindowVisible(dialog)) << what << ": the dialog must stay open";
        EXPECT_TRUE(updater.IsRunning()) << what;
    }

    void ExpectExitWithZero()
    {
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(updater.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    // The Open-File dialog that "変更" shows: a second dialog of the process.
    HWND WaitForOpenDialog() const
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < gstest::STEP_TIMEOUT_MS)
        {
            for (HWND window : updater.GetWindows())
            {
                if (window != dialog && gstest::GetClass(window) == "#32770" &&
                    !gstest::IsMessageBox(window) &&
                    gstest::GetControl(window, FILE_NAME_BOX) != nullptr)
                {
                    return window;
                }
            }
            Sleep(50);
        }
        return nullptr;
    }

    gstest::ScratchFolder scratch{"dialog"};
    gstest::TestProcess updater;
    HWND dialog = nullptr;
    std::string program;
    std::string target;
    std::string backup;
    std::string oldRelease;
    std::string newRelease;
};

TEST_F(UpdaterDialogTest, DefaultTargetFillsTheEditAndEnablesOk)
{
    PlaceTarget(updtest::OldRelease());
    Start();
    EXPECT_EQ(target, EditText());
    EXPECT_EQ(1, OkEnabled());

    const struct
    {
        int id;
        const char* className;
        const char* text;
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
        if (expected[i].text != nullptr)
        {
            EXPECT_EQ(expected[i].text, controls[i].text) << i;
        }
        EXPECT_EQ(1, controls[i].visible) << i;
    }
    EXPECT_EQ(SS_ICON, controls[2].style & SS_TYPEMASK);
    EXPECT_NE(0, SendMessageA(controls[2].hwnd, STM_GETICON, 0, 0)) << "the icon shows";
    EXPECT_NE(0, controls[4].style & ES_READONLY);

    // No close box, centred on the screen.
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(0, style & WS_SYSMENU);
    EXPECT_EQ(static_cast<LONG>(WS_CAPTION), style & WS_CAPTION);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(dialog, &rect));
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2, rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, rect.top);

    ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(target) == oldRelease);
    EXPECT_FALSE(updtest::Exists(backup));
}

TEST_F(UpdaterDialogTest, AbsentDefaultTargetLeavesTheEditEmptyAndOkDisabled)
{
    Start();
    EXPECT_EQ("", EditText());
    EXPECT_EQ(0, OkEnabled());
    // The command can still arrive (by keyboard, say): an empty path is refused.
    ExpectRefusal("empty edit");
    EXPECT_EQ(0, OkEnabled()) << "a failed OK changes nothing";
    ASSERT_TRUE(gstest::PostSysCommand(dialog, SC_CLOSE));
    ExpectExitWithZero();
    EXPECT_EQ(std::vector<std::string>{"LarkspurgleamUpdater.exe"}, ListFolder(scratch.GetPath()));
}

TEST_F(UpdaterDialogTest, OkUpdatesAnEligibleTarget)
{
    PlaceTarget(updtest::OldRelease());
    Start();
    const gstest::MessageBoxState box = CommandAndReadBox(IDOK);
    EXPECT_EQ(DONE_TEXT, box.text);
    EXPECT_EQ("Info", box.caption);
    EXPECT_EQ(INFO_STYLE, box.style);
    CloseBox(box);
    ExpectExitWithZero();
    const std::string updated = ReadAll(target);
    EXPECT_EQ(2048000u, updated.size());
    if (updtest::PayloadIsTheSample())
    {
        EXPECT_TRUE(updated == newRelease) << "the target is not the new release";
    }
    EXPECT_TRUE(ReadAll(backup) == oldRelease) << "the backup is not the old release";
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.bak", "Larkspurgleam.exe",
                                        "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(UpdaterDialogTest, AlreadyUpdatedTargetIsReportedWhateverItsSize)
{
    PlaceTarget(updtest::NewRelease());
    ASSERT_TRUE(updtest::Resize(target, 2048001));
    const std::string before = ReadAll(target);
    Start();
    const gstest::MessageBoxState box = CommandAndReadBox(IDOK);
    EXPECT_EQ(ALREADY_DONE_TEXT, box.text);
    EXPECT_EQ("Info", box.caption);
    EXPECT_EQ(INFO_STYLE, box.style);
    CloseBox(box);
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(target) == before);
    EXPECT_FALSE(updtest::Exists(backup));
}

TEST_F(UpdaterDialogTest, WrongSizesAndWrongFilesAreRefusedAndTheDialogStays)
{
    PlaceTarget(updtest::OldRelease());
    ASSERT_TRUE(updtest::Resize(target, 2047999));
    Start();
    ExpectRefusal("2,047,999 bytes");
    EXPECT_EQ(2047999u, ReadAll(target).size());

    // The file is closed between two OKs: it can be changed meanwhile.
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), target));
    ASSERT_TRUE(updtest::Resize(target, 2048001));
    ExpectRefusal("2,048,001 bytes");
    EXPECT_EQ(2048001u, ReadAll(target).size());

    ASSERT_TRUE(updtest::CopyTo(updtest::VersionCarrier(), target));
    ExpectRefusal("a program without version information");

    ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
    ExpectExitWithZero();
    EXPECT_FALSE(updtest::Exists(backup));
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(UpdaterDialogTest, UnreadableMissingAndOverlongPathsAreRefused)
{
    PlaceTarget(updtest::OldRelease());
    Start();
    SetEditText(scratch.GetPath() + "\\missing.exe");
    ExpectRefusal("a missing file");
    // Longer than any path buffer, though it names the real target.
    SetEditText(scratch.GetPath() + "\\" + std::string(300, 'x') + "\\..\\Larkspurgleam.exe");
    ExpectRefusal("a path of more than 259 characters");

    ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(target) == oldRelease);
    EXPECT_FALSE(updtest::Exists(backup));
}

TEST_F(UpdaterDialogTest, CancelAndTheSystemCloseEndWithZeroAndChangeNothing)
{
    PlaceTarget(updtest::OldRelease());
    Start();
    ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
    ExpectExitWithZero();

    gstest::TestProcess second;
    ASSERT_TRUE(second.Start(program, "", scratch.GetPath()));
    HWND again = second.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770", DIALOG_TITLE);
    ASSERT_NE(nullptr, again);
    ASSERT_TRUE(gstest::PostSysCommand(again, SC_CLOSE));
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(second.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(0u, exitCode);

    EXPECT_TRUE(ReadAll(target) == oldRelease);
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(UpdaterDialogTest, ChangeChoosesAnotherFileEnablesOkAndThatFileIsUpdated)
{
    const std::string folder = scratch.MakeFolder("other");
    ASSERT_FALSE(folder.empty());
    const std::string other = folder + "\\release.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), other));
    Start();
    ASSERT_EQ(0, OkEnabled());

    ASSERT_TRUE(gstest::PressButton(dialog, IDC_CHANGE));
    HWND open = WaitForOpenDialog();
    ASSERT_NE(nullptr, open) << "no Open-File dialog";
    SendMessageA(gstest::GetControl(open, FILE_NAME_BOX), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(other.c_str()));
    ASSERT_TRUE(gstest::PressButton(open, IDOK));
    ASSERT_TRUE(gstest::WaitUntilGone(open, gstest::STEP_TIMEOUT_MS));
    ASSERT_TRUE(gstest::WaitForText(gstest::GetControl(dialog, IDC_TARGET_PATH), other,
                                    gstest::STEP_TIMEOUT_MS))
        << EditText();
    EXPECT_EQ(1, OkEnabled());

    const gstest::MessageBoxState box = CommandAndReadBox(IDOK);
    EXPECT_EQ(DONE_TEXT, box.text);
    CloseBox(box);
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(folder + "\\release.bak") == oldRelease);
    EXPECT_EQ(2048000u, ReadAll(other).size());
    EXPECT_FALSE(ReadAll(other) == oldRelease);
}

TEST_F(UpdaterDialogTest, CancelledChangeChangesNothing)
{
    for (bool withTarget : {true, false})
    {
        if (withTarget)
        {
            PlaceTarget(updtest::OldRelease());
        }
        else
        {
            ASSERT_TRUE(DeleteFileA(target.c_str()));
        }
        gstest::TestProcess run;
        ASSERT_TRUE(run.Start(program, "", scratch.GetPath()));
        dialog = run.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770", DIALOG_TITLE);
        ASSERT_NE(nullptr, dialog);
        const std::string edit = EditText();
        const int enabled = OkEnabled();
        EXPECT_EQ(withTarget ? 1 : 0, enabled);

        ASSERT_TRUE(gstest::PressButton(dialog, IDC_CHANGE));
        HWND open = nullptr;
        const DWORD start = GetTickCount();
        while (open == nullptr && GetTickCount() - start < gstest::STEP_TIMEOUT_MS)
        {
            for (HWND window : run.GetWindows())
            {
                if (window != dialog && gstest::GetControl(window, FILE_NAME_BOX) != nullptr)
                {
                    open = window;
                }
            }
            Sleep(50);
        }
        ASSERT_NE(nullptr, open) << "no Open-File dialog";
        ASSERT_TRUE(gstest::PressButton(open, IDCANCEL));
        ASSERT_TRUE(gstest::WaitUntilGone(open, gstest::STEP_TIMEOUT_MS));
        Sleep(100);
        EXPECT_EQ(edit, EditText());
        EXPECT_EQ(enabled, OkEnabled());

        ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(run.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }
}

TEST_F(UpdaterDialogTest, TargetHeldByAnotherProgramIsReportedAsInUseAndTheDialogStays)
{
    PlaceTarget(updtest::OldRelease());
    Start();
    // Readable, but neither writable nor deletable while this process holds it; then not
    // even readable.
    for (DWORD share : {static_cast<DWORD>(FILE_SHARE_READ), static_cast<DWORD>(0)})
    {
        HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        const gstest::MessageBoxState inUse = CommandAndReadBox(IDOK);
        EXPECT_EQ(IN_USE_TEXT, inUse.text) << share;
        EXPECT_EQ("Error", inUse.caption);
        EXPECT_EQ(ERROR_STYLE, inUse.style);
        CloseBox(inUse);
        CloseHandle(held);
    }
    Sleep(100);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(ReadAll(target) == oldRelease) << "the target changed";
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));

    // Once the file is free, the same path updates.
    const gstest::MessageBoxState done = CommandAndReadBox(IDOK);
    EXPECT_EQ(DONE_TEXT, done.text);
    CloseBox(done);
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(backup) == oldRelease);
}

TEST_F(UpdaterDialogTest, UpdateInterruptedBetweenItsRenamesIsOfferedAndFinished)
{
    // What a run killed between its two renames leaves on a file system without hard links.
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), backup));
    ASSERT_TRUE(updtest::CopyTo(updtest::NewRelease(), scratch.GetPath() + "\\Larkspurgleam.new"));
    Start();
    EXPECT_EQ(target, EditText());
    EXPECT_EQ(1, OkEnabled());
    const gstest::MessageBoxState done = CommandAndReadBox(IDOK);
    EXPECT_EQ(DONE_TEXT, done.text);
    CloseBox(done);
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(backup) == oldRelease);
    EXPECT_TRUE(ReadAll(target) == newRelease || !updtest::PayloadIsTheSample());
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.bak", "Larkspurgleam.exe",
                                        "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(UpdaterDialogTest, DamagedPayloadIsReportedBeforeAnythingChanges)
{
    std::vector<unsigned char> damaged = updtest::BuiltPayload();
    ASSERT_GT(damaged.size(), 2000u);
    damaged.resize(damaged.size() - 1000);
    ASSERT_TRUE(
        updtest::WriteResources(program, {{"BIN", MAKEINTRESOURCEA(107), 1041, damaged}}, false));
    PlaceTarget(updtest::OldRelease());
    Start();
    const gstest::MessageBoxState failure = CommandAndReadBox(IDOK);
    EXPECT_EQ(FAILURE_TEXT, failure.text);
    EXPECT_EQ("Error", failure.caption);
    CloseBox(failure);
    ASSERT_TRUE(gstest::PressButton(dialog, IDCANCEL));
    ExpectExitWithZero();
    EXPECT_TRUE(ReadAll(target) == oldRelease);
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(UpdaterDialogTest, RunningApplicationStopsTheUpdaterBeforeItsDialog)
{
    // The new sample release holds the application's name while it runs.
    gstest::TestProcess application;
    ASSERT_TRUE(application.Start(updtest::NewRelease()));
    ASSERT_NE(nullptr, application.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770"));
    EXPECT_EQ(1, NameIsTaken("TARNS_HARBOR1999KITE07_GUIDAPPNAME"));
    PlaceTarget(updtest::OldRelease());
    ASSERT_TRUE(updater.Start(program, "", scratch.GetPath()));
    HWND box = updater.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(nullptr, updater.WaitForWindow(0, "#32770", DIALOG_TITLE));
    ASSERT_TRUE(gstest::PressButton(box, IDOK));
    ExpectExitWithZero();
    application.Terminate();
    EXPECT_TRUE(ReadAll(target) == oldRelease);
}

} // namespace
