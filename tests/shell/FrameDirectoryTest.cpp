// The frame's `directory` as a started program sees it: the probe program is copied into a
// scratch folder and started from another current directory.

#include "GsTestFiles.h"
#include "GsTestProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr char PROBE_PROGRAM[] = GS_FRAME_PROBE;
constexpr DWORD PROBE_EXIT_CODE = 3;

struct ProbeRun
{
    int started = 0;
    int ended = 0;
    DWORD exitCode = 0;
    std::string directory;
    std::string commandLine;
};

// Copies the probe to folder\fileName, runs it from `currentDirectory` and reads its report.
ProbeRun RunProbe(const gstest::ScratchFolder& scratch, const std::string& folder,
                  const std::string& fileName, const std::string& currentDirectory)
{
    ProbeRun run;
    const std::string program = folder + "\\" + fileName;
    const std::string report = scratch.GetPath() + "\\report.txt";
    if (!CopyFileA(gstest::ToWindowsPath(PROBE_PROGRAM).c_str(), program.c_str(), FALSE))
    {
        ADD_FAILURE() << "cannot copy the probe to " << program << ": " << GetLastError();
        return run;
    }
    gstest::TestProcess process;
    run.started = process.Start(program, report, currentDirectory);
    if (!run.started)
    {
        ADD_FAILURE() << "cannot start " << program << ": " << GetLastError();
        return run;
    }
    run.ended = process.WaitForExit(gstest::STEP_TIMEOUT_MS, &run.exitCode);
    const std::string text = gstest::ReadWholeFile(report);
    const auto end = text.find('\n');
    if (end != std::string::npos)
    {
        run.directory = text.substr(0, end);
        run.commandLine = text.substr(end + 1, text.find('\n', end + 1) - end - 1);
    }
    return run;
}

TEST(GsAppFrameDirectory, IsTheProgramsFolderWhenStartedFromElsewhere)
{
    gstest::ScratchFolder scratch("frame_dir");
    const std::string folder = scratch.MakeFolder("program");
    const std::string elsewhere = scratch.MakeFolder("elsewhere");
    ASSERT_FALSE(folder.empty());
    ASSERT_FALSE(elsewhere.empty());
    const ProbeRun run = RunProbe(scratch, folder, "probe.exe", elsewhere);
    ASSERT_TRUE(run.ended);
    // The generic run: the loop ended by WM_QUIT, the exit code came from OnExit.
    EXPECT_EQ(PROBE_EXIT_CODE, run.exitCode);
    EXPECT_EQ(folder, run.directory);
    EXPECT_EQ(scratch.GetPath() + "\\report.txt", run.commandLine);
}

// "ソ" (83 5C) and "表" (95 5C) end in a backslash byte. In a folder name they are passed by
// a backward byte scan anyway; in the file name they are what it would stop at.
TEST(GsAppFrameDirectory, KeepsJapaneseNamesWhoseSecondByteIsABackslash)
{
    ASSERT_EQ(932u, GetACP());
    gstest::ScratchFolder scratch("frame_dbcs");
    const std::string folder = scratch.MakeFolder("ソフト\\表");
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(scratch.GetPath() + "\\\x83\x5C\x83\x74\x83\x67\\\x95\x5C", folder);

    for (const char* fileName : {"probe.exe", "表示.exe", "ソフト.exe"})
    {
        const ProbeRun run = RunProbe(scratch, folder, fileName, scratch.GetPath());
        ASSERT_TRUE(run.ended) << fileName;
        EXPECT_EQ(PROBE_EXIT_CODE, run.exitCode) << fileName;
        EXPECT_EQ(folder, run.directory) << fileName;
    }
}

} // namespace
