// The update step on real files: the outcome on success, the backup name in all its cases,
// files that cannot be moved or replaced, damaged payloads and paths that do not fit. The
// payload comes from the updater program of this build, loaded as a data file.

#include "ApplyUpdate.h"
#include "GsTestFiles.h"
#include "PayloadContainer.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using updtest::ListFolder;
using updtest::ReadAll;

constexpr char FAILURE_TEXT[] = "アップデートファイルが作成できませんでした";

// A handle held on a file for the length of a test.
class HeldFile
{
public:
    HeldFile(const std::string& path, DWORD access, DWORD share)
        : handle(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool IsHeld() const { return handle != INVALID_HANDLE_VALUE; }
    void Release()
    {
        if (handle != INVALID_HANDLE_VALUE)
        {
            CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE handle;
};

class ApplyUpdateTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.GetPath().empty());
        ASSERT_NE(nullptr, updater.Get()) << "cannot load " << updtest::UpdaterProgram();
        oldRelease = ReadAll(updtest::OldRelease());
        newRelease = ReadAll(updtest::NewRelease());
        ASSERT_EQ(2048000u, oldRelease.size());
        target = scratch.GetPath() + "\\Larkspurgleam.exe";
        backup = scratch.GetPath() + "\\Larkspurgleam.bak";
        ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), target));
    }

    int Apply(const std::string& path)
    {
        return ApplyUpdateFrom(updater.Get(), path.c_str(), owner);
    }

    // The failure message, owned by the given window, shown exactly once.
    void ExpectFailureMessage(const updtest::MessageBoxRecorder& boxes) const
    {
        ASSERT_EQ(1u, boxes.Boxes().size());
        EXPECT_EQ(FAILURE_TEXT, boxes.Boxes()[0].text);
        EXPECT_EQ("Error", boxes.Boxes()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.Boxes()[0].style);
        EXPECT_EQ(owner, boxes.Boxes()[0].owner);
    }

    gstest::ScratchFolder scratch{"apply"};
    updtest::DataModule updater{updtest::UpdaterProgram()};
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    std::string oldRelease;
    std::string newRelease;
    std::string target;
    std::string backup;
};

TEST_F(ApplyUpdateTest, NewExecutableReplacesTheTargetAndTheOldOneBecomesTheBackup)
{
    updtest::MessageBoxRecorder boxes;
    ASSERT_EQ(1, Apply(target));
    EXPECT_TRUE(boxes.Boxes().empty()) << "the success message is the dialog's";
    const std::string updated = ReadAll(target);
    EXPECT_EQ(2048000u, updated.size());
    if (updtest::PayloadIsTheSample())
    {
        EXPECT_TRUE(updated == newRelease) << "target differs from the new release";
    }
    EXPECT_TRUE(ReadAll(backup) == oldRelease) << "backup differs from the old release";
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.bak", "Larkspurgleam.exe"}),
              ListFolder(scratch.GetPath()))
        << "no temporary file is left";
}

TEST_F(ApplyUpdateTest, OlderBackupIsReplacedByTheCurrentExecutable)
{
    ASSERT_TRUE(updtest::WriteAll(backup, "an older backup"));
    updtest::MessageBoxRecorder boxes;
    ASSERT_EQ(1, Apply(target));
    EXPECT_TRUE(ReadAll(backup) == oldRelease);
    EXPECT_EQ(2048000u, ReadAll(target).size());
}

TEST_F(ApplyUpdateTest, BackupNameThatCannotBeFreedMeansAReplacementInPlace)
{
    // A read-only older backup, then one held open without sharing: neither can be deleted,
    // so no backup is made and the complete new file replaces the target in one rename.
    ASSERT_TRUE(updtest::WriteAll(backup, "an older backup"));
    ASSERT_TRUE(SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        updtest::MessageBoxRecorder boxes;
        ASSERT_EQ(1, Apply(target));
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    EXPECT_EQ("an older backup", ReadAll(backup));
    EXPECT_EQ(2048000u, ReadAll(target).size());
    EXPECT_FALSE(ReadAll(target) == oldRelease);
    ASSERT_TRUE(SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_NORMAL));

    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), target));
    HeldFile held(backup, GENERIC_READ, 0);
    ASSERT_TRUE(held.IsHeld());
    {
        updtest::MessageBoxRecorder boxes;
        ASSERT_EQ(1, Apply(target));
    }
    held.Release();
    EXPECT_EQ("an older backup", ReadAll(backup));
    EXPECT_FALSE(ReadAll(target) == oldRelease);
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.bak", "Larkspurgleam.exe"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(ApplyUpdateTest, TargetThatCannotBeMovedOrReplacedStaysAsItWas)
{
    for (DWORD share : {0ul, static_cast<unsigned long>(FILE_SHARE_READ)})
    {
        HeldFile held(target, GENERIC_READ, share);
        ASSERT_TRUE(held.IsHeld());
        updtest::MessageBoxRecorder boxes;
        EXPECT_EQ(0, Apply(target)) << "share mode " << share;
        ExpectFailureMessage(boxes);
        held.Release();
        EXPECT_TRUE(ReadAll(target) == oldRelease) << "share mode " << share;
        EXPECT_EQ(std::vector<std::string>{"Larkspurgleam.exe"}, ListFolder(scratch.GetPath()))
            << "share mode " << share << ": no partial or temporary file";
    }
}

