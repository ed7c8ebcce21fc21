// The install manager driven as an installer drives it: from the factory, set up with two
// folders and a control of the caller's window, files added, started, then stepped until the
// finished flag; and its refusals on real files that cannot be copied whole.
#include "GsInstallManager.h"
#include "GsComponentHolder.h"
#include "GsComponentIds.h"
#include "GsMessageBox.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr int kStatusId = 1101;
constexpr int kOtherId = 1102;

std::vector<std::string> g_boxes; // owner-less record: "text|caption|style"
HWND g_boxOwner = nullptr;

int RecordBox(HWND owner, const char* text, const char* caption, UINT style)
{
    g_boxOwner = owner;
    g_boxes.push_back(std::string(text) + "|" + caption + "|" + std::to_string(style));
    return IDOK;
}

class GsInstallManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
        ASSERT_NE(nullptr, manager.Get());
        ASSERT_FALSE(source.empty());
        ASSERT_FALSE(destination.empty());
        g_boxes.clear();
        previousBox = GsSetMessageBoxFunction(RecordBox);
        // The caller's window: the control that shows the progress text, and one to leave alone.
        window = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 400, 60, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        for (int id : {kStatusId, kOtherId})
        {
            CreateWindowA("STATIC", "idle", WS_CHILD, 0, 0, 400, 20, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleA(nullptr), nullptr);
        }
    }
    void TearDown() override
    {
        GsSetMessageBoxFunction(previousBox);
        DestroyWindow(window);
    }

    // A source file of `size` seeded bytes; its content is returned.
    std::string Source(const std::string& name, std::size_t size)
    {
        std::mt19937 random(static_cast<unsigned>(size));
        std::string content(size, '\0');
        for (char& c : content)
            c = static_cast<char>(random());
        std::ofstream(source + "\\" + name, std::ios::binary) << content;
        return content;
    }
    std::string Copied(const std::string& name) const
    {
        return gstest::ReadWholeFile(destination + "\\" + name);
    }
    std::string Text(int id) const
    {
        char text[512] = {};
        GetDlgItemTextA(window, id, text, sizeof text);
        return text;
    }
    bool DestinationEmpty() const
    {
        WIN32_FIND_DATAA entry;
        const HANDLE find = FindFirstFileA((destination + "\\*").c_str(), &entry);
        int count = 0;
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry))
            ++count;
        FindClose(find);
        return count == 2; // "." and ".."
    }
    // Steps until the finished flag (at most `limit` steps); the progress values reported.
    std::vector<int> StepToEnd(int limit = 10)
    {
        std::vector<int> progress;
        int finished = 0;
        while (!finished && static_cast<int>(progress.size()) < limit)
        {
            int value = -1;
            EXPECT_EQ(1, manager->Step(&finished, &value));
            progress.push_back(value);
        }
        EXPECT_EQ(1, finished);
        return progress;
    }

    gstest::ScratchFolder scratch{"install"};
    GsComponentHolder<IGsInstallManager> manager{IID_IGsInstallManager};
    std::string source = scratch.MakeFolder("src");
    std::string destination = scratch.MakeFolder("dst");
    HWND window = nullptr;
    GsMessageBoxFunction previousBox = nullptr;
};

