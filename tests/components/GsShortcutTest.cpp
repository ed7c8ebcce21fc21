// Shortcuts made the way a program makes them: a component from the factory (which starts COM),
// properties set, Save, Release. What was written is read back through the shell's own
// shell-link object, and its presence flags straight from the file.
#include "GsShortcut.h"
#include "GsComponentHolder.h"
#include "GsComponentIds.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace
{

// Bits of the link file's header that tell which optional texts it carries.
constexpr DWORD kHasName = 0x04; // the description
constexpr DWORD kHasWorkingDir = 0x10;
constexpr DWORD kHasArguments = 0x20;
constexpr DWORD kHasIconLocation = 0x40;
constexpr DWORD kOptionalTexts = kHasName | kHasWorkingDir | kHasArguments | kHasIconLocation;

// What the link file's fixed header says, read straight from the file.
struct LinkHeader
{
    bool read = false;
    DWORD flags = 0;      // offset 20: which optional parts the file carries
    int iconIndex = -1;   // offset 56
    int showCommand = -1; // offset 60
    WORD hotkey = 0xFFFF; // offset 64
};

LinkHeader ReadLinkHeader(const std::string& linkPath)
{
    LinkHeader header;
    const std::string content = gstest::ReadWholeFile(linkPath);
    if (content.size() < 76)
    {
        return header;
    }
    header.read = true;
    std::memcpy(&header.flags, content.data() + 20, sizeof header.flags);
    std::memcpy(&header.iconIndex, content.data() + 56, sizeof header.iconIndex);
    std::memcpy(&header.showCommand, content.data() + 60, sizeof header.showCommand);
    std::memcpy(&header.hotkey, content.data() + 64, sizeof header.hotkey);
    return header;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs `body` on a thread of its own, whose COM state no earlier test has touched.
template <typename F> void OnFreshThread(F body)
{
    std::thread worker(body);
    worker.join();
}

// Whether the calling thread has COM initialised (CoGetApartmentType changes nothing).
bool ComInitialized()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return CoGetApartmentType(&type, &qualifier) == S_OK;
}

// What the shell's own shell-link object reads from a link file.
struct LinkContent
{
    bool loaded = false;
    std::string path;
    std::string arguments;
    std::string description;
    std::string workingDirectory;
    std::string iconFile;
    int iconIndex = -1;
    WORD hotkey = 0xFFFF;
};

template <typename T> struct Releaser
{
    T* pointer = nullptr;
    ~Releaser()
    {
        if (pointer != nullptr)
        {
            pointer->Release();
        }
    }
};

// Needs COM on the calling thread.
LinkContent ReadLink(const std::string& linkPath)
{
    LinkContent content;
    Releaser<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link.pointer))))
    {
        return content;
    }
    Releaser<IPersistFile> file;
    if (FAILED(link.pointer->QueryInterface(IID_IPersistFile,
                                            reinterpret_cast<void**>(&file.pointer))))
    {
        return content;
    }
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    if (FAILED(file.pointer->Load(wide, STGM_READ)))
    {
        return content;
    }
    content.loaded = true;
    char text[1024];
    text[0] = '\0';
    link.pointer->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
    content.path = text;
    text[0] = '\0';
    link.pointer->GetArguments(text, sizeof text);
    content.arguments = text;
    text[0] = '\0';
    link.pointer->GetDescription(text, sizeof text);
    content.description = text;
    text[0] = '\0';
    link.pointer->GetWorkingDirectory(text, sizeof text);
    content.workingDirectory = text;
    text[0] = '\0';
    link.pointer->GetIconLocation(text, sizeof text, &content.iconIndex);
    content.iconFile = text;
    link.pointer->GetHotkey(&content.hotkey);
    // The show command is read from the file's header instead: wine's shell link loads every
    // link with SW_SHOWNORMAL, whatever the file holds.
    return content;
}

class GsShortcutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(1, g_nComInitCount) << "only the test's own shortcut is alive";
        ASSERT_FALSE(scratch.GetPath().empty());
        ASSERT_NE(nullptr, shortcut.Get());
        target = scratch.GetPath() + "\\app.exe";
        std::FILE* stream = std::fopen(target.c_str(), "wb");
        ASSERT_NE(nullptr, stream);
        std::fclose(stream);
    }

    void TearDown() override
    {
        shortcut.Reset();
        EXPECT_EQ(0, g_nComInitCount);
    }

    std::string LinkPath(const char* name) const { return scratch.GetPath() + "\\" + name; }

    gstest::ScratchFolder scratch{"shortcut"};
    GsComponentHolder<IGsShortcut> shortcut{IID_IGsShortcut};
    std::string target;
};