std::vector<int> g_reachedSteps;

void RecordStep(int step)
{
    g_reachedSteps.push_back(step);
}

TEST_F(ApplyUpdateTest, TargetEndingInBakIsNeverDeletedAsItsOwnBackup)
{
    const std::string bakTarget = scratch.GetPath() + "\\release.bak";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), bakTarget));
    updtest::MessageBoxRecorder boxes;
    g_reachedSteps.clear();
    SetUpdateStepHook(RecordStep);
    const int result = Apply(bakTarget);
    SetUpdateStepHook(nullptr);
    ASSERT_EQ(1, result);
    // Its "backup name" is its own name: the old file stays until the new one replaces it in
    // one rename, and is never deleted on the way.
    EXPECT_EQ((std::vector<int>{UPDATE_STEP_NEW_FILE_PARTIAL, UPDATE_STEP_NEW_FILE_WRITTEN,
                                UPDATE_STEP_REPLACED}),
              g_reachedSteps);
    const std::string updated = ReadAll(bakTarget);
    EXPECT_EQ(2048000u, updated.size());
    EXPECT_FALSE(updated == oldRelease);
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.exe", "release.bak"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(ApplyUpdateTest, ShortRelativePaths)
{
    char previous[MAX_PATH] = {};
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.GetPath().c_str()));
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), "abcd"));
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), "abc"));
    updtest::MessageBoxRecorder boxes;
    // Four characters: the backup is the first one followed by "bak".
    EXPECT_EQ(1, Apply("abcd"));
    // Three: no backup name at all, so a replacement in place.
    EXPECT_EQ(1, Apply("abc"));
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(ReadAll(scratch.GetPath() + "\\abak") == oldRelease);
    EXPECT_FALSE(ReadAll(scratch.GetPath() + "\\abcd") == oldRelease);
    EXPECT_FALSE(ReadAll(scratch.GetPath() + "\\abc") == oldRelease);
    EXPECT_EQ((std::vector<std::string>{"Larkspurgleam.exe", "abak", "abc", "abcd"}),
              ListFolder(scratch.GetPath()));
}

TEST_F(ApplyUpdateTest, PathsThatDoNotFitThePathBufferAreRefused)
{
    // 259 characters fit; 260 and more do not, whether or not such a file could exist.
    const std::string folder = scratch.GetPath() + "\\" + std::string(120, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::size_t nameLength = 259 - folder.size() - 1;
    ASSERT_GT(nameLength, 12u);
    const std::string fits = folder + "\\" + std::string(nameLength - 4, 'n') + ".exe";
    ASSERT_EQ(259u, fits.size());
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), fits));
    {
        updtest::MessageBoxRecorder boxes;
        EXPECT_EQ(1, Apply(fits));
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    EXPECT_EQ(2u, ListFolder(folder).size()) << "the target and its backup";

    for (std::size_t length : {260u, 300u, 511u})
    {
        const std::string tooLong = folder + "\\" + std::string(length - folder.size() - 1, 'x');
        ASSERT_EQ(length, tooLong.size());
        updtest::MessageBoxRecorder boxes;
        EXPECT_EQ(0, Apply(tooLong)) << length;
        ExpectFailureMessage(boxes);
    }
    EXPECT_EQ(2u, ListFolder(folder).size()) << "nothing was created";
}