TEST_F(GsInstallManagerTest, CopiesEveryFileWholeCountingKilobytes)
{
    const struct
    {
        std::vector<std::size_t> sizes;
        int totalKilobytes; // at least 1 per file
        std::vector<int> progress;
    } rows[] = {
        {{3072, 1024}, 4, {192, 256}},
        {{5242880}, 5120, {2048 * 256 / 5120, 4096 * 256 / 5120, 256}}, // 2 MiB per step
        {{100, 0}, 2, {128, 256}},
    };
    for (const auto& row : rows)
    {
        // The source folder with its trailing backslash, which is dropped.
        ASSERT_EQ(1, manager->Setup(nullptr, 0, (source + "\\").c_str(), destination.c_str()));
        std::vector<std::string> contents;
        for (std::size_t i = 0; i < row.sizes.size(); ++i)
        {
            const std::string name = "f" + std::to_string(i);
            contents.push_back(Source(name, row.sizes[i]));
            EXPECT_EQ(static_cast<int>(i + 1),
                      manager->AddFile(name.c_str(), (name + ".out").c_str()));
        }
        ASSERT_EQ(1, manager->Start());
        auto* concrete = dynamic_cast<CGsInstallManager*>(manager.Get());
        EXPECT_EQ(row.totalKilobytes, concrete->GetTotalKilobytes());
        EXPECT_EQ(source + "\\f0", concrete->GetFile(0)->sourcePath);
        EXPECT_EQ(row.progress, StepToEnd());
        for (std::size_t i = 0; i < contents.size(); ++i)
        {
            EXPECT_TRUE(contents[i] == Copied("f" + std::to_string(i) + ".out")) << i;
        }
        // After the finished flag nothing is read or written any more.
        int finished = -1;
        EXPECT_EQ(0, manager->Step(&finished, nullptr));
        EXPECT_EQ(0, finished);
    }
    // An empty list starts, opening nothing, and has nothing to step.
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    EXPECT_EQ(1, manager->Start());
    EXPECT_EQ(0, manager->Step(nullptr, nullptr));
}

TEST_F(GsInstallManagerTest, ShowsTheProgressTextOfEachFileInTheControl)
{
    ASSERT_FALSE(scratch.MakeFolder("src\\サブ").empty());
    ASSERT_FALSE(scratch.MakeFolder("dst\\サブ").empty());
    Source("first.txt", 3000);
    const std::string second = Source("サブ\\表示.txt", 5000);
    ASSERT_EQ(1, manager->Setup(window, kStatusId, source.c_str(), destination.c_str()));
    manager->AddFile("first.txt", nullptr);
    manager->AddFile("サブ\\表示.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ("first.txt をコピーしています...", Text(kStatusId));
    int finished = 0;
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    EXPECT_EQ("サブ\\表示.txt をコピーしています...", Text(kStatusId));
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    EXPECT_EQ("idle", Text(kOtherId));
    EXPECT_EQ(second, Copied("サブ\\表示.txt"));

    // Control id 0: the window is kept for the message box, but no text is set.
    SetDlgItemTextA(window, kStatusId, "idle");
    ASSERT_EQ(1, manager->Setup(window, 0, source.c_str(), destination.c_str()));
    manager->AddFile("first.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ("idle", Text(kStatusId));

    // Long names are cut to whole characters so that the text fits its 260 bytes.
    const std::string suffix = " をコピーしています...";
    char text[GS_INSTALL_PROGRESS_SIZE + 16];
    std::memset(text, '#', sizeof text);
    GsFormatCopyProgress(std::string(300, 'b').c_str(), text);
    EXPECT_EQ(std::string(237, 'b') + suffix, text);
    EXPECT_EQ('#', text[GS_INSTALL_PROGRESS_SIZE]);
    GsFormatCopyProgress((std::string(236, 'c') + "ソtail").c_str(), text);
    EXPECT_EQ(std::string(236, 'c') + suffix, text);
}

TEST_F(GsInstallManagerTest, RefusesWhatCannotBeCopiedWhole)
{
    Source("here.txt", 10);
    // A missing source: the box over the window, and no destination touched.
    ASSERT_EQ(1, manager->Setup(window, kStatusId, source.c_str(), destination.c_str()));
    manager->AddFile("here.txt", nullptr);
    manager->AddFile("gone.txt", nullptr);
    EXPECT_EQ(0, manager->Start());
    EXPECT_EQ(std::vector<std::string>{"gone.txt|open error|0"}, g_boxes);
    EXPECT_EQ(window, g_boxOwner);
    EXPECT_TRUE(DestinationEmpty());
    EXPECT_EQ("idle", Text(kStatusId));
    EXPECT_EQ(0, manager->Step(nullptr, nullptr));

    // A source of 3 GiB (sparse): beyond the sizes the file object carries, so refused
    // instead of being copied as nothing.
    const std::string huge = source + "\\huge.bin";
    const HANDLE file =
        CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 3LL << 30;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("huge.bin", nullptr);
    EXPECT_EQ(0, manager->Start());
    int finished = -1;
    EXPECT_EQ(0, manager->Step(&finished, nullptr));
    EXPECT_EQ(0, finished);
    EXPECT_TRUE(DestinationEmpty());
    DeleteFileA(huge.c_str());

    // A destination folder that does not exist: a silent failure.
    ASSERT_EQ(1, manager->Setup(window, kStatusId, source.c_str(),
                                (destination + "\\not\\made").c_str()));
    manager->AddFile("here.txt", nullptr);
    EXPECT_EQ(0, manager->Start());
    EXPECT_EQ(1u, g_boxes.size());

    // The host's always-full device (Z: is the host's root): every write stops short.
    Source("large.bin", 100000); // more than the stream's buffer holds
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), "Z:\\dev"));
    manager->AddFile("large.bin", "full");
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ(0, manager->Step(nullptr, nullptr));
    EXPECT_EQ(0, manager->Step(nullptr, nullptr)) << "the failed copy is over";

    // Without its copy buffer the manager is not set up.
    struct Starved : CGsInstallManager
    {
        unsigned char* AllocateCopyBuffer(std::size_t) override { return nullptr; }
    } starved;
    EXPECT_EQ(0, starved.Setup(nullptr, 0, source.c_str(), destination.c_str()));
    starved.AddFile("here.txt", nullptr);
    EXPECT_EQ(0, starved.Start());
    EXPECT_EQ(0, starved.Step(nullptr, nullptr));
    EXPECT_TRUE(DestinationEmpty());
}

