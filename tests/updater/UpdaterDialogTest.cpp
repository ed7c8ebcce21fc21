// The updater as the user meets it, a copy in a folder ending in the byte 0x5C ("表"), driven
// through the UI driver. Holds the product's mutex names: runs under the gs_product_mutexes lock.

#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace
{

using gstest::ReadWholeFile;
using Files = std::vector<std::string>;

constexpr char WRONG_FILE[] = "Error|アップデートするファイルが正しく指定されていません";
constexpr char ALREADY_DONE[] = "Info|ファイルは既にアップデートされています";
constexpr char DONE[] = "Info|アップデート終了しました";
constexpr char FAILED[] = "Error|アップデートファイルが作成できませんでした";
constexpr char IN_USE[] =
    "Error|アップデートするファイルが使用中です。プログラムを終了してからもう一度実行してください";
constexpr char UPDATER_NAME[] = "TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME";
constexpr char APPLICATION_NAME[] = "TARNS_HARBOR1999KITE07_GUIDAPPNAME";
constexpr int IDC_TARGET_PATH = 1001;
constexpr int IDC_CHANGE = 1002;
constexpr int FILE_NAME_BOX = 0x47C; // of the Open-File dialog

class UpdaterDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, gstest::NameIsTaken(UPDATER_NAME) + gstest::NameIsTaken(APPLICATION_NAME));
        ASSERT_FALSE(folder.empty());
        ASSERT_TRUE(updtest::CopyTo(updtest::UpdaterProgram(), program));
    }

    std::string Path(const std::string& name) const { return folder + "\\" + name; }

    // Starts the updater `exe` in the folder `in` (narrow or wide) and waits for its dialog.
    template <typename S> void Start(const S& exe, const S& in)
    {
        updater = std::make_unique<gstest::TestProcess>();
        ASSERT_TRUE(updater->Start(exe, S(), in)) << GetLastError();
        dialog = updater->WaitForWindow(gstest::STEP_TIMEOUT_MS, [](HWND w)
                                        { return GetDlgItem(w, IDC_TARGET_PATH) != nullptr; });
        ASSERT_NE(nullptr, dialog) << "no update dialog";
    }
    void Start() { Start(program, folder); }

    // Presses 変更 and chooses `file` in the Open-File dialog; gives that dialog.
    template <typename S> HWND Choose(const S& file)
    {
        EXPECT_TRUE(gstest::PressButton(dialog, IDC_CHANGE));
        const HWND open =
            updater->WaitForWindow(gstest::STEP_TIMEOUT_MS,
                                   [](HWND w) { return GetDlgItem(w, FILE_NAME_BOX) != nullptr; });
        EXPECT_NE(nullptr, open) << "no Open-File dialog";
        if constexpr (sizeof(file[0]) == 1)
            SendMessageA(GetDlgItem(open, FILE_NAME_BOX), WM_SETTEXT, 0, LPARAM(file.c_str()));
        else
            SendMessageW(GetDlgItem(open, FILE_NAME_BOX), WM_SETTEXT, 0, LPARAM(file.c_str()));
        EXPECT_TRUE(gstest::PressButton(open, IDOK));
        return open;
    }

    std::string Target() const { return gstest::GetText(GetDlgItem(dialog, IDC_TARGET_PATH)); }
    int OkEnabled() const { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) ? 1 : 0; }

    // Presses OK (or posts it), answers the box the dialog must own, and gives "caption|text".
    std::string PressOk()
    {
        EXPECT_TRUE(OkEnabled() ? gstest::PressButton(dialog, IDOK)
                                : PostMessageA(dialog, WM_COMMAND, IDOK, 0));
        return AnswerBox();
    }
    std::string AnswerBox()
    {
        const HWND box = updater->WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
        EXPECT_EQ(dialog, GetWindow(box, GW_OWNER)) << "no message box, or not the dialog's";
        const std::string seen = gstest::GetText(box) + "|" + gstest::BoxText(box);
        EXPECT_TRUE(gstest::PressButton(box, IDOK));
        EXPECT_TRUE(gstest::WaitUntilGone(box));
        return seen;
    }

    // Error boxes keep the dialog open: Cancel ends it. Either way the updater ends with 0.
    void ExpectEndWithZero(bool cancel)
    {
        if (cancel)
        {
            Sleep(100);
            EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog must stay open";
            EXPECT_TRUE(gstest::PressButton(dialog, IDCANCEL));
        }
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(updater->WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    gstest::ScratchFolder scratch{"dialog"};
    const std::string folder = scratch.MakeFolder("ソフト\\表");
    const std::string program = Path("LarkspurgleamUpdater.exe");
    std::unique_ptr<gstest::TestProcess> updater;
    HWND dialog = nullptr;
};

TEST_F(UpdaterDialogTest, OkOutcomes)
{
    // name, the release copied as Larkspurgleam.exe (or null), its size (0: kept), a killed run's
    // leftovers (null, "bak" or "old": .old and .new), the payload damaged on its way to the
    // user, the box's caption and text (its start), a name beside the target planted as a link
    using Release = std::string (*)();
    const std::tuple<const char*, Release, long long, const char*, bool, const char*, const char*>
        rows[] = {
            {"eligible", updtest::OldRelease, 0, nullptr, false, DONE, nullptr},
            // Killed after the new release was in place (the set-aside backup put back), or
            // between the renames without hard links (offered all the same; OK finishes).
            {"already updated, whatever its size", updtest::NewRelease, 2048001, "old", false,
             ALREADY_DONE, nullptr},
            {"interrupted", nullptr, 0, "bak", false, DONE, nullptr},
            {"one byte short", updtest::OldRelease, 2047999, nullptr, false, WRONG_FILE, nullptr},
            {"one byte long", updtest::OldRelease, 2048001, nullptr, false, WRONG_FILE, nullptr},
            {"absent: OK disabled, the command refused", nullptr, 0, nullptr, false, WRONG_FILE,
             nullptr},
            // A link to a read-only file elsewhere: it keeps its bytes and attributes.
            {"planted temporary link", updtest::OldRelease, 0, nullptr, false, FAILED, "new"},
            {"planted backup link", updtest::OldRelease, 0, nullptr, false, FAILED, "bak"},
            // Last: the program stays damaged. The message is the update step's own.
            {"damaged payload", updtest::OldRelease, 0, nullptr, true, FAILED, nullptr},
        };
    const std::string victim = scratch.MakeFolder("elsewhere") + "\\victim";
    const std::string target = Path("Larkspurgleam.exe"), bak = Path("Larkspurgleam.bak");
    for (const auto& [name, release, size, left, damaged, shown, planted] : rows)
    {
        SCOPED_TRACE(name);
        const bool offered = release != nullptr || left != nullptr;
        ASSERT_TRUE(release == nullptr || updtest::CopyTo(release(), target));
        ASSERT_TRUE(size == 0 || gstest::Resize(target, size));
        if (left != nullptr)
        {
            ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), Path("Larkspurgleam.") + left));
            ASSERT_TRUE(*left == 'b' || updtest::WriteAll(Path("Larkspurgleam.new"), "part"));
        }
        const std::string link = Path("Larkspurgleam.") + (planted ? planted : "");
        ASSERT_TRUE(!planted || (updtest::WriteAll(victim, "other") &&
                                 SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_READONLY) &&
                                 updtest::PlantLink(victim, link)));
        const DWORD victimAttributes = GetFileAttributesA(victim.c_str());
        const std::string before = ReadWholeFile(target);
        const Files filesBefore = updtest::ListFolder(folder);
        std::vector<unsigned char> broken = updtest::BuiltPayload();
        broken.back() ^= 1;
        ASSERT_TRUE(!damaged ||
                    updtest::WriteResources(program, {{"BIN", MAKEINTRESOURCEA(107), 1041, broken}},
                                            false));
        Start();
        EXPECT_EQ(offered ? target : "", Target());
        EXPECT_EQ(offered ? 1 : 0, OkEnabled());
        RECT rect;
        ASSERT_TRUE(GetWindowRect(dialog, &rect));
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - (rect.right - rect.left) / 2, rect.left);
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - (rect.bottom - rect.top) / 2, rect.top);

        const std::string seen = PressOk();
        EXPECT_EQ(shown, seen.substr(0, std::string(shown).size()));
        ExpectEndWithZero(seen.rfind("Error|", 0) == 0);
        const bool done = shown == DONE;
        if (done || left != nullptr)
        {
            EXPECT_EQ((Files{"Larkspurgleam.bak", "Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
                      updtest::ListFolder(folder));
            EXPECT_TRUE(ReadWholeFile(bak) == ReadWholeFile(updtest::OldRelease()));
        }
        else
        {
            EXPECT_EQ(filesBefore, updtest::ListFolder(folder));
        }
        EXPECT_TRUE(done ? ReadWholeFile(target) == ReadWholeFile(updtest::NewRelease()) ||
                               !updtest::PayloadIsTheSample()
                         : ReadWholeFile(target) == before);
        if (planted)
        {
            EXPECT_EQ("other", ReadWholeFile(victim));
            EXPECT_EQ(victimAttributes, GetFileAttributesA(victim.c_str()));
            EXPECT_TRUE(updtest::RemoveWithLinks({link}));
            SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        DeleteFileA(target.c_str());
        DeleteFileA(bak.c_str());
    }
}

// Refusals (a held file, an overlong path) leave the dialog open; then the same path updates.
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
        EXPECT_EQ(IN_USE, PressOk()) << share;
        CloseHandle(held);
    }
    const HWND edit = GetDlgItem(dialog, IDC_TARGET_PATH);
    const std::string overlong = Path(std::string(300, 'x') + "\\..\\Larkspurgleam.exe");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(overlong.c_str()));
    EXPECT_EQ(WRONG_FILE, PressOk());
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    EXPECT_EQ(DONE, PressOk());
    ExpectEndWithZero(false);
}

