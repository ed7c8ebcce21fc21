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
#include <vector>

namespace
{

// The file dialog's file-name box and the folder dialog's tree.
const int kFileNameBox = 0x47C;
const int kFolderTree = 0x3741;

struct DialogSearch
{
    HWND found = nullptr;
};

BOOL CALLBACK MatchOwnDialog(HWND window, LPARAM context)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        gstest::GetClass(window) == "#32770")
    {
        reinterpret_cast<DialogSearch*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

// The UI driver waits for windows of another process; these dialogs belong to this one.
HWND WaitForOwnDialog(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        DialogSearch search;
        EnumWindows(MatchOwnDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount() - start >= timeoutMs)
        {
            return search.found;
        }
        Sleep(50);
    }
}

// Waits on a helper thread for the dialog that the test's thread is about to show, then runs
// `steps` on it. The steps only post and send messages; the test checks what they left.
class DialogDriver
{
public:
    explicit DialogDriver(std::function<void(HWND)> steps)
        : worker(
              [this, steps]
              {
                  dialog = WaitForOwnDialog(gstest::STEP_TIMEOUT_MS);
                  if (dialog != nullptr)
                  {
                      steps(dialog);
                  }
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
        {
            worker.join();
        }
        return dialog != nullptr;
    }

private:
    HWND dialog = nullptr;
    std::thread worker;
};

void TypeFileNameAndPress(HWND dialog, const char* name, int button)
{
    SendMessageA(gstest::GetControl(dialog, kFileNameBox), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(name));
    gstest::PressButton(dialog, button);
}

// The message box that the dialog puts up over itself, or null after the step time.
HWND WaitForBoxOver(HWND dialog)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < gstest::STEP_TIMEOUT_MS)
    {
        Sleep(50);
        const HWND box = GetLastActivePopup(dialog);
        if (box != dialog && gstest::IsMessageBox(box))
        {
            return box;
        }
    }
    return nullptr;
}

const char kFilter[] = "text file(*.txt)\0*.txt\0all(*.*)\0*.*\0";

class GsUtilityDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof(startDirectory), startDirectory);
        ASSERT_FALSE(scratch.GetPath().empty());
        CloseHandle(CreateFileA((scratch.GetPath() + "\\choose.txt").c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_ALWAYS, 0, nullptr));
    }

    // The dialogs move the current directory to the folder they show, which would keep the
    // scratch folder from being removed.
    void TearDown() override { SetCurrentDirectoryA(startDirectory); }

    char startDirectory[MAX_PATH] = {};
    gstest::ScratchFolder scratch{"gsdialog"};
    CGsUtility utility;
    char path[MAX_PATH] = {};
    char title[MAX_PATH] = {};
    char directory[MAX_PATH] = {};
};

TEST_F(GsUtilityDialogTest, OpenChoosesAnExistingFile)
{
    std::strcpy(directory, scratch.GetPath().c_str());
    DialogDriver driver([](HWND dialog) { TypeFileNameAndPress(dialog, "choose.txt", IDOK); });
    const int chosen = utility.OpenFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish()) << "no dialog appeared";
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(scratch.GetPath() + "\\choose.txt", path);
    EXPECT_STREQ("choose.txt", title);
    EXPECT_EQ(scratch.GetPath(), directory) << "the folder, without a trailing backslash";
}

