// The common file and folder dialogs, shown for real (under Xvfb) and driven from a helper
// thread of the test while the test's own thread sits in the modal call.
#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "GsTestWindow.h"
#include "GsUtility.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace
{

const int kFileNameBox = 0x47C;
const int kFolderTree = 0x3741;

// Polls `found` every 50 ms until it gives a window or the step time is over.
HWND WaitFor(const std::function<HWND()>& found)
{
    const DWORD start = GetTickCount();
    HWND window = found();
    while (window == nullptr && GetTickCount() - start < gstest::STEP_TIMEOUT_MS)
    {
        Sleep(50);
        window = found();
    }
    return window;
}

BOOL CALLBACK MatchOwnDialog(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        gstest::GetClass(window) != "#32770")
    {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Runs `steps` on a helper thread on the dialog that the test's thread is about to show.
class DialogDriver
{
public:
    explicit DialogDriver(std::function<void(HWND)> steps)
        : worker(
              [this, steps]
              {
                  dialog = WaitFor(
                      []
                      {
                          HWND found = nullptr;
                          EnumWindows(MatchOwnDialog, reinterpret_cast<LPARAM>(&found));
                          return found;
                      });
                  if (dialog != nullptr)
                      steps(dialog);
              })
    {
    }
    ~DialogDriver() { Finish(); }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Waits for the steps; true when a dialog was found.
    bool Finish()
    {
        if (worker.joinable())
            worker.join();
        return dialog != nullptr;
    }

private:
    HWND dialog = nullptr;
    std::thread worker;
};

void TypeFileName(HWND dialog, const char* name, int button)
{
    SendMessageA(gstest::GetControl(dialog, kFileNameBox), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(name));
    gstest::PressButton(dialog, button);
}

// Answers the box that the dialog puts up over itself with `answer`; true when one came.
bool AnswerBoxOver(HWND dialog, int answer)
{
    const HWND box = WaitFor(
        [dialog]
        {
            const HWND popup = GetLastActivePopup(dialog);
            return popup != dialog && gstest::IsMessageBox(popup) ? popup : nullptr;
        });
    if (box != nullptr)
    {
        gstest::PressButton(box, answer);
        gstest::WaitUntilGone(box, gstest::STEP_TIMEOUT_MS);
    }
    return box != nullptr;
}

const char kFilter[] = "text file(*.txt)\0*.txt\0all(*.*)\0*.*\0";

class GsUtilityDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { GetCurrentDirectoryA(sizeof startDirectory, startDirectory); }
    // The dialogs move the current directory to the folder they show.
    void TearDown() override { SetCurrentDirectoryA(startDirectory); }

    static void MakeFile(const std::string& path)
    {
        CloseHandle(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }

    char startDirectory[MAX_PATH] = {};
    gstest::ScratchFolder scratch{"gsdialog"};
    CGsUtility utility;
    char path[MAX_PATH] = {};
    char title[MAX_PATH] = {};
    char directory[MAX_PATH] = {};
};

// "表" ends in the byte 0x5C: the folder handed back must not be cut inside it. A missing
// file is refused first.
TEST_F(GsUtilityDialogTest, OpenRequiresTheFileAndGivesItsJapaneseFolderWhole)
{
    ASSERT_EQ(932u, GetACP());
    const std::string folder = scratch.MakeFolder("ソフト\\表");
    ASSERT_FALSE(folder.empty());
    MakeFile(folder + "\\a.txt");
    std::strcpy(directory, folder.c_str());
    bool refused = false;
    DialogDriver driver(
        [&refused](HWND dialog)
        {
            TypeFileName(dialog, "missing.txt", IDOK);
            refused = AnswerBoxOver(dialog, IDOK);
            TypeFileName(dialog, "a.txt", IDOK);
        });
    const int chosen = utility.OpenFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish()) << "no dialog appeared";
    EXPECT_TRUE(refused) << "the file must exist";
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(folder + "\\a.txt", path);
    EXPECT_STREQ("a.txt", title);
    EXPECT_EQ(folder, directory) << "the folder, without a trailing backslash";
}

TEST_F(GsUtilityDialogTest, SaveAddsTheExtensionAndAsksBeforeOverwriting)
{
    MakeFile(scratch.GetPath() + "\\report.txt");
    std::strcpy(directory, scratch.GetPath().c_str());
    bool asked = false;
    DialogDriver driver(
        [&asked](HWND dialog)
        {
            TypeFileName(dialog, "report", IDOK);
            asked = AnswerBoxOver(dialog, IDYES);
        });
    const int chosen = utility.SaveFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish());
    EXPECT_TRUE(asked);
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(scratch.GetPath() + "\\report.txt", path);
    EXPECT_EQ(scratch.GetPath(), directory);
}