TEST_F(UpdaterDialogTest, ChangeChoosesAnotherFile)
{
    const std::string other = scratch.MakeFolder("other") + "\\release.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), other));
    Start();
    EXPECT_EQ(2, gstest::NameIsTaken(UPDATER_NAME) + gstest::NameIsTaken(APPLICATION_NAME))
        << "the dialog runs holding both names";
    // The application, not elevated, may open the hold on its name; the updater's own is default.
    EXPECT_EQ(static_cast<DWORD>(MUTEX_ALL_ACCESS),
              gstest::MutexAccessGrantedTo(APPLICATION_NAME, "S-1-5-11"));
    EXPECT_EQ(0u, gstest::MutexAccessGrantedTo(UPDATER_NAME, "S-1-5-11"));
    ASSERT_EQ(0, OkEnabled());
    ASSERT_TRUE(gstest::WaitUntilGone(Choose(other)));
    Sleep(100);
    EXPECT_EQ(other, Target());
    EXPECT_EQ(1, OkEnabled()) << "a chosen file enables OK";
    EXPECT_EQ(DONE, PressOk());
    ExpectEndWithZero(false);
    EXPECT_TRUE(ReadWholeFile(scratch.GetPath() + "\\other\\release.bak") ==
                ReadWholeFile(updtest::OldRelease()));
}

