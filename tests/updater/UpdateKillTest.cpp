// A process killed at any moment of the update step leaves a complete executable at the
// target path or at the backup path. A helper runs the step and stops at a chosen point; the
// test kills it there and looks at what is on the disk.

#include "ApplyUpdate.h"
#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using updtest::ReadAll;

constexpr char OLDER_BACKUP[] = "an older backup";

struct KillCase
{
    int step;
    const char* name;
    // What the target and the backup hold after the kill: "old", "new", "older" or "" (none).
    const char* target;
    const char* backup;
};

class UpdateKillTest : public testing::TestWithParam<KillCase>
{
};

TEST_P(UpdateKillTest, KillLeavesACompleteExecutable)
{
    const KillCase& kill = GetParam();
    gstest::ScratchFolder scratch("kill");
    ASSERT_FALSE(scratch.GetPath().empty());
    const std::string target = scratch.GetPath() + "\\Larkspurgleam.exe";
    const std::string backup = scratch.GetPath() + "\\Larkspurgleam.bak";
    const std::string ready = scratch.GetPath() + "\\ready";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), target));
    ASSERT_TRUE(updtest::WriteAll(backup, OLDER_BACKUP));

    gstest::TestProcess runner;
    ASSERT_TRUE(runner.Start(updtest::StepRunner(), "\"" + updtest::UpdaterProgram() + "\" \"" +
                                                        target + "\" " + std::to_string(kill.step) +
                                                        " \"" + ready + "\""));
    const DWORD start = GetTickCount();
    while (!updtest::Exists(ready) && runner.IsRunning() &&
           GetTickCount() - start < 2 * gstest::STEP_TIMEOUT_MS)
    {
        Sleep(10);
    }
    ASSERT_TRUE(updtest::Exists(ready)) << "the runner never reached the step";
    runner.Terminate();
    ASSERT_FALSE(runner.IsRunning());

    const std::string oldRelease = ReadAll(updtest::OldRelease());
    const std::string newRelease = ReadAll(updtest::NewRelease());
    auto describe = [&](const std::string& path)
    {
        int ok = 0;
        const std::string content = ReadAll(path, &ok);
        if (!ok)
        {
            return std::string();
        }
        if (content == oldRelease)
        {
            return std::string("old");
        }
        if (content == OLDER_BACKUP)
        {
            return std::string("older");
        }
        if (content.size() == 2048000 && (!updtest::PayloadIsTheSample() || content == newRelease))
        {
            return std::string("new");
        }
        return std::string("damaged");
    };
    const std::string atTarget = describe(target);
    const std::string atBackup = describe(backup);
    EXPECT_TRUE(atTarget == "old" || atTarget == "new" || atBackup == "old")
        << "no complete executable left: target " << atTarget << ", backup " << atBackup;
    EXPECT_EQ(kill.target, atTarget);
    EXPECT_EQ(kill.backup, atBackup);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, UpdateKillTest,
    testing::Values(
        KillCase{UPDATE_STEP_NEW_FILE_PARTIAL, "WhileWritingTheNewFile", "old", "older"},
        KillCase{UPDATE_STEP_NEW_FILE_WRITTEN, "AfterTheNewFileIsComplete", "old", "older"},
        KillCase{UPDATE_STEP_OLD_BACKUP_DELETED, "AfterTheOlderBackupIsDeleted", "old", ""},
        KillCase{UPDATE_STEP_TARGET_MOVED, "AfterTheTargetBecameTheBackup", "", "old"},
        KillCase{UPDATE_STEP_REPLACED, "AfterTheNewFileIsInPlace", "new", "old"}),
    [](const testing::TestParamInfo<KillCase>& step) { return std::string(step.param.name); });

TEST(UpdateStepRunnerTest, RunsToTheEndWithoutAStopStep)
{
    gstest::ScratchFolder scratch("runner");
    const std::string target = scratch.GetPath() + "\\Larkspurgleam.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), target));
    gstest::TestProcess runner;
    ASSERT_TRUE(runner.Start(updtest::StepRunner(), "\"" + updtest::UpdaterProgram() + "\" \"" +
                                                        target + "\" 0 \"" + scratch.GetPath() +
                                                        "\\ready\""));
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(runner.WaitForExit(2 * gstest::STEP_TIMEOUT_MS, &exitCode));
    EXPECT_EQ(1u, exitCode);
    EXPECT_TRUE(ReadAll(scratch.GetPath() + "\\Larkspurgleam.bak") ==
                ReadAll(updtest::OldRelease()));
}

} // namespace
