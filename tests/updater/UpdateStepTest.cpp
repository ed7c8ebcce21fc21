// The update step on real files: each starting state of the folder and what it must become,
// the payload's digest, a kill at every step followed by a rerun, and the target check that
// the dialog and the diagnostic share. A folder is compared as a whole, "name=kind" for each
// entry, so that a lost release, a wrong backup or a leftover file all show.

#include "ApplyUpdate.h"
#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "PayloadContainer.h"
#include "Sha256.h"
#include "TargetCheck.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace
{

using updtest::ReadAll;
using Files = std::vector<std::string>;

constexpr char OLDER[] = "an older backup";
constexpr char FAILURE_TEXT[] = "アップデートファイルが作成できませんでした";

// Test names from the rows' own names.
struct
{
    template <typename Row> std::string operator()(const testing::TestParamInfo<Row>& row) const
    {
        return row.param.name;
    }
} NameOf;

class UpdateStepTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        oldRelease = ReadAll(updtest::OldRelease());
        updater = new updtest::DataModule(updtest::UpdaterProgram());
        std::vector<unsigned char> executable;
        if (LoadPayload(updater->Get(), executable, digest))
        {
            newRelease.assign(executable.begin(), executable.end());
        }
    }
    static void TearDownTestSuite() { delete updater; }

    void SetUp() override
    {
        ASSERT_EQ(2048000u, oldRelease.size());
        ASSERT_EQ(2048000u, newRelease.size()) << "the built payload does not load";
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override
    {
        // Read-only files would outlive the scratch folder.
        for (const std::string& name : updtest::ListFolder(folder))
        {
            SetFileAttributesA(Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }

    std::string Path(const std::string& name) const { return folder + "\\" + name; }

    // Lays out "name=kind" entries: old, new, older, short (the old release one byte short),
    // other (a few bytes), dir.
    void Lay(const Files& entries) const
    {
        for (const std::string& entry : entries)
        {
            const std::string name = entry.substr(0, entry.find('='));
            const std::string kind = entry.substr(entry.find('=') + 1);
            const std::string path = Path(name);
            if (kind == "dir")
            {
                ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << entry;
                continue;
            }
            const std::string content = kind == "old"     ? oldRelease
                                        : kind == "new"   ? newRelease
                                        : kind == "older" ? std::string(OLDER)
                                        : kind == "short" ? oldRelease.substr(1)
                                                          : std::string("other");
            ASSERT_TRUE(updtest::WriteAll(path, content)) << entry;
        }
    }

    // The folder as "name=kind" entries, sorted by name.
    Files State() const
    {
        Files state;
        for (const std::string& name : updtest::ListFolder(folder))
        {
            const DWORD attributes = GetFileAttributesA(Path(name).c_str());
            std::string kind = "other";
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            {
                kind = "dir";
            }
            else
            {
                const std::string content = ReadAll(Path(name));
                kind = content == oldRelease   ? "old"
                       : content == newRelease ? "new"
                       : content == OLDER      ? "older"
                                               : "other";
            }
            state.push_back(name + "=" + kind);
        }
        return state;
    }

    static std::string oldRelease;
    static std::string newRelease;
    static PayloadDigest digest;
    static updtest::DataModule* updater;
    gstest::ScratchFolder scratch{"step"};
    std::string folder = scratch.GetPath();
};

std::string UpdateStepTest::oldRelease;
std::string UpdateStepTest::newRelease;
PayloadDigest UpdateStepTest::digest;
updtest::DataModule* UpdateStepTest::updater = nullptr;

// A handle held on a file for the length of a test, as another program would hold it.
class HeldFile
{
public:
    HeldFile(const std::string& path, DWORD share)
        : handle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~HeldFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
        {
            CloseHandle(handle);
        }
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool IsHeld() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

constexpr DWORD NOT_HELD = 0xFFFFFFFF;

struct Scenario
{
    const char* name;
    Files before;
    const char* target;
    const char* held; // held open during the update with `share`, or null
    DWORD share;
    const char* readOnly; // made read-only before the update, or null
    bool links;
    int result;
    Files after;
};

const Scenario SCENARIOS[] = {
    {"Plain",
     {"Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     1,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
    {"OlderBackupIsReplaced",
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     1,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
    {"WithoutHardLinks",
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     nullptr,
     false,
     1,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
    {"ReadOnlyOlderBackup",
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     "Larkspurgleam.bak",
     true,
     1,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
    {"ReadOnlyTarget",
     {"Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     "Larkspurgleam.exe",
     true,
     1,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
    {"OlderBackupHeldOpen",
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     "Larkspurgleam.bak",
     0,
     nullptr,
     true,
     0,
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"}},
    {"BackupNameIsAFolder",
     {"Larkspurgleam.bak=dir", "Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     0,
     {"Larkspurgleam.bak=dir", "Larkspurgleam.exe=old"}},
    {"TargetHeldWithReadSharing",
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     "Larkspurgleam.exe",
     FILE_SHARE_READ,
     nullptr,
     true,
     0,
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"}},
    {"TargetHeldWithoutSharingNoLinks",
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"},
     "Larkspurgleam.exe",
     "Larkspurgleam.exe",
     0,
     nullptr,
     false,
     0,
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"}},
    {"BakChosenAsTarget",
     {"Larkspurgleam.bak=old"},
     "Larkspurgleam.bak",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     0,
     {"Larkspurgleam.bak=old"}},
    {"TemporaryNameIsAFolder",
     {"Larkspurgleam.exe=old", "Larkspurgleam.new=dir"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     0,
     {"Larkspurgleam.exe=old", "Larkspurgleam.new=dir"}},
    {"InterruptedBetweenRenames",
     {"Larkspurgleam.bak=old", "Larkspurgleam.new=other", "Larkspurgleam.old=older"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     1,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
    {"LeftoversOfAnInterruptedRun",
     {"Larkspurgleam.exe=old", "Larkspurgleam.new=other", "Larkspurgleam.old=older"},
     "Larkspurgleam.exe",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     1,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
    {"ThreeCharacterPathHasNoBackup",
     {"abc=old"},
     "abc",
     nullptr,
     NOT_HELD,
     nullptr,
     true,
     1,
     {"abc=new"}},
};

class UpdateScenarioTest : public UpdateStepTest, public testing::WithParamInterface<Scenario>
{
};

TEST_P(UpdateScenarioTest, FolderEndsAsExpected)
{
    const Scenario& scenario = GetParam();
    Lay(scenario.before);
    if (scenario.readOnly != nullptr)
    {
        ASSERT_TRUE(SetFileAttributesA(Path(scenario.readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    // The three-character path is relative, to the folder.
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    const std::string target =
        std::strlen(scenario.target) == 3 ? scenario.target : Path(scenario.target);
    int result = -1;
    {
        HeldFile held(scenario.held != nullptr ? Path(scenario.held) : std::string(),
                      scenario.share);
        ASSERT_EQ(scenario.held != nullptr, held.IsHeld());
        updtest::MessageBoxRecorder boxes;
        SetUpdateUsesLinks(scenario.links);
        result = ApplyUpdateFrom(updater->Get(), target.c_str(), nullptr);
        SetUpdateUsesLinks(true);
        ASSERT_EQ(result ? 0u : 1u, boxes.Boxes().size());
        if (!result)
        {
            EXPECT_EQ(FAILURE_TEXT, boxes.Boxes()[0].text);
        }
    }
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(scenario.result, result);
    EXPECT_EQ(scenario.after, State());
}

INSTANTIATE_TEST_SUITE_P(Folders, UpdateScenarioTest, testing::ValuesIn(SCENARIOS), NameOf);

TEST_F(UpdateStepTest, NewFileThatDoesNotReadBackAsItsDigestIsNeverPutInPlace)
{
    Lay({"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"});
    PayloadDigest other = digest;
    other[31] ^= 1;
    EXPECT_EQ(0, ReplaceExecutable(Path("Larkspurgleam.exe").c_str(),
                                   reinterpret_cast<const unsigned char*>(newRelease.data()),
                                   newRelease.size(), other));
    EXPECT_EQ((Files{"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"}), State());
}

// What OK does for a target that is already the new release: a run killed after the new file
// was in place may have left its temporary file and the set-aside older backup.
TEST_F(UpdateStepTest, LeftoversBesideAnUpdatedTargetAreTidied)
{
    const struct
    {
        Files before;
        bool holdTemporary;
        int result;
        Files after;
    } cases[] = {
        {{"Larkspurgleam.bak=old", "Larkspurgleam.exe=new", "Larkspurgleam.new=other",
          "Larkspurgleam.old=older"},
         false,
         1,
         {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}},
        {{"Larkspurgleam.exe=new", "Larkspurgleam.old=older"},
         false,
         1,
         {"Larkspurgleam.bak=older", "Larkspurgleam.exe=new"}},
        {{"Larkspurgleam.exe=new", "Larkspurgleam.new=other"},
         true,
         0,
         {"Larkspurgleam.exe=new", "Larkspurgleam.new=other"}},
    };
    for (const auto& row : cases)
    {
        Lay(row.before);
        {
            HeldFile held(row.holdTemporary ? Path("Larkspurgleam.new") : std::string(), 0);
            EXPECT_EQ(row.result, TidyUpdateLeftovers(Path("Larkspurgleam.exe").c_str()));
        }
        EXPECT_EQ(row.after, State());
        for (const std::string& name : updtest::ListFolder(folder))
        {
            DeleteFileA(Path(name).c_str());
        }
    }
}

TEST_F(UpdateStepTest, PathsFitUpTo259CharactersAndNothingIsCreatedBeyond)
{
    // A short name in a long folder: every name beside the target has the target's length.
    const std::string deep = scratch.MakeFolder(std::string(200, 'd') + "\\" +
                                                std::string(253 - folder.size() - 202, 'e'));
    ASSERT_EQ(253u, deep.size());
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), deep + "\\a.exe"));
    updtest::MessageBoxRecorder boxes;
    EXPECT_EQ(1, ApplyUpdateFrom(updater->Get(), (deep + "\\a.exe").c_str(), nullptr));
    EXPECT_TRUE(ReadAll(deep + "\\a.exe") == newRelease);
    EXPECT_TRUE(ReadAll(deep + "\\a.bak") == oldRelease);
    EXPECT_EQ(0, ApplyUpdateFrom(updater->Get(), (deep + "\\ab.exe").c_str(), nullptr));
    EXPECT_EQ((Files{"a.bak", "a.exe"}), updtest::ListFolder(deep));
    EXPECT_EQ(1u, boxes.Boxes().size());
}

// Payloads that must be refused before the disk is touched. A changed byte inside the body
// may still decode to exactly the expanded length: only the digest sees it.
TEST_F(UpdateStepTest, DamagedPayloadOrDigestChangesNothing)
{
    const std::vector<unsigned char> payload = updtest::BuiltPayload();
    ASSERT_GT(payload.size(), PAYLOAD_HEADER_SIZE + 1000);
    const std::vector<unsigned char> sound(digest.begin(), digest.end());
    auto flipped = [&payload](std::size_t offset)
    {
        std::vector<unsigned char> damaged = payload;
        damaged[offset] ^= 0x01;
        return damaged;
    };
    // A literal byte well inside the stream: flipping it changes one byte of the executable
    // and nothing else, so every length check passes.
    std::vector<unsigned char> body(payload.begin() + PAYLOAD_HEADER_SIZE, payload.end());
    Unscramble(body.data(), static_cast<int>(body.size()), payload[56]);
    std::size_t literal = 0;
    for (std::size_t at = 0; at < body.size() && literal <= body.size() / 4;)
    {
        const unsigned flags = body[at++];
        for (int bit = 0; bit < 8 && at < body.size(); ++bit)
        {
            const bool isLiteral = (flags >> bit & 1) != 0;
            if (isLiteral)
            {
                literal = at;
            }
            at += isLiteral ? 1 : 2;
        }
    }
    literal += PAYLOAD_HEADER_SIZE;
    ASSERT_GT(literal, PAYLOAD_HEADER_SIZE + 1000);
    std::vector<unsigned char> expanded;
    ASSERT_EQ(PAYLOAD_OK, ExpandPayload(flipped(literal).data(), payload.size(), expanded));
    std::vector<unsigned char> longer = payload;
    longer[60] = static_cast<unsigned char>(longer[60] + 1);

    const struct
    {
        const char* name;
        std::vector<unsigned char> payload; // empty: none
        std::vector<unsigned char> digest;  // empty: none
    } cases[] = {
        {"no resources", {}, {}},
        {"no digest", payload, {}},
        {"digest of another file", payload, std::vector<unsigned char>(32, 0)},
        {"digest one byte short", payload,
         std::vector<unsigned char>(sound.begin(), sound.end() - 1)},
        {"flip at the body's start", flipped(PAYLOAD_HEADER_SIZE + 1), sound},
        {"flip that still decodes to the full length", flipped(literal), sound},
        {"flip at the body's end", flipped(payload.size() - 1), sound},
        {"truncated body", std::vector<unsigned char>(payload.begin(), payload.end() - 100), sound},
        {"expanded length one too large", longer, sound},
    };
    Lay({"Larkspurgleam.exe=old"});
    int index = 0;
    for (const auto& damage : cases)
    {
        const std::string carrier = Path("carrier" + std::to_string(++index));
        ASSERT_TRUE(updtest::CopyTo(updtest::VersionCarrier(), carrier));
        std::vector<updtest::Resource> resources;
        if (!damage.payload.empty())
        {
            resources.push_back({"BIN", MAKEINTRESOURCEA(107), 1041, damage.payload});
        }
        if (!damage.digest.empty())
        {
            resources.push_back({"BIN", MAKEINTRESOURCEA(108), 1041, damage.digest});
        }
        ASSERT_TRUE(resources.empty() || updtest::WriteResources(carrier, resources, false));
        {
            updtest::DataModule module(carrier);
            updtest::MessageBoxRecorder boxes;
            EXPECT_EQ(0, ApplyUpdateFrom(module.Get(), Path("Larkspurgleam.exe").c_str(), nullptr))
                << damage.name;
            EXPECT_EQ(1u, boxes.Boxes().size()) << damage.name;
        }
        DeleteFileA(carrier.c_str());
        EXPECT_EQ(Files{"Larkspurgleam.exe=old"}, State()) << damage.name;
    }
}

TEST_F(UpdateStepTest, PayloadIsTheNewSampleRelease)
{
    if (!updtest::PayloadIsTheSample())
    {
        GTEST_SKIP() << "built with a publisher's release";
    }
    EXPECT_TRUE(newRelease == ReadAll(updtest::NewRelease()));
}

// A kill at each step leaves a complete release at the target or the backup name, and the
// next run ends, as an uninterrupted one does, with the new release and the old as backup.
struct KillCase
{
    const char* name;
    int step;
    bool links;
    Files afterKill;
    DWORD rerunExit; // 1: the rerun updates; 9: it finds the target already updated
};

const KillCase KILLS[] = {
    {"WhileWritingTheNewFile",
     UPDATE_STEP_NEW_FILE_PARTIAL,
     true,
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old", "Larkspurgleam.new=other"},
     1},
    {"AfterTheNewFileIsWritten",
     UPDATE_STEP_NEW_FILE_WRITTEN,
     true,
     {"Larkspurgleam.bak=older", "Larkspurgleam.exe=old", "Larkspurgleam.new=new"},
     1},
    {"AfterTheOlderBackupIsSetAside",
     UPDATE_STEP_OLDER_BACKUP_SET_ASIDE,
     true,
     {"Larkspurgleam.exe=old", "Larkspurgleam.new=new", "Larkspurgleam.old=older"},
     1},
    {"AfterTheBackupIsLinked",
     UPDATE_STEP_BACKUP_LINKED,
     true,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=old", "Larkspurgleam.new=new",
      "Larkspurgleam.old=older"},
     1},
    {"AfterTheNewFileIsInPlace",
     UPDATE_STEP_REPLACED,
     true,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new", "Larkspurgleam.old=older"},
     9},
    {"AfterTheOlderBackupIsDeleted",
     UPDATE_STEP_OLDER_BACKUP_DELETED,
     true,
     {"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"},
     9},
    {"BetweenTheRenamesWithoutLinks",
     UPDATE_STEP_TARGET_MOVED,
     false,
     {"Larkspurgleam.bak=old", "Larkspurgleam.new=new", "Larkspurgleam.old=older"},
     1},
};

class UpdateKillTest : public UpdateStepTest, public testing::WithParamInterface<KillCase>
{
protected:
    DWORD RunStep(int step, bool links, bool kill)
    {
        const std::string ready = signals.GetPath() + "\\" + std::to_string(step);
        gstest::TestProcess runner;
        EXPECT_TRUE(runner.Start(updtest::StepRunner(), "\"" + updtest::UpdaterProgram() + "\" \"" +
                                                            Path("Larkspurgleam.exe") + "\" " +
                                                            std::to_string(step) + " \"" + ready +
                                                            "\"" + (links ? "" : " nolinks")));
        DWORD exitCode = 0xFFFFFFFF;
        if (!kill)
        {
            EXPECT_TRUE(runner.WaitForExit(4 * gstest::STEP_TIMEOUT_MS, &exitCode));
            return exitCode;
        }
        const DWORD start = GetTickCount();
        while (!updtest::Exists(ready) && runner.IsRunning() &&
               GetTickCount() - start < 4 * gstest::STEP_TIMEOUT_MS)
        {
            Sleep(10);
        }
        EXPECT_TRUE(updtest::Exists(ready)) << "the runner never reached the step";
        runner.Terminate();
        return exitCode;
    }

    gstest::ScratchFolder signals{"ready"};
};

TEST_P(UpdateKillTest, RerunFinishesWhatTheKillInterrupted)
{
    const KillCase& kill = GetParam();
    Lay({"Larkspurgleam.bak=older", "Larkspurgleam.exe=old"});
    RunStep(kill.step, kill.links, true);
    EXPECT_EQ(kill.afterKill, State());
    EXPECT_EQ(kill.rerunExit, RunStep(0, true, false));
    EXPECT_EQ((Files{"Larkspurgleam.bak=old", "Larkspurgleam.exe=new"}), State());
}

INSTANTIATE_TEST_SUITE_P(Steps, UpdateKillTest, testing::ValuesIn(KILLS), NameOf);

// The verdicts of OK, and whether the dialog offers the default target at start.
struct CheckCase
{
    const char* name;
    Files before;
    const char* held; // held open by another program, or null
    int verdict;
    int offered;
};

const CheckCase CHECKS[] = {
    {"OldRelease", {"Larkspurgleam.exe=old"}, nullptr, TARGET_ELIGIBLE, 1},
    {"NewRelease", {"Larkspurgleam.exe=new"}, nullptr, TARGET_ALREADY_DONE, 1},
    {"OldReleaseHeldOpen", {"Larkspurgleam.exe=old"}, "Larkspurgleam.exe", TARGET_IN_USE, 1},
    {"OldReleaseOneByteShort", {"Larkspurgleam.exe=short"}, nullptr, TARGET_WRONG_FILE, 1},
    {"MissingWithTheOldReleaseAsBackup", {"Larkspurgleam.bak=old"}, nullptr, TARGET_ELIGIBLE, 1},
    {"MissingWithTheOldReleaseAsBackupHeldOpen",
     {"Larkspurgleam.bak=old"},
     "Larkspurgleam.bak",
     TARGET_IN_USE,
     1},
    {"MissingWithTheNewReleaseAsBackup", {"Larkspurgleam.bak=new"}, nullptr, TARGET_WRONG_FILE, 1},
    {"MissingAlone", {"Larkspurgleam.new=new"}, nullptr, TARGET_WRONG_FILE, 0},
    {"Folder", {"Larkspurgleam.exe=dir"}, nullptr, TARGET_WRONG_FILE, 0},
};

class TargetCheckTest : public UpdateStepTest, public testing::WithParamInterface<CheckCase>
{
};

TEST_P(TargetCheckTest, VerdictAndOffer)
{
    const CheckCase& check = GetParam();
    Lay(check.before);
    const std::string target = Path("Larkspurgleam.exe");
    HeldFile held(check.held != nullptr ? Path(check.held) : std::string(), FILE_SHARE_READ);
    EXPECT_EQ(check.verdict, CheckTarget(target.c_str()));
    EXPECT_EQ(check.offered, IsTargetOffered(target.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Targets, TargetCheckTest, testing::ValuesIn(CHECKS), NameOf);

// The updater's digest (the system's provider) and the publisher's tools' (plain C++) agree
// with the published test vectors, over the block boundaries and in pieces.
TEST(DigestTest, SystemAndToolsAgreeWithKnownDigests)
{
    const struct
    {
        std::string input;
        const char* sha256;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& row : cases)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(row.input.data());
        PayloadDigest system;
        ASSERT_TRUE(DigestOfBytes(bytes, row.input.size(), system));
        const Sha256::Digest whole = Sha256::Of(bytes, row.input.size());
        Sha256 pieces;
        for (std::size_t at = 0; at < row.input.size(); at += 63)
        {
            pieces.Update(bytes + at, std::min<std::size_t>(63, row.input.size() - at));
        }
        EXPECT_EQ(row.sha256, Sha256::ToHex(whole)) << row.input.size();
        EXPECT_EQ(row.sha256, Sha256::ToHex(pieces.Finish())) << row.input.size();
        EXPECT_TRUE(std::equal(system.begin(), system.end(), whole.begin())) << row.input.size();
    }
}

TEST(UpdatePathsTest, NamesBesideTheTarget)
{
    const struct
    {
        std::string target;
        std::string backup; // empty: none
    } cases[] = {
        {"C:\\app\\Larkspurgleam.exe", "C:\\app\\Larkspurgleam.bak"},
        {"C:\\app\\release", "C:\\app\\relebak"},
        {"abcd", "abak"},
        {"abc", ""},
        {"", ""},
        // A Japanese folder keeps its bytes; a double-byte character at the cut goes whole
        // (0x95 0x5C, whose trail byte is a backslash).
        {"C:\\ソフト\\表\\Larkspurgleam.exe", "C:\\ソフト\\表\\Larkspurgleam.bak"},
        {"C:\\x\\a表", "C:\\x\\bak"},
        {"C:\\x\\表ab", "C:\\x\\bak"},
        {std::string(255, 'p') + ".exe", std::string(255, 'p') + ".bak"},
        {std::string(256, 'p') + ".exe", ""},
    };
    for (const auto& row : cases)
    {
        char backup[UPDATE_PATH_SIZE + 8];
        std::memset(backup, 'x', sizeof backup);
        EXPECT_EQ(row.backup.empty() ? 0 : 1, MakeBackupPath(row.target.c_str(), backup))
            << row.target;
        EXPECT_EQ(row.backup, backup) << row.target;
        EXPECT_EQ(std::string(8, 'x'), std::string(backup + UPDATE_PATH_SIZE, 8)) << row.target;
    }
    UpdatePaths paths;
    ASSERT_EQ(1, MakeUpdatePaths("C:\\app\\Larkspurgleam.exe", paths));
    EXPECT_STREQ("C:\\app\\Larkspurgleam.new", paths.temporary);
    EXPECT_STREQ("C:\\app\\Larkspurgleam.old", paths.setAside);
    for (const char* ownName : {"C:\\app\\x.BAK", "C:\\app\\x.new", "C:\\app\\x.Old"})
    {
        EXPECT_EQ(0, MakeUpdatePaths(ownName, paths)) << ownName;
    }
}

} // namespace