// From a folder the ANSI code page cannot name exactly ("x¥y", whose best fit is the folder
// "x\\y" beside it) nothing is offered, and its file chosen with "変更" is refused; through a
// legitimate link to its folder the updater updates the real folder.
TEST_F(UpdaterDialogTest, FolderNamesTakenExactly)
{
    const std::string base = scratch.GetPath(), neighbour = scratch.MakeFolder("x\\y");
    ASSERT_NE(L"", gstest::Wide(base));
    const std::wstring yen = gstest::Wide(base) + L"\\x\u00A5y";
    const std::wstring yenTarget = yen + L"\\Larkspurgleam.exe";
    ASSERT_TRUE(CreateDirectoryW(yen.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(gstest::Wide(program).c_str(),
                          (yen + L"\\LarkspurgleamUpdater.exe").c_str(), TRUE) &&
                CopyFileW(gstest::Wide(updtest::OldRelease()).c_str(), yenTarget.c_str(), TRUE) &&
                updtest::CopyTo(updtest::OldRelease(), neighbour + "\\Larkspurgleam.exe"));
    const std::string oldRelease = ReadWholeFile(updtest::OldRelease());
    auto unchanged = [&]
    {
        HANDLE file = CreateFileW(yenTarget.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        std::string content(oldRelease.size() + 1, '\0');
        DWORD got = 0;
        const bool read =
            ReadFile(file, &content[0], static_cast<DWORD>(content.size()), &got, nullptr);
        CloseHandle(file);
        content.resize(got);
        return read && content == oldRelease &&
               ReadWholeFile(neighbour + "\\Larkspurgleam.exe") == oldRelease &&
               updtest::ListFolder(neighbour) == Files{"Larkspurgleam.exe"} &&
               GetFileAttributesW((yen + L"\\Larkspurgleam.bak").c_str()) ==
                   INVALID_FILE_ATTRIBUTES;
    };

    ASSERT_NO_FATAL_FAILURE(Start(yen + L"\\LarkspurgleamUpdater.exe", yen));
    EXPECT_EQ("", Target()) << "the best-fit form names the neighbour";
    EXPECT_EQ(0, OkEnabled());
    EXPECT_EQ(WRONG_FILE, PressOk());
    ExpectEndWithZero(true);
    EXPECT_TRUE(unchanged());

    ASSERT_NO_FATAL_FAILURE(Start()); // in a folder without a target
    Choose(yenTarget);
    EXPECT_EQ(WRONG_FILE, AnswerBox()) << "the chosen file was taken in its best-fit form";
    EXPECT_EQ("", Target());
    EXPECT_EQ(0, OkEnabled());
    ExpectEndWithZero(true);
    EXPECT_TRUE(unchanged());

    const std::string real = scratch.MakeFolder("real"), link = base + "\\link";
    ASSERT_TRUE(updtest::CopyTo(updtest::UpdaterProgram(), real + "\\LarkspurgleamUpdater.exe") &&
                updtest::CopyTo(updtest::OldRelease(), real + "\\Larkspurgleam.exe") &&
                updtest::PlantLink(real, link));
    ASSERT_NO_FATAL_FAILURE(Start(link + "\\LarkspurgleamUpdater.exe", link));
    EXPECT_EQ(link + "\\Larkspurgleam.exe", Target());
    EXPECT_EQ(DONE, PressOk());
    ExpectEndWithZero(false);
    EXPECT_EQ((Files{"Larkspurgleam.bak", "Larkspurgleam.exe", "LarkspurgleamUpdater.exe"}),
              updtest::ListFolder(real));
    EXPECT_TRUE(ReadWholeFile(real + "\\Larkspurgleam.bak") == oldRelease);
    EXPECT_TRUE(ReadWholeFile(real + "\\Larkspurgleam.exe") ==
                    ReadWholeFile(updtest::NewRelease()) ||
                !updtest::PayloadIsTheSample());
    EXPECT_TRUE(updtest::RemoveWithLinks({link}));
}

// The running application stops the updater before its dialog, with a box owned by no window;
// a second updater meanwhile ends at once with 0 (a box would keep it running).
TEST_F(UpdaterDialogTest, RunningApplicationAndASecondCopyStopTheUpdater)
{
    // A copy of the new sample release runs, holding the application's name.
    const std::string running = scratch.MakeFolder("application") + "\\Larkspurgleam.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::NewRelease(), running));
    gstest::TestProcess application;
    ASSERT_TRUE(application.Start(running));
    ASSERT_NE(nullptr, application.WaitForWindow(gstest::STEP_TIMEOUT_MS));
    ASSERT_EQ(1, gstest::NameIsTaken(APPLICATION_NAME));
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), Path("Larkspurgleam.exe")));
    updater = std::make_unique<gstest::TestProcess>();
    ASSERT_TRUE(updater->Start(program, "", folder));
    const HWND box = updater->WaitForMessageBox(gstest::STEP_TIMEOUT_MS);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));
    EXPECT_EQ(
        "Error|Larkspurgleamが起動しています。\n終了させてから再度アップデートを実行してください。",
        gstest::GetText(box) + "|" + gstest::BoxText(box));

    gstest::TestProcess second;
    ASSERT_TRUE(second.Start(program, "/S --target=\"C:\\x y\\z.exe\" %s%n \"ソ表 /?", folder));
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(second.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(IsWindow(box));
    EXPECT_EQ(1, gstest::NameIsTaken(UPDATER_NAME)) << "the first copy keeps its name";
    ASSERT_TRUE(gstest::PressButton(box, IDOK));
    dialog = nullptr;
    ExpectEndWithZero(false);
    EXPECT_EQ(0, gstest::NameIsTaken(UPDATER_NAME));
    application.Terminate();
    EXPECT_TRUE(ReadWholeFile(Path("Larkspurgleam.exe")) == ReadWholeFile(updtest::OldRelease()));
}

} // namespace