TEST_F(GsUtilityDialogTest, CancelLeavesTheDirectory)
{
    std::strcpy(directory, scratch.GetPath().c_str());
    char before[MAX_PATH];
    std::memcpy(before, directory, sizeof before);
    DialogDriver driver([](HWND dialog) { gstest::PressButton(dialog, IDCANCEL); });
    EXPECT_EQ(0, utility.OpenFileDialog(nullptr, path, title, directory, kFilter, "txt"));
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(0, std::memcmp(before, directory, sizeof before));
}

TEST_F(GsUtilityDialogTest, FolderDialogStartsAtTheGivenFolder)
{
    // wine preselects only a few levels below the desktop: a folder right under C:.
    const std::string folder = "C:\\gsbrowse-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    DialogDriver driver(
        [](HWND dialog)
        {
            const HWND tree = gstest::GetControl(dialog, kFolderTree);
            WaitFor([tree] { return reinterpret_cast<HWND>(TreeView_GetSelection(tree)); });
            gstest::PressButton(dialog, IDOK);
        });
    const int chosen = utility.BrowseFolderDialog(nullptr, path, "choose", folder.c_str());
    const bool appeared = driver.Finish();
    RemoveDirectoryA(folder.c_str());
    ASSERT_TRUE(appeared);
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(folder, path);

    // A selection too long for the buffer is cut and terminated; cancel gives 0.
    const std::string tooLong = "C:\\" + std::string(400, 'x');
    std::strcpy(path, "untouched");
    DialogDriver cancel([](HWND dialog) { gstest::PressButton(dialog, IDCANCEL); });
    EXPECT_EQ(0, utility.BrowseFolderDialog(nullptr, path, "choose", tooLong.c_str()));
    ASSERT_TRUE(cancel.Finish());
    EXPECT_STREQ("untouched", path);
    EXPECT_EQ(tooLong.substr(0, MAX_PATH - 1), g_szBrowseSelection);
}

// The callback selects the remembered folder when the dialog starts, and only then.
TEST(GsBrowseCallbackTest, SelectsTheRememberedFolderOnInitialisation)
{
    struct Sent
    {
        UINT message = 0;
        WPARAM wParam = 0;
        std::string text;
        int count = 0;
    };
    static Sent sent;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT
    {
        if (message < WM_USER)
            return DefWindowProcA(window, message, wParam, lParam);
        sent = {message, wParam, reinterpret_cast<const char*>(lParam), sent.count + 1};
        return 0;
    };
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "GsBrowseRecorder";
    RegisterClassA(&windowClass);
    const HWND recorder = CreateWindowA("GsBrowseRecorder", "", WS_OVERLAPPED, 0, 0, 10, 10,
                                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, recorder);
    std::strcpy(g_szBrowseSelection, "C:\\windows\\system32");
    EXPECT_EQ(0, BrowseCallbackProc(recorder, BFFM_SELCHANGED, 0, 0));
    EXPECT_EQ(0, sent.count);
    EXPECT_EQ(0, BrowseCallbackProc(recorder, BFFM_INITIALIZED, 0, 0));
    EXPECT_EQ(1, sent.count);
    EXPECT_EQ(static_cast<UINT>(BFFM_SETSELECTIONA), sent.message);
    EXPECT_EQ(1u, sent.wParam) << "lParam is a path";
    EXPECT_EQ("C:\\windows\\system32", sent.text);
    DestroyWindow(recorder);
}

} // namespace