TEST_F(ApplyUpdateTest, MissingOrDamagedPayloadChangesNothing)
{
    const std::vector<unsigned char> payload = updtest::BuiltPayload();
    ASSERT_GT(payload.size(), PAYLOAD_HEADER_SIZE + 1000);
    auto withExpandedLength = [&payload](std::uint32_t length)
    {
        std::vector<unsigned char> damaged = payload;
        std::memcpy(&damaged[60], &length, sizeof length);
        return damaged;
    };
    std::uint32_t expanded = 0;
    std::memcpy(&expanded, &payload[60], sizeof expanded);
    ASSERT_EQ(2048000u, expanded);

    const struct
    {
        const char* name;
        std::vector<unsigned char> data; // empty: no payload resource at all
    } cases[] = {
        {"missing", {}},
        {"truncated body", std::vector<unsigned char>(payload.begin(), payload.end() - 1000)},
        {"header only", std::vector<unsigned char>(payload.begin(), payload.begin() + 72)},
        {"shorter than a header",
         std::vector<unsigned char>(payload.begin(), payload.begin() + 40)},
        {"expanded length one too large", withExpandedLength(expanded + 1)},
        {"expanded length one too small", withExpandedLength(expanded - 1)},
        {"expanded length zero", withExpandedLength(0)},
    };
    int index = 0;
    for (const auto& damage : cases)
    {
        const std::string carrier = scratch.GetPath() + "\\carrier" + std::to_string(++index);
        ASSERT_TRUE(updtest::CopyTo(updtest::VersionCarrier(), carrier));
        if (!damage.data.empty())
        {
            ASSERT_TRUE(updtest::WriteResources(
                carrier, {{"BIN", MAKEINTRESOURCEA(107), 1041, damage.data}}, false))
                << damage.name;
        }
        std::vector<unsigned char> executable;
        {
            updtest::DataModule module(carrier);
            ASSERT_NE(nullptr, module.Get()) << damage.name;
            EXPECT_EQ(0, LoadPayload(module.Get(), executable)) << damage.name;
            EXPECT_TRUE(executable.empty()) << damage.name;
            updtest::MessageBoxRecorder boxes;
            EXPECT_EQ(0, ApplyUpdateFrom(module.Get(), target.c_str(), owner)) << damage.name;
            ExpectFailureMessage(boxes);
        }
        EXPECT_TRUE(ReadAll(target) == oldRelease) << damage.name;
        EXPECT_FALSE(updtest::Exists(backup)) << damage.name;
        DeleteFileA(carrier.c_str());
        EXPECT_EQ(std::vector<std::string>{"Larkspurgleam.exe"}, ListFolder(scratch.GetPath()))
            << damage.name;
    }
}

TEST_F(ApplyUpdateTest, BuiltPayloadExpandsToTheNewRelease)
{
    std::vector<unsigned char> executable;
    ASSERT_EQ(1, LoadPayload(updater.Get(), executable));
    EXPECT_EQ(2048000u, executable.size());
    if (updtest::PayloadIsTheSample())
    {
        EXPECT_TRUE(std::string(executable.begin(), executable.end()) == newRelease);
    }
}

TEST(MakeBackupPathTest, LastThreeCharactersBecomeBak)
{
    char backup[UPDATE_PATH_SIZE];
    EXPECT_EQ(1, MakeBackupPath("C:\\Program Files\\Larkspurgleam\\Larkspurgleam.exe", backup));
    EXPECT_STREQ("C:\\Program Files\\Larkspurgleam\\Larkspurgleam.bak", backup);
    EXPECT_EQ(1, MakeBackupPath("C:\\app\\release", backup));
    EXPECT_STREQ("C:\\app\\relebak", backup);
    EXPECT_EQ(1, MakeBackupPath("abcd", backup));
    EXPECT_STREQ("abak", backup);
    // A Japanese folder keeps its bytes; only the last three change.
    EXPECT_EQ(1, MakeBackupPath("C:\\ソフト\\表\\Larkspurgleam.exe", backup));
    EXPECT_STREQ("C:\\ソフト\\表\\Larkspurgleam.bak", backup);

    std::memset(backup, 'x', sizeof backup);
    EXPECT_EQ(0, MakeBackupPath("abc", backup));
    EXPECT_STREQ("", backup);
    EXPECT_EQ(0, MakeBackupPath("", backup));
    EXPECT_EQ(0, MakeBackupPath(nullptr, backup));
}

TEST(MakeBackupPathTest, NeverWritesPastThePathBuffer)
{
    char backup[UPDATE_PATH_SIZE + 8];
    std::memset(backup, 'x', sizeof backup);
    const std::string fits = std::string(255, 'p') + ".exe";
    ASSERT_EQ(259u, fits.size());
    EXPECT_EQ(1, MakeBackupPath(fits.c_str(), backup));
    EXPECT_EQ(std::string(255, 'p') + ".bak", backup);
    EXPECT_EQ(std::string(8, 'x'), std::string(backup + UPDATE_PATH_SIZE, 8));

    const std::string tooLong = std::string(256, 'p') + ".exe";
    EXPECT_EQ(0, MakeBackupPath(tooLong.c_str(), backup));
    EXPECT_EQ(std::string(8, 'x'), std::string(backup + UPDATE_PATH_SIZE, 8));
}

} // namespace
