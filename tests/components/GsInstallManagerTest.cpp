// The install manager driven as an installer drives it: from the factory, set up with two
// folders and a dialog control, files added, started, then stepped until the finished flag.
#include "GsInstallManager.h"
#include "GsComponentHolder.h"
#include "GsComponentIds.h"
#include "GsInstallManagerTestIds.h"
#include "GsMessageBox.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

struct RecordedBox
{
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT style = 0;
};

std::vector<RecordedBox> g_boxes;

int RecordBox(HWND owner, const char* text, const char* caption, UINT style)
{
    g_boxes.push_back(RecordedBox{owner, text, caption, style});
    return IDOK;
}

std::string MakeContent(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string content(size, '\0');
    for (char& c : content)
    {
        c = static_cast<char>(random());
    }
    return content;
}

bool WriteBytes(const std::string& path, const std::string& content)
{
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr)
    {
        return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), stream) == content.size();
    return std::fclose(stream) == 0 && written;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsEmptyFolder(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    bool empty = true;
    do
    {
        empty = empty &&
                (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return empty;
}

// The progress dialog of the test: a real modeless dialog from the test's own template, with
// the control that shows the progress text and one the manager must leave alone.
class ProgressDialog
{
public:
    ProgressDialog()
        : hwnd(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INSTALL_PROGRESS),
                                  nullptr, Procedure, 0))
    {
    }
    ~ProgressDialog()
    {
        if (hwnd != nullptr)
        {
            DestroyWindow(hwnd);
        }
    }
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    std::string Text(int controlId) const
    {
        char text[512] = {};
        GetDlgItemTextA(hwnd, controlId, text, sizeof text);
        return text;
    }

    const HWND hwnd;

private:
    static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM)
    {
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }
};

class GsInstallManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.GetPath().empty());
        ASSERT_NE(nullptr, manager.Get());
        source = scratch.MakeFolder("src");
        destination = scratch.MakeFolder("dst");
        ASSERT_FALSE(source.empty());
        ASSERT_FALSE(destination.empty());
        g_boxes.clear();
        previousBox = GsSetMessageBoxFunction(RecordBox);
    }

    void TearDown() override { GsSetMessageBoxFunction(previousBox); }

    // A source file of `size` bytes; its content is returned for comparing the copy with.
    std::string Source(const std::string& name, std::size_t size, unsigned seed = 1)
    {
        const std::string content = MakeContent(size, seed);
        EXPECT_TRUE(WriteBytes(source + "\\" + name, content)) << name;
        return content;
    }

    std::string Copied(const std::string& name) const
    {
        int ok = 0;
        const std::string content = gstest::ReadWholeFile(destination + "\\" + name, &ok);
        EXPECT_EQ(1, ok) << name << " is missing";
        return content;
    }

    gstest::ScratchFolder scratch{"install"};
    GsComponentHolder<IGsInstallManager> manager{IID_IGsInstallManager};
    std::string source;
    std::string destination;
    GsMessageBoxFunction previousBox = nullptr;
};

TEST_F(GsInstallManagerTest, BuildsPathsFromFoldersWithOrWithoutTheirTrailingBackslash)
{
    const std::string a = Source("a.txt", 10);
    const std::string b = Source("b.txt", 20);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, (source + "\\").c_str(), destination.c_str()));
    EXPECT_EQ(1, manager->AddFile("a.txt", nullptr));
    EXPECT_EQ(2, manager->AddFile("b.txt", "renamed.txt"));
    ASSERT_EQ(1, manager->Start());

    auto* concrete = dynamic_cast<CGsInstallManager*>(manager.Get());
    ASSERT_NE(nullptr, concrete);
    EXPECT_EQ(source, concrete->GetSourceDirectory());
    EXPECT_EQ(destination, concrete->GetDestinationDirectory());
    EXPECT_EQ(source + "\\a.txt", concrete->GetFile(0)->sourcePath);
    EXPECT_EQ(destination + "\\a.txt", concrete->GetFile(0)->destinationPath);
    EXPECT_EQ(destination + "\\renamed.txt", concrete->GetFile(1)->destinationPath);

    int finished = 0;
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    EXPECT_EQ(1, finished);
    EXPECT_EQ(a, Copied("a.txt"));
    EXPECT_EQ(b, Copied("renamed.txt"));
    EXPECT_FALSE(Exists(destination + "\\b.txt"));
}