TEST_F(GsInstallManagerTest, SourceThatShrinksFailsTheStepWithoutStaleBytes)
{
    Source("shrinking.bin", 3 * 1024 * 1024);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), destination.c_str()));
    manager->AddFile("shrinking.bin", nullptr);
    int finished = -1;
    EXPECT_EQ(0, manager->Step(&finished, nullptr)) << "before Start";
    ASSERT_EQ(1, manager->Start());
    const HANDLE other = CreateFileA((source + "\\shrinking.bin").c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 1024 * 1024;
    ASSERT_TRUE(SetFilePointerEx(other, size, nullptr, FILE_BEGIN) && SetEndOfFile(other));
    CloseHandle(other);
    EXPECT_EQ(0, manager->Step(nullptr, nullptr)) << "1 MiB came where 2 MiB were due";
    EXPECT_EQ(0, manager->Step(nullptr, nullptr));
    EXPECT_EQ("", Copied("shrinking.bin"));
}

// "ソ" is 83 5C: the trailing byte of the folder name is not a separator and stays.
TEST_F(GsInstallManagerTest, FolderEndingInABackslashTrailByteKeepsIt)
{
    const std::string from = scratch.MakeFolder("ソ");
    const std::string to = scratch.MakeFolder("表");
    ASSERT_FALSE(from.empty() || to.empty());
    std::ofstream(from + "\\a.txt", std::ios::binary) << "content";
    ASSERT_EQ(1, manager->Setup(nullptr, 0, from.c_str(), (to + "\\").c_str()));
    EXPECT_EQ(from, dynamic_cast<CGsInstallManager*>(manager.Get())->GetSourceDirectory());
    manager->AddFile("a.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    EXPECT_EQ(std::vector<int>{256}, StepToEnd());
    EXPECT_EQ("content", gstest::ReadWholeFile(to + "\\a.txt"));
}

} // namespace