TEST_F(GsShortcutTest, SavedLinkCarriesEveryPropertyThatWasSet)
{
    const std::string link = LinkPath("app.lnk");
    shortcut->SetArguments("/quiet /log=\"a b.txt\"");
    shortcut->SetDescription("ラークスパーグリームを起動");
    shortcut->SetWorkingDirectory(scratch.GetPath().c_str());
    shortcut->SetIconLocation(target.c_str(), 3);
    shortcut->SetHotkey(MAKEWORD('L', HOTKEYF_CONTROL | HOTKEYF_ALT));
    shortcut->SetShowCommand(SW_SHOWMAXIMIZED);
    ASSERT_EQ(1, shortcut->Save(link.c_str(), target.c_str()));

    const LinkContent read = ReadLink(link);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(target, read.path);
    EXPECT_EQ("/quiet /log=\"a b.txt\"", read.arguments);
    EXPECT_EQ("ラークスパーグリームを起動", read.description);
    EXPECT_EQ(scratch.GetPath(), read.workingDirectory);
    EXPECT_EQ(target, read.iconFile);
    EXPECT_EQ(3, read.iconIndex);
    EXPECT_EQ(MAKEWORD('L', HOTKEYF_CONTROL | HOTKEYF_ALT), read.hotkey);
    const LinkHeader header = ReadLinkHeader(link);
    ASSERT_TRUE(header.read);
    EXPECT_EQ(SW_SHOWMAXIMIZED, header.showCommand);
    EXPECT_EQ(3, header.iconIndex);
    EXPECT_EQ(MAKEWORD('L', HOTKEYF_CONTROL | HOTKEYF_ALT), header.hotkey);
    EXPECT_EQ(kOptionalTexts, header.flags & kOptionalTexts);

    // Each Save builds a fresh link from the current properties.
    shortcut->SetArguments("/second");
    const std::string again = LinkPath("again.lnk");
    ASSERT_EQ(1, shortcut->Save(again.c_str(), target.c_str()));
    EXPECT_EQ("/second", ReadLink(again).arguments);
    EXPECT_EQ("/quiet /log=\"a b.txt\"", ReadLink(link).arguments);
}

TEST_F(GsShortcutTest, EmptyPropertiesAreSavedAsAbsent)
{
    const std::string link = LinkPath("bare.lnk");
    ASSERT_EQ(1, shortcut->Save(link.c_str(), target.c_str()));
    const LinkHeader header = ReadLinkHeader(link);
    ASSERT_TRUE(header.read);
    EXPECT_EQ(0u, header.flags & kOptionalTexts) << "no empty texts in the file";
    EXPECT_EQ(0, header.showCommand) << "the show command is passed even when it is 0";
    EXPECT_EQ(0, header.iconIndex);
    EXPECT_EQ(0, header.hotkey);

    const LinkContent read = ReadLink(link);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(target, read.path);
    EXPECT_EQ("", read.arguments);
    EXPECT_EQ("", read.description);
    EXPECT_EQ("", read.workingDirectory);
    EXPECT_EQ("", read.iconFile);
    EXPECT_EQ(0, read.iconIndex);
    EXPECT_EQ(0, read.hotkey);
}

TEST_F(GsShortcutTest, ClearRestoresAllSevenProperties)
{
    shortcut->SetArguments("-x");
    shortcut->SetDescription("d");
    shortcut->SetWorkingDirectory("C:\\w");
    shortcut->SetIconLocation("C:\\i.ico", 2);
    shortcut->SetHotkey(MAKEWORD(VK_F5, HOTKEYF_SHIFT));
    shortcut->SetShowCommand(SW_SHOWMINNOACTIVE);
    EXPECT_EQ(1, shortcut->Clear());

    const auto* concrete = dynamic_cast<CGsShortcut*>(shortcut.Get());
    ASSERT_NE(nullptr, concrete);
    EXPECT_EQ("", concrete->GetArguments());
    EXPECT_EQ("", concrete->GetDescription());
    EXPECT_EQ("", concrete->GetWorkingDirectory());
    EXPECT_EQ("", concrete->GetIconFile());
    EXPECT_EQ(0, concrete->GetIconIndex());
    EXPECT_EQ(0, concrete->GetHotkey());
    EXPECT_EQ(0, concrete->GetShowCommand());

    const std::string link = LinkPath("cleared.lnk");
    ASSERT_EQ(1, shortcut->Save(link.c_str(), target.c_str()));
    const LinkHeader header = ReadLinkHeader(link);
    ASSERT_TRUE(header.read);
    EXPECT_EQ(0u, header.flags & kOptionalTexts);
    EXPECT_EQ(0, header.iconIndex);
    EXPECT_EQ(0, header.hotkey);
    EXPECT_EQ(0, header.showCommand);
}

