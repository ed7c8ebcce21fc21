// A framework dialog in its own process, driven as a user would drive it. Also the UI
// driver's own check: each step reads or presses something the test program defines.

#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "GsTestWindow.h"
#include "TestDialogAppIds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

constexpr char DIALOG_APP[] = GS_TEST_DIALOG_APP;
constexpr char DIALOG_CAPTION[] = "テスト用ダイアログ";
constexpr DWORD OK_END_CODE = 7;

class DialogApp : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.Start(gstest::ToWindowsPath(DIALOG_APP))) << GetLastError();
        dialog = app.WaitForWindow(gstest::STEP_TIMEOUT_MS, "#32770", DIALOG_CAPTION);
        ASSERT_NE(nullptr, dialog) << "the dialog did not appear";
    }

    DWORD WaitForExitCode()
    {
        DWORD exitCode = 0xFFFFFFFF;
        EXPECT_TRUE(app.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode)) << "still running";
        return exitCode;
    }

    gstest::TestProcess app;
    HWND dialog = nullptr;
};

TEST_F(DialogApp, ShowsItsTemplateWithTheTextsAndStatesOfItsControls)
{
    struct Expected
    {
        int id;
        const char* className;
        const char* text;
        int enabled;
    };
    const Expected expected[] = {
        {-1, "Static", "名前:", 1},
        {IDC_APP_NAME, "Edit", "初期値", 1},
        {IDC_APP_MESSAGE, "Button", "メッセージ", 1},
        {IDC_APP_QUESTION, "Button", "質問", 1},
        {IDC_APP_DISABLED, "Button", "使用不可", 0},
        {IDC_APP_RESULT, "Static", "", 1},
        {IDOK, "Button", "OK", 1},
    };
    const std::vector<gstest::ControlState> controls = gstest::GetControls(dialog);
    ASSERT_EQ(sizeof expected / sizeof expected[0], controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i)
    {
        EXPECT_EQ(expected[i].id, controls[i].id) << i;
        EXPECT_EQ(0, lstrcmpiA(expected[i].className, controls[i].className.c_str())) << i;
        EXPECT_EQ(expected[i].text, controls[i].text) << i;
        EXPECT_EQ(expected[i].enabled, controls[i].enabled) << i;
        EXPECT_EQ(1, controls[i].visible) << i;
    }
    EXPECT_EQ(DIALOG_CAPTION, gstest::GetText(dialog));
    EXPECT_EQ(gstest::GetControl(dialog, IDC_APP_NAME), controls[1].hwnd);
    EXPECT_EQ(nullptr, gstest::GetControl(dialog, 4242));

    ASSERT_TRUE(gstest::PressButton(dialog, IDOK));
    EXPECT_EQ(OK_END_CODE, WaitForExitCode());
}

TEST_F(DialogApp, MessageBoxIsReadExactlyAndItsAnswerReachesTheDialog)
{
    ASSERT_TRUE(gstest::PressButton(dialog, IDC_APP_MESSAGE));
    HWND box = app.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
    ASSERT_NE(nullptr, box);
    EXPECT_FALSE(gstest::IsMessageBox(dialog)) << "the dialog has an edit control";
    gstest::MessageBoxState state;
    ASSERT_TRUE(gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS));
    EXPECT_EQ("本日は晴天なり。\n二行目", state.text);
    EXPECT_EQ("Info", state.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), state.style);
    EXPECT_EQ(dialog, state.owner);
    EXPECT_EQ(std::vector<int>{IDOK}, state.buttons);

    ASSERT_TRUE(gstest::PressButton(box, IDOK));
    EXPECT_TRUE(gstest::WaitUntilGone(box, gstest::STEP_TIMEOUT_MS));
    EXPECT_TRUE(gstest::WaitForText(gstest::GetControl(dialog, IDC_APP_RESULT),
                                    std::to_string(IDOK), gstest::STEP_TIMEOUT_MS));

    ASSERT_TRUE(gstest::PostSysCommand(dialog, SC_CLOSE));
    EXPECT_EQ(0u, WaitForExitCode()) << "SC_CLOSE ends a modal dialog with 0";
}

TEST_F(DialogApp, QuestionBoxShowsItsButtonsAndIconAndGivesTheChosenAnswer)
{
    ASSERT_TRUE(gstest::PressButton(dialog, IDC_APP_QUESTION));
    HWND box = app.WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
    ASSERT_NE(nullptr, box);
    gstest::MessageBoxState state;
    ASSERT_TRUE(gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS));
    EXPECT_EQ("続けますか？", state.text);
    EXPECT_EQ("Question", state.caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), state.style);

    ASSERT_TRUE(gstest::PressButton(box, IDNO));
    EXPECT_TRUE(gstest::WaitForText(gstest::GetControl(dialog, IDC_APP_RESULT),
                                    std::to_string(IDNO), gstest::STEP_TIMEOUT_MS));
    ASSERT_TRUE(gstest::PostCommand(dialog, IDOK));
    EXPECT_EQ(OK_END_CODE, WaitForExitCode());
}

} // namespace