TEST_F(GsUtilityDialogTest, OpenLeavesJapaneseFoldersWhole)
{
    // "表" ends in the byte 0x5C: the folder must not be cut inside it.
    ASSERT_EQ(932u, GetACP());
    const std::string folder = scratch.MakeFolder("ソフト\\表");
    ASSERT_FALSE(folder.empty());
    CloseHandle(CreateFileA((folder + "\\a.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr));
    std::strcpy(directory, folder.c_str());
    DialogDriver driver([](HWND dialog) { TypeFileNameAndPress(dialog, "a.txt", IDOK); });
    const int chosen = utility.OpenFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(folder + "\\a.txt", path);
    EXPECT_EQ(folder, directory);
}

TEST_F(GsUtilityDialogTest, CancelLeavesTheDirectory)
{
    std::strcpy(directory, scratch.GetPath().c_str());
    std::strcpy(path, "choose.txt");
    char before[MAX_PATH];
    std::memcpy(before, directory, sizeof(before));
    DialogDriver driver([](HWND dialog) { gstest::PressButton(dialog, IDCANCEL); });
    const int chosen = utility.OpenFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(0, chosen);
    EXPECT_EQ(0, std::memcmp(before, directory, sizeof(before)));
}

TEST_F(GsUtilityDialogTest, OpenRefusesAMissingFile)
{
    std::strcpy(directory, scratch.GetPath().c_str());
    // The dialog answers a missing name with a box of its own and stays open; the driver
    // closes the box, then cancels the dialog.
    bool refused = false;
    DialogDriver driver(
        [&refused](HWND dialog)
        {
            TypeFileNameAndPress(dialog, "missing.txt", IDOK);
            const HWND box = WaitForBoxOver(dialog);
            refused = box != nullptr;
            if (box != nullptr)
            {
                gstest::PressButton(box, IDOK);
                gstest::WaitUntilGone(box, gstest::STEP_TIMEOUT_MS);
            }
            gstest::PressButton(dialog, IDCANCEL);
        });
    const int chosen = utility.OpenFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish());
    EXPECT_TRUE(refused) << "the file must exist";
    EXPECT_EQ(0, chosen);
    EXPECT_EQ(scratch.GetPath(), directory);
}

TEST_F(GsUtilityDialogTest, SaveChoosesANewFileWithTheDefaultExtension)
{
    std::strcpy(directory, scratch.GetPath().c_str());
    DialogDriver driver([](HWND dialog) { TypeFileNameAndPress(dialog, "report", IDOK); });
    const int chosen = utility.SaveFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(scratch.GetPath() + "\\report.txt", path);
    EXPECT_STREQ("report.txt", title);
    EXPECT_EQ(scratch.GetPath(), directory);
}

TEST_F(GsUtilityDialogTest, SaveAsksBeforeOverwriting)
{
    std::strcpy(directory, scratch.GetPath().c_str());
    bool asked = false;
    DialogDriver driver(
        [&asked](HWND dialog)
        {
            TypeFileNameAndPress(dialog, "choose.txt", IDOK);
            const HWND box = WaitForBoxOver(dialog);
            asked = box != nullptr;
            gstest::PressButton(box != nullptr ? box : dialog, box != nullptr ? IDYES : IDCANCEL);
        });
    const int chosen = utility.SaveFileDialog(nullptr, path, title, directory, kFilter, "txt");
    ASSERT_TRUE(driver.Finish());
    EXPECT_TRUE(asked);
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(scratch.GetPath() + "\\choose.txt", path);
}

// ---------------------------------------------------------------------------------------------
// Folder dialog

// A window of the test's own that records what it is sent.
class RecordingWindow
{
public:
    struct Message
    {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::string text; // the text at lParam when the message carries a path
    };

    RecordingWindow()
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "GsRecordingWindow";
        RegisterClassA(&windowClass);
        window = CreateWindowA("GsRecordingWindow", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RecordingWindow() { DestroyWindow(window); }
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    HWND window = nullptr;
    std::vector<Message> received;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && message >= WM_USER)
        {
            const char* text = reinterpret_cast<const char*>(lParam);
            self->received.push_back(
                {message, wParam, lParam, message == BFFM_SETSELECTIONA ? text : ""});
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
};

TEST(GsBrowseCallbackTest, SelectsTheRememberedFolderWhenTheDialogStarts)
{
    RecordingWindow recorder;
    ASSERT_NE(nullptr, recorder.window);
    std::strcpy(g_szBrowseSelection, "C:\\windows\\system32");

    EXPECT_EQ(0, BrowseCallbackProc(recorder.window, BFFM_INITIALIZED, 0, 0));
    ASSERT_EQ(1u, recorder.received.size());
    const RecordingWindow::Message& sent = recorder.received[0];
    EXPECT_EQ(static_cast<UINT>(BFFM_SETSELECTIONA), sent.message);
    EXPECT_EQ(1u, sent.wParam) << "lParam is a path";
    EXPECT_EQ(reinterpret_cast<LPARAM>(g_szBrowseSelection), sent.lParam);
    EXPECT_EQ("C:\\windows\\system32", sent.text);

    // Any other notification sends nothing.
    EXPECT_EQ(0, BrowseCallbackProc(recorder.window, BFFM_SELCHANGED, 0, 0));
    EXPECT_EQ(1u, recorder.received.size());
}

class GsBrowseFolderTest : public ::testing::Test
{
protected:
    gstest::ScratchFolder scratch{"gsbrowse"};
    CGsUtility utility;
    char path[MAX_PATH] = {};
};

TEST_F(GsBrowseFolderTest, ReturnsThePreselectedFolder)
{
    // wine's folder dialog preselects only a few levels below the desktop (a folder six levels
    // deep stays unselected), so this folder lies directly under the root of drive C.
    const std::string folder = "C:\\gsbrowse-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    // OK once the tree shows a selection, which the callback sets as the dialog starts.
    DialogDriver driver(
        [](HWND dialog)
        {
            const HWND tree = gstest::GetControl(dialog, kFolderTree);
            const DWORD start = GetTickCount();
            while (TreeView_GetSelection(tree) == nullptr &&
                   GetTickCount() - start < gstest::STEP_TIMEOUT_MS)
            {
                Sleep(50);
            }
            gstest::PressButton(dialog, IDOK);
        });
    const int chosen = utility.BrowseFolderDialog(nullptr, path, "choose", folder.c_str());
    const bool appeared = driver.Finish();
    RemoveDirectoryA(folder.c_str());
    ASSERT_TRUE(appeared);
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(folder, path);
    EXPECT_EQ(folder, g_szBrowseSelection);
}

TEST_F(GsBrowseFolderTest, CancelReturnsZero)
{
    std::strcpy(path, "untouched");
    DialogDriver driver([](HWND dialog) { gstest::PressButton(dialog, IDCANCEL); });
    const int chosen =
        utility.BrowseFolderDialog(nullptr, path, "choose", scratch.GetPath().c_str());
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(0, chosen);
    EXPECT_STREQ("untouched", path);
}

TEST_F(GsBrowseFolderTest, NullSelectionLeavesTheRememberedOne)
{
    std::strcpy(g_szBrowseSelection, "C:\\remembered");
    DialogDriver driver([](HWND dialog) { gstest::PressButton(dialog, IDCANCEL); });
    EXPECT_EQ(0, utility.BrowseFolderDialog(nullptr, path, "choose", nullptr));
    ASSERT_TRUE(driver.Finish());
    EXPECT_STREQ("C:\\remembered", g_szBrowseSelection);
}

TEST_F(GsBrowseFolderTest, LongSelectionIsCutAndTerminated)
{
    const std::string tooLong = "C:\\" + std::string(400, 'x');
    DialogDriver driver([](HWND dialog) { gstest::PressButton(dialog, IDCANCEL); });
    EXPECT_EQ(0, utility.BrowseFolderDialog(nullptr, path, "choose", tooLong.c_str()));
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(tooLong.substr(0, MAX_PATH - 1), g_szBrowseSelection);
}

} // namespace