TEST_F(GsShortcutTest, LinkPathMustFitTheSystemLimitWhole)
{
    const std::string folder = scratch.GetPath() + "\\";
    ASSERT_LT(folder.size() + 8, 200u);

    // 259 characters: the longest name that fits with its terminator.
    const std::string longest = folder + std::string(259 - folder.size() - 4, 'k') + ".lnk";
    ASSERT_EQ(259u, longest.size());
    EXPECT_EQ(1, shortcut->Save(longest.c_str(), target.c_str()));
    EXPECT_TRUE(Exists(longest));
    ASSERT_TRUE(DeleteFileA(longest.c_str()));

    // One more character is refused, not saved under a shortened name.
    const std::string tooLong = folder + std::string(260 - folder.size() - 4, 'k') + ".lnk";
    EXPECT_EQ(0, shortcut->Save(tooLong.c_str(), target.c_str()));
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((folder + "k*").c_str(), &entry);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "found " << entry.cFileName;
    if (find != INVALID_HANDLE_VALUE)
    {
        FindClose(find);
    }

    EXPECT_EQ(0, shortcut->Save(nullptr, target.c_str()));
    EXPECT_EQ(0, shortcut->Save(LinkPath("x.lnk").c_str(), nullptr));
    EXPECT_FALSE(Exists(LinkPath("x.lnk")));
}

TEST_F(GsShortcutTest, JapaneseLinkNameIsConvertedFromTheAnsiCodePage)
{
    ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
    const std::string link = LinkPath("ソフト表示.lnk");
    ASSERT_EQ(1, shortcut->Save(link.c_str(), target.c_str()));
    EXPECT_TRUE(Exists(link));
    EXPECT_EQ(target, ReadLink(link).path);
}

TEST(GsShortcutComTest, TwoObjectsStartComOnceAndEndItWithTheLastWhicheverThatIs)
{
    for (const bool firstGoesFirst : {true, false})
    {
        OnFreshThread(
            [firstGoesFirst]
            {
                ASSERT_FALSE(ComInitialized());
                GsComponentHolder<IGsShortcut> first(IID_IGsShortcut);
                ASSERT_NE(nullptr, first.Get());
                EXPECT_EQ(1, g_nComInitCount);
                EXPECT_TRUE(ComInitialized());
                GsComponentHolder<IGsShortcut> second(IID_IGsShortcut);
                ASSERT_NE(nullptr, second.Get());
                EXPECT_EQ(2, g_nComInitCount);

                (firstGoesFirst ? first : second).Reset();
                EXPECT_EQ(1, g_nComInitCount);
                EXPECT_TRUE(ComInitialized()) << "one shortcut is still alive";

                (firstGoesFirst ? second : first).Reset();
                EXPECT_EQ(0, g_nComInitCount);
                EXPECT_FALSE(ComInitialized()) << "initialised once, so one end undoes it";
            });
    }
}

TEST(GsShortcutComTest, ObjectsNeverInitialisedLeaveComAndTheCountAlone)
{
    OnFreshThread(
        []
        {
            GsComponentHolder<IGsShortcut> counted(IID_IGsShortcut);
            ASSERT_EQ(1, g_nComInitCount);
            // An object made with new and ended with Release, without Initialize.
            IGsShortcut* plain = new CGsShortcut;
            EXPECT_EQ(0, plain->Release());
            EXPECT_EQ(1, g_nComInitCount);
            EXPECT_TRUE(ComInitialized());
            // A second Initialize of the same object counts nothing more.
            counted->Initialize();
            EXPECT_EQ(1, g_nComInitCount);
            counted.Reset();
            EXPECT_EQ(0, g_nComInitCount);
            EXPECT_FALSE(ComInitialized());
        });
}

TEST(GsShortcutComTest, FailedShellLinkCreationWritesNoFile)
{
    gstest::ScratchFolder scratch("shortcutnocom");
    const std::string link = scratch.GetPath() + "\\never.lnk";
    const std::string target = scratch.GetPath() + "\\app.exe";
    OnFreshThread(
        [&]
        {
            // No COM on this thread: the shell-link object cannot be created.
            ASSERT_FALSE(ComInitialized());
            CGsShortcut shortcut;
            shortcut.SetDescription("never saved");
            EXPECT_EQ(0, shortcut.Save(link.c_str(), target.c_str()));
        });
    EXPECT_FALSE(Exists(link));
}

} // namespace
