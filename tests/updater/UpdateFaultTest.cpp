// The update step where the file system itself refuses: a folder in which nothing may be
// created or renamed, and a disk that fills up while the new file is written. The folders
// are made by update_faults.sh (as root) before these tests run.

#include "ApplyUpdate.h"
#include "GsTestFiles.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using updtest::ListFolder;
using updtest::ReadAll;

constexpr char FAILURE_TEXT[] = "アップデートファイルが作成できませんでした";

class UpdateFaultTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, updater.Get());
        oldRelease = ReadAll(updtest::OldRelease());
        ASSERT_EQ(2048000u, oldRelease.size());
    }

    // Applies the update to Larkspurgleam.exe in `folder` and expects the failure message,
    // a result of 0 and the folder exactly as it was.
    void ExpectCleanFailure(const std::string& folder)
    {
        const std::string target = folder + "\\Larkspurgleam.exe";
        const std::vector<std::string> before = ListFolder(folder);
        ASSERT_TRUE(ReadAll(target) == oldRelease) << "the fixture holds the old release";

        updtest::MessageBoxRecorder boxes;
        EXPECT_EQ(0, ApplyUpdateFrom(updater.Get(), target.c_str(), nullptr));
        ASSERT_EQ(1u, boxes.Boxes().size());
        EXPECT_EQ(FAILURE_TEXT, boxes.Boxes()[0].text);
        EXPECT_EQ("Error", boxes.Boxes()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.Boxes()[0].style);

        EXPECT_TRUE(ReadAll(target) == oldRelease) << "the target changed";
        EXPECT_EQ(before, ListFolder(folder)) << "files were left or removed";
    }

    static std::string Folder(const char* name)
    {
        return gstest::ToWindowsPath(GS_FAULT_DIR) + "\\" + name;
    }

    updtest::DataModule updater{updtest::UpdaterProgram()};
    std::string oldRelease;
};

TEST_F(UpdateFaultTest, FolderWhereNothingCanBeWrittenFailsWithoutChange)
{
    ExpectCleanFailure(Folder("readonly"));
}

TEST_F(UpdateFaultTest, DiskFullPartWayFailsWithoutChange)
{
    ExpectCleanFailure(Folder("full"));
}

TEST_F(UpdateFaultTest, DiskFullKeepsAnOlderBackup)
{
    const std::string backup = Folder("full") + "\\Larkspurgleam.bak";
    ASSERT_TRUE(updtest::WriteAll(backup, "an older backup"));
    ExpectCleanFailure(Folder("full"));
    EXPECT_EQ("an older backup", ReadAll(backup));
    DeleteFileA(backup.c_str());
}

} // namespace