TEST_F(GsInstallManagerTest, TwoFilesReportProgress192Then256AndAreCompleteWhenReported)
{
    const std::string first = Source("first.bin", 3072, 1);
    const std::string second = Source("second.bin", 1024, 2);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("first.bin", nullptr);
    manager->AddFile("second.bin", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ(4, dynamic_cast<CGsInstallManager*>(manager.Get())->GetTotalKilobytes());

    int finished = -1;
    int progress = -1;
    ASSERT_EQ(1, manager->Step(&finished, &progress));
    EXPECT_EQ(0, finished);
    EXPECT_EQ(192, progress);
    EXPECT_EQ(first, Copied("first.bin")) << "a file is complete on disk once it is left";

    ASSERT_EQ(1, manager->Step(&finished, &progress));
    EXPECT_EQ(1, finished);
    EXPECT_EQ(256, progress);
    // Read while the manager still exists: the finished copy has already been flushed.
    EXPECT_EQ(second, Copied("second.bin"));
}

TEST_F(GsInstallManagerTest, FiveMebibytesTakeThreeStepsAndCount5120Kilobytes)
{
    const std::string big = Source("big.bin", 5242880, 7);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("big.bin", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ(5120, dynamic_cast<CGsInstallManager*>(manager.Get())->GetTotalKilobytes());

    const int expected[] = {2048 * 256 / 5120, 4096 * 256 / 5120, 256};
    int finished = 0;
    for (int step = 0; step < 3; ++step)
    {
        int progress = -1;
        ASSERT_EQ(1, manager->Step(&finished, &progress)) << "step " << step;
        EXPECT_EQ(expected[step], progress) << "step " << step;
        EXPECT_EQ(step == 2 ? 1 : 0, finished) << "step " << step;
    }
    EXPECT_TRUE(big == Copied("big.bin")) << "the copy is byte-identical";
}

TEST_F(GsInstallManagerTest, SmallAndEmptyFilesCountOneKilobyteEach)
{
    const std::string small = Source("small.txt", 100);
    Source("empty.txt", 0);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("small.txt", nullptr);
    manager->AddFile("empty.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ(2, dynamic_cast<CGsInstallManager*>(manager.Get())->GetTotalKilobytes());

    int finished = 0;
    int progress = 0;
    ASSERT_EQ(1, manager->Step(&finished, &progress));
    EXPECT_EQ(128, progress);
    EXPECT_EQ(0, finished);
    // The empty file takes one step that copies nothing.
    ASSERT_EQ(1, manager->Step(&finished, &progress));
    EXPECT_EQ(256, progress);
    EXPECT_EQ(1, finished);
    EXPECT_EQ(small, Copied("small.txt"));
    EXPECT_EQ("", Copied("empty.txt"));
}

TEST_F(GsInstallManagerTest, EmptyListStartsWithoutOpeningAnything)
{
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    EXPECT_EQ(1, manager->Start());
    int finished = -1;
    int progress = -1;
    EXPECT_EQ(0, manager->Step(&finished, &progress)) << "nothing to copy";
    EXPECT_EQ(0, finished);
    EXPECT_EQ(-1, progress);
    EXPECT_TRUE(IsEmptyFolder(destination));
}

TEST_F(GsInstallManagerTest, StepOutsideACopyNeitherReadsNorWrites)
{
    const std::string a = Source("a.txt", 4000);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("a.txt", nullptr);
    int finished = -1;
    int progress = -1;
    EXPECT_EQ(0, manager->Step(&finished, &progress)) << "before Start";
    EXPECT_EQ(0, finished);
    EXPECT_EQ(-1, progress);
    EXPECT_FALSE(Exists(destination + "\\a.txt"));

    ASSERT_EQ(1, manager->Start());
    ASSERT_EQ(1, manager->Step(&finished, &progress));
    ASSERT_EQ(1, finished);

    // After the finished flag: the copy stays as it is.
    ASSERT_TRUE(WriteBytes(source + "\\a.txt", "changed"));
    progress = -1;
    EXPECT_EQ(0, manager->Step(&finished, &progress));
    EXPECT_EQ(0, finished);
    EXPECT_EQ(-1, progress);
    EXPECT_EQ(a, Copied("a.txt"));

    // Setup again empties the list and ends any copy.
    ASSERT_EQ(1, manager->Start());
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    EXPECT_EQ(0, manager->Step(&finished, &progress));
    EXPECT_EQ(1, manager->Start()) << "the list is empty again";
    EXPECT_EQ(0, manager->Step(&finished, &progress));
}

TEST_F(GsInstallManagerTest, MissingSourceShowsOpenErrorOverTheWindowAndTouchesNothing)
{
    ProgressDialog dialog;
    ASSERT_NE(nullptr, dialog.hwnd);
    Source("here.txt", 10);
    ASSERT_EQ(1,
              manager->Setup(dialog.hwnd, IDC_INSTALL_STATUS, source.c_str(), destination.c_str()));
    manager->AddFile("here.txt", nullptr);
    manager->AddFile("gone.txt", nullptr);
    EXPECT_EQ(0, manager->Start());

    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(dialog.hwnd, g_boxes[0].owner);
    EXPECT_EQ("gone.txt", g_boxes[0].text);
    EXPECT_EQ("open error", g_boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), g_boxes[0].style);
    EXPECT_TRUE(IsEmptyFolder(destination)) << "no destination is touched";
    EXPECT_EQ("idle", dialog.Text(IDC_INSTALL_STATUS));
    EXPECT_EQ(0, manager->Step(nullptr, nullptr));

    // Without a window the failure is silent.
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("gone.txt", nullptr);
    EXPECT_EQ(0, manager->Start());
    EXPECT_EQ(1u, g_boxes.size());
}

TEST_F(GsInstallManagerTest, MissingDestinationFolderFailsTheStartSilently)
{
    ProgressDialog dialog;
    Source("a.txt", 10);
    ASSERT_EQ(1, manager->Setup(dialog.hwnd, IDC_INSTALL_STATUS, source.c_str(),
                                (destination + "\\not\\made").c_str()));
    manager->AddFile("a.txt", nullptr);
    EXPECT_EQ(0, manager->Start());
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(0, manager->Step(nullptr, nullptr));
}

TEST_F(GsInstallManagerTest, ProgressTextNamesEachFileInTheDialogControl)
{
    ProgressDialog dialog;
    ASSERT_NE(nullptr, dialog.hwnd);
    ASSERT_FALSE(scratch.MakeFolder("src\\サブ").empty());
    ASSERT_FALSE(scratch.MakeFolder("dst\\サブ").empty());
    const std::string first = Source("first.txt", 3000);
    const std::string second = Source("サブ\\表示.txt", 5000);
    ASSERT_EQ(1,
              manager->Setup(dialog.hwnd, IDC_INSTALL_STATUS, source.c_str(), destination.c_str()));
    manager->AddFile("first.txt", nullptr);
    manager->AddFile("サブ\\表示.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ("first.txt をコピーしています...", dialog.Text(IDC_INSTALL_STATUS));

    int finished = 0;
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    EXPECT_EQ("サブ\\表示.txt をコピーしています...", dialog.Text(IDC_INSTALL_STATUS));
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    EXPECT_EQ(1, finished);
    EXPECT_EQ("other", dialog.Text(IDC_INSTALL_OTHER));
    EXPECT_EQ(second, Copied("サブ\\表示.txt"));

    // Control id 0: the window is kept for the message box, but no text is set.
    SetDlgItemTextA(dialog.hwnd, IDC_INSTALL_STATUS, "idle");
    ASSERT_EQ(1, manager->Setup(dialog.hwnd, 0, source.c_str(), destination.c_str()));
    manager->AddFile("first.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ("idle", dialog.Text(IDC_INSTALL_STATUS));
    EXPECT_EQ("other", dialog.Text(IDC_INSTALL_OTHER));
}

TEST(GsInstallManagerProgressText, LongNamesAreCutToWholeCharactersSoTheTextFits)
{
    ASSERT_STREQ("\x83\x5C", "ソ") << "sources must be compiled to code page 932";
    const std::string suffix = " をコピーしています...";
    ASSERT_EQ(22u, suffix.size());

    char text[GS_INSTALL_PROGRESS_SIZE + 16];
    std::memset(text, '#', sizeof text);
    const std::string fits(237, 'a');
    GsFormatCopyProgress(fits.c_str(), text);
    EXPECT_EQ(fits + suffix, text) << "237 bytes still fit whole";

    std::memset(text, '#', sizeof text);
    const std::string longName(300, 'b');
    GsFormatCopyProgress(longName.c_str(), text);
    EXPECT_EQ(std::string(237, 'b') + suffix, text);
    EXPECT_EQ('#', text[GS_INSTALL_PROGRESS_SIZE]) << "nothing beyond the 260 bytes";

    // A double-byte character across the limit is left out whole, not split.
    if (GetACP() == 932)
    {
        const std::string straddling = std::string(236, 'c') + "ソ" + "tail";
        GsFormatCopyProgress(straddling.c_str(), text);
        EXPECT_EQ(std::string(236, 'c') + suffix, text);
    }
}

TEST_F(GsInstallManagerTest, StepFailsWhenTheWriteFallsShort)
{
    // The host's device that is always full (Z: is the host's root under wine): every write
    // stops short, as on a full disk.
    const std::string fullDevice = "Z:\\dev";
    Source("a.bin", 100000);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), fullDevice.c_str()));
    manager->AddFile("a.bin", "full");
    ASSERT_EQ(1, manager->Start()) << "the host's /dev/full opens as Z:\\dev\\full";
    int finished = -1;
    EXPECT_EQ(0, manager->Step(&finished, nullptr));
    EXPECT_EQ(0, finished);
    EXPECT_EQ(0, manager->Step(&finished, nullptr)) << "the failed copy is over";
}

TEST_F(GsInstallManagerTest, StepFailsWhenTheSourceShrinks)
{
    Source("shrinking.bin", 3 * 1024 * 1024);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("shrinking.bin", nullptr);
    ASSERT_EQ(1, manager->Start());

    const HANDLE other = CreateFileA((source + "\\shrinking.bin").c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    LARGE_INTEGER size;
    size.QuadPart = 1024 * 1024;
    EXPECT_TRUE(SetFilePointerEx(other, size, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(other));
    CloseHandle(other);

    EXPECT_EQ(0, manager->Step(nullptr, nullptr)) << "1 MiB came where 2 MiB were due";
    EXPECT_EQ(0, manager->Step(nullptr, nullptr));
    // Stale buffer bytes were never written as if they were the file's.
    int ok = 0;
    const std::string partial = gstest::ReadWholeFile(destination + "\\shrinking.bin", &ok);
    EXPECT_EQ(1, ok);
    EXPECT_EQ(0u, partial.size());
}

// A manager whose copy buffer cannot be had.
class StarvedInstallManager : public CGsInstallManager
{
protected:
    unsigned char* AllocateCopyBuffer(std::size_t) override { return nullptr; }
};

TEST_F(GsInstallManagerTest, SetupFailsWithoutItsCopyBufferAndNothingCopiesThen)
{
    Source("a.txt", 10);
    StarvedInstallManager starved;
    EXPECT_EQ(0, starved.Setup(nullptr, 0, source.c_str(), destination.c_str()));
    starved.AddFile("a.txt", nullptr);
    EXPECT_EQ(0, starved.Start());
    EXPECT_EQ(0, starved.Step(nullptr, nullptr));
    EXPECT_TRUE(IsEmptyFolder(destination));
}

TEST_F(GsInstallManagerTest, FolderEndingInABackslashTrailByteKeepsIt)
{
    ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
    // "ソ" is 83 5C: its second byte is not a separator and must stay.
    const std::string from = scratch.MakeFolder("ソ");
    const std::string to = scratch.MakeFolder("表");
    ASSERT_FALSE(from.empty());
    ASSERT_FALSE(to.empty());
    const std::string content = MakeContent(500, 3);
    ASSERT_TRUE(WriteBytes(from + "\\a.txt", content));

    ASSERT_EQ(1, manager->Setup(nullptr, 0, from.c_str(), (to + "\\").c_str()));
    auto* concrete = dynamic_cast<CGsInstallManager*>(manager.Get());
    EXPECT_EQ(from, concrete->GetSourceDirectory());
    EXPECT_EQ(to, concrete->GetDestinationDirectory());
    manager->AddFile("a.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    int finished = 0;
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    EXPECT_EQ(1, finished);
    EXPECT_EQ(content, gstest::ReadWholeFile(to + "\\a.txt"));
}

} // namespace
