// The common dialogs, shown for real and driven from a helper thread: what the utility makes of
// their answers.
#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "GsUtility.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>

namespace
{

// Runs `steps` on a helper thread on the dialog (with an OK button) this thread shows meanwhile;
// *found tells whether one came.
std::thread Drive(const std::function<void(HWND)>& steps, bool* found)
{
    return std::thread(
        [steps, found]
        {
            const HWND dialog =
                gstest::WaitForWindow(GetCurrentProcessId(), gstest::STEP_TIMEOUT_MS,
                                      [](HWND window) { return GetDlgItem(window, IDOK); });
            if ((*found = dialog != nullptr))
                steps(dialog);
        });
}

// "表" ends in the byte 0x5C: the folder handed back must not be cut inside the file name.
TEST(GsUtilityDialogTest, FileDialogsGiveThePathTitleAndWholeFolder)
{
    ASSERT_EQ(932u, GetACP());
    char startDirectory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, startDirectory);
    gstest::ScratchFolder scratch("gsdialog");
    const std::string folder = scratch.MakeFolder("ソフト\\表");
    ASSERT_FALSE(folder.empty());
    CloseHandle(CreateFileA((folder + "\\表.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr));
    // save, the name typed, the button pressed, the result, the title (the path: folder\\title)
    const std::tuple<bool, const char*, int, int, const char*> rows[] = {
        {false, "表.txt", IDOK, 1, "表.txt"},
        {true, "report", IDOK, 1, "report.txt"}, // the default extension added
        {false, "表.txt", IDCANCEL, 0, ""},      // nothing changes
    };
    for (const auto& [save, typed, button, result, expectedTitle] : rows)
    {
        char path[MAX_PATH] = {};
        char title[MAX_PATH] = {};
        char directory[MAX_PATH] = {};
        std::strcpy(directory, folder.c_str());
        bool found = false;
        std::thread driver = Drive(
            [name = typed, id = button](HWND dialog)
            {
                SendMessageA(GetDlgItem(dialog, 0x47C), WM_SETTEXT, 0,
                             reinterpret_cast<LPARAM>(name));
                gstest::PressButton(dialog, id);
            },
            &found);
        const char filter[] = "text file(*.txt)\0*.txt\0all(*.*)\0*.*\0";
        CGsUtility utility;
        EXPECT_EQ(result,
                  save ? utility.SaveFileDialog(nullptr, path, title, directory, filter, "txt")
                       : utility.OpenFileDialog(nullptr, path, title, directory, filter, "txt"));
        driver.join();
        ASSERT_TRUE(found) << "no dialog appeared";
        EXPECT_STREQ(expectedTitle, title);
        EXPECT_EQ(result == 0 ? "" : folder + "\\" + expectedTitle, path);
        EXPECT_EQ(folder, directory) << "without a trailing backslash";
        SetCurrentDirectoryA(startDirectory); // the dialogs move it to the folder they show
    }
}

TEST(GsUtilityDialogTest, FolderDialogStartsAtTheGivenFolder)
{
    // wine preselects only a few levels below the desktop: a folder right under C:.
    const std::string folder = "C:\\gsbrowse-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    bool found = false;
    std::thread driver = Drive(
        [](HWND dialog)
        {
            const HWND tree = GetDlgItem(dialog, 0x3741);
            for (DWORD start = GetTickCount(); TreeView_GetSelection(tree) == nullptr &&
                                               GetTickCount() - start < gstest::STEP_TIMEOUT_MS;
                 Sleep(50))
            {
            }
            gstest::PressButton(dialog, IDOK);
        },
        &found);
    char path[MAX_PATH] = {};
    CGsUtility utility;
    const int chosen = utility.BrowseFolderDialog(nullptr, path, "choose", folder.c_str());
    driver.join();
    RemoveDirectoryA(folder.c_str());
    ASSERT_TRUE(found);
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(folder, path);
}

} // namespace
