// Shortcuts made the way a program makes them: a component from the factory (which starts COM),
// properties set, Save, Release. What was written is read back through the shell's own
// shell-link object, and the show command and presence flags straight from the file's header.
#include "GsShortcut.h"
#include "GsComponentHolder.h"
#include "GsComponentIds.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace
{

// Header bits of the optional texts: description, working directory, arguments, icon.
constexpr DWORD kOptionalTexts = 0x04 | 0x10 | 0x20 | 0x40;

// The link as the shell reads it, then the header fields: flags (offset 20), icon index (56),
// show command (60) and hotkey (64). wine's shell link loads every link with SW_SHOWNORMAL,
// so the show command comes from the file. Needs COM on the calling thread.
std::string ReadLink(const std::string& linkPath)
{
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    std::string read = "unreadable";
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide, STGM_READ)))
    {
        char path[MAX_PATH] = {}, arguments[MAX_PATH] = {}, description[MAX_PATH] = {},
             directory[MAX_PATH] = {}, icon[MAX_PATH] = {};
        int iconIndex = -1;
        WORD hotkey = 0;
        link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(arguments, MAX_PATH);
        link->GetDescription(description, MAX_PATH);
        link->GetWorkingDirectory(directory, MAX_PATH);
        link->GetIconLocation(icon, MAX_PATH, &iconIndex);
        link->GetHotkey(&hotkey);
        const std::string header = gstest::ReadWholeFile(linkPath);
        DWORD flags = 0;
        int fields[3] = {}; // icon index, show command, hotkey
        if (header.size() >= 76)
        {
            std::memcpy(&flags, header.data() + 20, 4);
            std::memcpy(fields, header.data() + 56, 8);
            std::memcpy(&fields[2], header.data() + 64, 2);
        }
        read = std::string(path) + "|" + arguments + "|" + description + "|" + directory + "|" +
               icon + "," + std::to_string(iconIndex) + "|" + std::to_string(hotkey) + "|" +
               std::to_string(flags & kOptionalTexts) + "," + std::to_string(fields[0]) + "," +
               std::to_string(fields[1]) + "," + std::to_string(fields[2]);
    }
    if (file != nullptr)
        file->Release();
    if (link != nullptr)
        link->Release();
    return read;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ComInitialized()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return CoGetApartmentType(&type, &qualifier) == S_OK;
}

class GsShortcutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(1, g_nComInitCount) << "only the test's own shortcut is alive";
        ASSERT_NE(nullptr, shortcut.Get());
        std::ofstream(target) << "x";
    }
    void TearDown() override
    {
        shortcut.Reset();
        EXPECT_EQ(0, g_nComInitCount);
    }
    std::string LinkPath(const std::string& name) const { return scratch.GetPath() + "\\" + name; }

    gstest::ScratchFolder scratch{"shortcut"};
    GsComponentHolder<IGsShortcut> shortcut{IID_IGsShortcut};
    const std::string target = scratch.GetPath() + "\\app.exe";
};

TEST_F(GsShortcutTest, SavedLinkCarriesWhatWasSetAndNothingElse)
{
    const WORD hotkey = MAKEWORD('L', HOTKEYF_CONTROL | HOTKEYF_ALT);
    shortcut->SetArguments("/quiet /log=\"a b.txt\"");
    shortcut->SetDescription("ラークスパーグリームを起動");
    shortcut->SetWorkingDirectory(scratch.GetPath().c_str());
    shortcut->SetIconLocation(target.c_str(), 3);
    shortcut->SetHotkey(hotkey);
    shortcut->SetShowCommand(SW_SHOWMAXIMIZED);
    ASSERT_EQ(1, shortcut->Save(LinkPath("full.lnk").c_str(), target.c_str()));
    EXPECT_EQ(target + "|/quiet /log=\"a b.txt\"|ラークスパーグリームを起動|" + scratch.GetPath() +
                  "|" + target + ",3|" + std::to_string(hotkey) + "|" +
                  std::to_string(kOptionalTexts) + ",3," + std::to_string(SW_SHOWMAXIMIZED) + "," +
                  std::to_string(hotkey),
              ReadLink(LinkPath("full.lnk")));

    // Cleared properties are saved as absent, the show command as 0; the Japanese link name
    // comes from the ANSI code page.
    EXPECT_EQ(1, shortcut->Clear());
    ASSERT_EQ(1, shortcut->Save(LinkPath("ソフト表示.lnk").c_str(), target.c_str()));
    EXPECT_EQ(target + "||||,0|0|0,0,0,0", ReadLink(LinkPath("ソフト表示.lnk")));
}

TEST_F(GsShortcutTest, LinkPathMustFitTheSystemLimitWhole)
{
    const std::string folder = scratch.GetPath() + "\\";
    const std::string longest = folder + std::string(259 - folder.size() - 4, 'k') + ".lnk";
    EXPECT_EQ(1, shortcut->Save(longest.c_str(), target.c_str()));
    EXPECT_TRUE(Exists(longest));
    ASSERT_TRUE(DeleteFileA(longest.c_str()));
    // One more character is refused, not saved under a shortened name.
    const std::string tooLong = folder + std::string(260 - folder.size() - 4, 'k') + ".lnk";
    EXPECT_EQ(0, shortcut->Save(tooLong.c_str(), target.c_str()));
    WIN32_FIND_DATAA entry;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((folder + "k*").c_str(), &entry));
    EXPECT_EQ(0, shortcut->Save(nullptr, target.c_str()));
    EXPECT_EQ(0, shortcut->Save(LinkPath("x.lnk").c_str(), nullptr));
    EXPECT_FALSE(Exists(LinkPath("x.lnk")));
}

// Each case on a thread of its own, whose COM state no earlier test has touched: COM starts
// with the first counted object and ends with the last, whichever that is.
TEST(GsShortcutComTest, ObjectsStartComOnceAndTheLastEndsIt)
{
    for (const bool firstGoesFirst : {true, false})
    {
        std::thread(
            [firstGoesFirst]
            {
                ASSERT_FALSE(ComInitialized());
                GsComponentHolder<IGsShortcut> first(IID_IGsShortcut);
                GsComponentHolder<IGsShortcut> second(IID_IGsShortcut);
                EXPECT_EQ(2, g_nComInitCount);
                second->Initialize();
                EXPECT_EQ(2, g_nComInitCount) << "a second Initialize counts nothing more";
                IGsShortcut* plain = new CGsShortcut; // never initialised
                EXPECT_EQ(0, plain->Release());
                (firstGoesFirst ? first : second).Reset();
                EXPECT_EQ(1, g_nComInitCount);
                EXPECT_TRUE(ComInitialized()) << "one shortcut is still alive";
                (firstGoesFirst ? second : first).Reset();
                EXPECT_EQ(0, g_nComInitCount);
                EXPECT_FALSE(ComInitialized()) << "initialised once, so one end undoes it";
            })
            .join();
    }
    gstest::ScratchFolder scratch("shortcutnocom");
    const std::string link = scratch.GetPath() + "\\never.lnk";
    std::thread(
        [&link]
        {
            // No COM on this thread: the shell-link object cannot be created.
            CGsShortcut shortcut;
            EXPECT_EQ(0, shortcut.Save(link.c_str(), "C:\\app.exe"));
        })
        .join();
    EXPECT_FALSE(Exists(link));
}

} // namespace
