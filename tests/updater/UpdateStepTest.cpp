// The update step on real files: one table of starting folders and what each must become (the
// folder compared as a whole), also under faults and kills and for OK's check; then damaged
// payloads, the digest and the names beside the target.

#include "ApplyUpdate.h"
#include "GsAppFrame.h"
#include "GsMessageBox.h"
#include "GsTestFiles.h"
#include "GsTestProcess.h"
#include "PinnedFolder.h"
#include "Sha256.h"
#include "TargetCheck.h"
#include "UpdatePaths.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace
{

constexpr char OLDER[] = "an older backup";
const std::string FAILURE = "Error: アップデートファイルが作成できませんでした\n";

// ApplyUpdate takes the payload from the frame's module, as in the updater.
CGsAppFrame g_frame;
const updtest::DataModule g_updater(updtest::UpdaterProgram());
std::string g_boxes; // what the message boxes said, a line each

int RecordBox(HWND, const char* text, const char* caption, UINT style)
{
    g_boxes += std::string(caption) + ": " + text +
               (style == (MB_OK | MB_ICONERROR) ? "\n" : " (another style)\n");
    return IDOK;
}

// A handle held on a file for the length of a test, as another program would hold it.
using Held = std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)>;
Held Hold(const std::string& path, DWORD share)
{
    return Held(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr),
                CloseHandle);
}

// What the step's hook also does as the new file is complete (a test's intruder).
std::function<void()> g_onNewFileWritten;

// As an on-access virus scanner: opens the new file as soon as it is closed, with read and
// write sharing but no delete sharing, and lets go a second later (or only when the step is
// over). Counts the step's pauses for such a hold.
struct Scanner
{
    Scanner(const std::string& file, DWORD access, bool soon)
        : path(file), rights(access), letsGoSoon(soon)
    {
        pauses = 0;
        active = file.empty() ? nullptr : this;
        SetUpdateStepHook(Observe);
    }
    ~Scanner()
    {
        SetUpdateStepHook(nullptr);
        active = nullptr;
        LetGo();
    }
    void LetGo()
    {
        if (later.joinable())
            later.join();
        held.reset();
    }
    static void Observe(int step)
    {
        pauses += step == UPDATE_STEP_PAUSED_FOR_LOCK;
        if (step == UPDATE_STEP_NEW_FILE_WRITTEN && g_onNewFileWritten)
            g_onNewFileWritten();
        if (step != UPDATE_STEP_NEW_FILE_WRITTEN || active == nullptr)
            return;
        active->held.reset(CreateFileA(active->path.c_str(), active->rights,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
        active->opened = active->held.get() != INVALID_HANDLE_VALUE;
        if (active->letsGoSoon)
            active->later = std::thread([scanner = active] { Sleep(1000), scanner->held.reset(); });
    }
    static inline Scanner* active = nullptr;
    static inline int pauses = 0;
    std::string path;
    DWORD rights;
    bool letsGoSoon, opened = false;
    Held held{nullptr, CloseHandle};
    std::thread later;
};

class UpdateStepTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        oldRelease = gstest::ReadWholeFile(updtest::OldRelease());
        std::vector<unsigned char> executable;
        LoadPayload(g_frame.instance = g_updater.Get(), executable, digest);
        newRelease.assign(executable.begin(), executable.end());
        GsSetMessageBoxFunction(RecordBox);
    }

    void SetUp() override
    {
        ASSERT_EQ(2048000u, oldRelease.size());
        ASSERT_EQ(2048000u, newRelease.size()) << "the built payload does not load";
        ASSERT_FALSE(folder.empty()) << GetLastError();
        g_boxes.clear();
    }
    // "exe", "bak", "new" and "old", in any letter case, stand for the names beside
    // Larkspurgleam.exe; "abc" is itself.
    std::string Path(const std::string& name) const
    {
        return folder + "\\" + (name.size() == 3 && name != "abc" ? "Larkspurgleam." : "") + name;
    }

    // Lays out "name=kind" entries, separated by blanks: old, new, older, short (the old
    // release one byte short), other (a few bytes), dir.
    void Lay(const std::string& entries) const
    {
        std::istringstream in(entries);
        for (std::string entry; in >> entry;)
        {
            const std::string path = Path(entry.substr(0, entry.find('=')));
            const std::string kind = entry.substr(entry.find('=') + 1);
            const std::string content = kind == "old"     ? oldRelease
                                        : kind == "new"   ? newRelease
                                        : kind == "older" ? std::string(OLDER)
                                        : kind == "short" ? oldRelease.substr(1)
                                                          : std::string("other");
            ASSERT_TRUE(kind == "dir" ? CreateDirectoryA(path.c_str(), nullptr)
                                      : updtest::WriteAll(path, content))
                << entry;
        }
    }

    // The folder in the notation of Lay, sorted by name.
    std::string State() const
    {
        std::string state;
        for (const std::string& name : updtest::ListFolder(folder))
        {
            const std::string path = folder + "\\" + name, content = gstest::ReadWholeFile(path);
            const std::string kind = GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY
                                         ? "dir"
                                     : content == oldRelease ? "old"
                                     : content == newRelease ? "new"
                                     : content == OLDER      ? "older"
                                                             : "other";
            state += (state.empty() ? "" : " ") +
                     (name.compare(0, 14, "Larkspurgleam.") ? name : name.substr(14)) + "=" + kind;
        }
        return state;
    }

    // This program as the step runner (see main) on the target "exe".
    DWORD Run(int step, bool links) const
    {
        gstest::TestProcess runner;
        DWORD exitCode = 0xFFFFFFFF;
        EXPECT_TRUE(runner.Start(_pgmptr, "--step " + std::to_string(step) + " \"" + Path("exe") +
                                              "\"" + (links ? "" : " nolinks")));
        EXPECT_TRUE(runner.WaitForExit(4 * gstest::STEP_TIMEOUT_MS, &exitCode));
        return exitCode;
    }

    static inline std::string oldRelease, newRelease;
    static inline PayloadDigest digest;
    gstest::ScratchFolder scratch{"step"};
    std::string folder = scratch.GetPath();
};

struct Scenario
{
    const char* name;
    const char* before;
    const char* target;
    // Blank-separated words. Done: ApplyUpdate, unless "digest" (ReplaceExecutable, a digest
    // the new file lacks), "tidy" (TidyUpdateLeftovers), "check" (CheckTarget; "offered": and
    // IsTargetOffered says 1) or "kill STEP" (the step runner kills itself there, leaving
    // `after`; its rerun's exit code, 1 updated or 9 already updated, is the result).
    // Faults: "readonly|hold|share NAME" (attribute; open without, with read sharing),
    // "nolinks", "on readonly|full" (the prepared folders), "scan" (a Scanner reading the new
    // file; "writing" also writing; "forever" letting go after the step), "pending" (removed
    // names stay until the step ends: the pinned folder's seam), "run exe" (the target runs;
    // "windows": the no-sharing probe passes, as on Windows). Folders: "japanese" (ends in a
    // trail byte 0x5C), "deep" (253 characters). Links to another folder, which must not
    // change: "plant NAME" (a link to a read-only file there), "swap" (as the new file is
    // complete, the folder replaced by a link to it), "through link" (a legitimate link),
    // "elsewhere" (the target was checked in another folder than the one the step holds).
    const char* does;
    int result;
    const char* after;
};

const int WRONG = TARGET_WRONG_FILE, IN_USE = TARGET_IN_USE;

// clang-format off
const Scenario SCENARIOS[] = {
    {"Plain", "exe=old", "exe", "", 1, "bak=old exe=new"},
    {"OlderBackupIsReplaced", "bak=older exe=old", "exe", "", 1, "bak=old exe=new"},
    {"WithoutHardLinks", "bak=older exe=old", "exe", "nolinks", 1, "bak=old exe=new"},
    {"ReadOnlyOlderBackup", "bak=older exe=old", "exe", "readonly bak", 1, "bak=old exe=new"},
    {"ReadOnlyTarget", "exe=old", "exe", "readonly exe", 1, "bak=old exe=new"},
    {"OlderBackupHeldOpen", "bak=older exe=old", "exe", "hold bak", 0, "bak=older exe=old"},
    {"BackupNameIsAFolder", "bak=dir exe=old", "exe", "", 0, "bak=dir exe=old"},
    {"TargetHeldWithReadSharing", "bak=older exe=old", "exe", "share exe", 0, "bak=older exe=old"},
    {"TargetHeldWithoutLinks", "bak=older exe=old", "exe", "hold exe nolinks", 0, "bak=older exe=old"},
    // A scan of the new file is waited out; a file still held when the wait is over cannot be
    // removed, and the next run removes it.
    {"NewFileScannedAsItIsClosed", "bak=older exe=old", "exe", "scan", 1, "bak=old exe=new"},
    {"NewFileScannedWithoutLinks", "bak=older exe=old", "exe", "scan nolinks", 1, "bak=old exe=new"},
    {"NewFileScannedWhileReadBack", "bak=older exe=old", "exe", "scan writing", 1, "bak=old exe=new"},
    {"NewFileHeldThroughTheStep", "bak=older exe=old", "exe", "scan forever", 0, "bak=older exe=old new=new"},
    {"FolderWhereNothingCanBeWritten", "", "exe", "on readonly", 0, "bak=older exe=old"},
    {"DiskFullPartWay", "", "exe", "on full", 0, "bak=older exe=old"},
    {"NewFileNotReadBackAsItsDigest", "bak=older exe=old", "exe", "digest", 0, "bak=older exe=old"},
    // The target's own names, whatever their letter case, would be overwritten by the step.
    {"BakChosenAsTarget", "BAK=old", "BAK", "", 0, "BAK=old"},
    {"NewChosenAsTarget", "new=old", "new", "", 0, "new=old"},
    {"OldChosenAsTarget", "Old=old", "Old", "", 0, "Old=old"},
    {"TemporaryNameIsAFolder", "exe=old new=dir", "exe", "", 0, "exe=old new=dir"},
    {"InterruptedBetweenRenames", "bak=old new=other old=older", "exe", "", 1, "bak=old exe=new"},
    {"LeftoversOfAnInterruptedRun", "exe=old new=other old=older", "exe", "", 1, "bak=old exe=new"},
    {"ThreeCharacterPathHasNoBackup", "abc=old", "abc", "", 1, "abc=new"},
    // A double-byte character at the cut goes whole (表 is 95 5C: its trail byte a backslash).
    {"InAJapaneseFolder", "exe=old", "exe", "japanese", 1, "bak=old exe=new"},
    {"TrailByteAtTheCut", "表ab=old", "表ab", "", 1, "bak=old 表ab=new"},
    // In a folder of 253 characters every name beside "a.exe" has the target's length.
    {"PathOf259Characters", "a.exe=old", "a.exe", "deep", 1, "a.bak=old a.exe=new"},
    {"PathOf260Characters", "a.exe=old", "ab.exe", "deep", 0, "a.exe=old"},
    // What OK does for a target that is already the new release: a run killed after the new
    // file was in place may have left its temporary file and the set-aside older backup.
    {"TidyBesideUpdated", "bak=old exe=new new=other old=older", "exe", "tidy", 1, "bak=old exe=new"},
    {"TidySetAsideBecomesBackup", "exe=new old=older", "exe", "tidy", 1, "bak=older exe=new"},
    {"TidyHeldTemporary", "exe=new new=other", "exe", "tidy hold new", 0, "exe=new new=other"},
    // A kill at each step leaves a complete release at the target or the backup name.
    {"KillWhileWritingTheNewFile", "bak=older exe=old", "exe", "kill 1", 1, "bak=older exe=old new=other"},
    {"KillAfterTheNewFileIsWritten", "bak=older exe=old", "exe", "kill 2", 1, "bak=older exe=old new=new"},
    {"KillAfterTheOlderBackupIsSetAside", "bak=older exe=old", "exe", "kill 3", 1, "exe=old new=new old=older"},
    {"KillAfterTheBackupIsLinked", "bak=older exe=old", "exe", "kill 4", 1, "bak=old exe=old new=new old=older"},
    {"KillBetweenTheRenamesWithoutLinks", "bak=older exe=old", "exe", "kill 5 nolinks", 1, "bak=old new=new old=older"},
    {"KillAfterTheNewFileIsInPlace", "bak=older exe=old", "exe", "kill 6", 9, "bak=old exe=new old=older"},
    {"KillAfterTheOlderBackupIsDeleted", "bak=older exe=old", "exe", "kill 7", 9, "bak=old exe=new"},
    // The verdicts of OK, and whether the dialog offers the default target at start (the kill
    // cases' reruns see the old and the new release, and the old one as the backup alone).
    {"CheckOldReleaseHeldOpen", "exe=old", "exe", "check offered share exe", IN_USE, "exe=old"},
    {"CheckOldReleaseOneByteShort", "exe=short", "exe", "check offered", WRONG, "exe=other"},
    {"CheckOldReleaseAsBackupHeldOpen", "bak=old", "exe", "check offered share bak", IN_USE, "bak=old"},
    {"CheckNewReleaseAsBackup", "bak=new", "exe", "check offered", WRONG, "bak=new"},
    {"CheckTemporaryAlone", "new=new", "exe", "check", WRONG, "new=new"},
    {"CheckFolder", "exe=dir", "exe", "check", WRONG, "exe=dir"},
    {"CheckRunningTarget", "exe=old", "exe", "check offered run exe", IN_USE, "exe=old"},
    {"CheckRunningTargetAsWindowsSeesIt", "exe=old", "exe", "check offered run exe windows", IN_USE, "exe=old"},
    // Windows keeps a deleted file's name while another program holds it with delete sharing:
    // the leftover temporary file's name must be free for the new one all the same.
    {"DeletedNameStaysPending", "exe=old new=other old=older", "exe", "pending", 1, "bak=old exe=new"},
    {"TidyWhileDeletedNamesStayPending", "bak=old exe=new new=other old=older", "exe", "tidy pending", 1, "bak=old exe=new"},
    // Links planted by a program without rights are never followed; nothing outside changes.
    {"PlantedTemporaryLink", "exe=old", "exe", "plant new", 0, "exe=old new=other"},
    {"PlantedSetAsideLinkBesideAnOlderBackup", "bak=older exe=old", "exe", "plant old", 0, "bak=older exe=old old=other"},
    {"PlantedBackupLink", "exe=old", "exe", "plant bak", 0, "bak=other exe=old"},
    {"FolderSwappedForALinkAsTheNewFileIsComplete", "bak=older exe=old", "exe", "swap", 1, "bak=old exe=new"},
    {"LegitimateLinkToTheFolder", "bak=older exe=old", "exe", "through link", 1, "bak=old exe=new"},
    {"CheckedInAnotherFolder", "bak=older exe=old", "exe", "elsewhere", 0, "bak=older exe=old"},
};
// clang-format on

class UpdateScenarioTest : public UpdateStepTest, public testing::WithParamInterface<Scenario>
{
};

TEST_P(UpdateScenarioTest, FolderEndsAsExpected)
{
    const Scenario& row = GetParam();
    const std::string does = row.does;
    auto has = [&does](const char* word) { return does.find(word) != std::string::npos; };
    if (does.compare(0, 3, "on ") == 0)
        folder = gstest::ToWindowsPath(GS_FAULT_DIR) + "\\" + does.substr(3);
    if (has("japanese"))
        folder = scratch.MakeFolder("ソフト\\表"); // 表 ends in the byte 0x5C
    if (has("deep"))
        folder = scratch.MakeFolder(std::string(200, 'd') + "\\" +
                                    std::string(253 - folder.size() - 202, 'e'));
    auto named = [&](const std::string& word)
    {
        const std::size_t at = does.find(word + " ");
        return at == std::string::npos ? std::string() : Path(does.substr(at + word.size() + 1, 3));
    };
    Lay(row.before);
    ASSERT_TRUE(named("readonly").empty() ||
                SetFileAttributesA(named("readonly").c_str(), FILE_ATTRIBUTE_READONLY));
    // The other folder, where links lead: its names, bytes and attributes must not change.
    gstest::ScratchFolder other{"other"}, links{"links"};
    ASSERT_FALSE(other.GetPath().empty() || links.GetPath().empty());
    const std::string elsewhere = other.GetPath(), victim = elsewhere + "\\victim";
    auto otherState = [&]
    {
        std::string state;
        for (const std::string& name : updtest::ListFolder(elsewhere))
        {
            const std::string file = elsewhere + "\\" + name;
            state += name + ":" + std::to_string(GetFileAttributesA(file.c_str())) + ":" +
                     std::to_string(std::hash<std::string>()(gstest::ReadWholeFile(file))) + " ";
        }
        return state;
    };
    ASSERT_TRUE(updtest::WriteAll(victim, "other") &&
                SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_READONLY) &&
                updtest::WriteAll(elsewhere + "\\Larkspurgleam.exe", oldRelease) &&
                updtest::WriteAll(elsewhere + "\\Larkspurgleam.new", newRelease));
    const std::string otherBefore = otherState();
    ASSERT_TRUE(named("plant").empty() || updtest::PlantLink(victim, named("plant")));
    const std::string linkToFolder = links.GetPath() + "\\folder";
    ASSERT_TRUE(!has("through") || updtest::PlantLink(folder, linkToFolder));
    bool swapped = false;
    if (has("swap"))
        g_onNewFileWritten = [&]
        {
            swapped = MoveFileExA(folder.c_str(), (folder + "-moved").c_str(), 0) &&
                      updtest::PlantLink(elsewhere, folder);
        };
    gstest::TestProcess running;
    if (has("run "))
    {
        ASSERT_TRUE(running.Start(named("run")));
        ASSERT_NE(nullptr, running.WaitForWindow(gstest::STEP_TIMEOUT_MS));
    }
    if (has("windows"))
        SetTargetHoldProbe([](const char*) { return 0; });
    SetDeletedNamesStayPending(has("pending"));
    if (has("kill"))
    {
        const int step = std::stoi(does.substr(5));
        EXPECT_EQ(100u + step, Run(step, !has("nolinks")));
        EXPECT_EQ(row.after, State());
        EXPECT_EQ(static_cast<DWORD>(row.result), Run(0, true));
        EXPECT_EQ("bak=old exe=new", State());
        return;
    }
    // "abc" is relative to the folder (a current folder cannot be renamed: the others leave it).
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(row.target != std::string("abc") || SetCurrentDirectoryA(folder.c_str()));
    const std::string path = row.target == std::string("abc") ? "abc"
                             : has("through")                 ? linkToFolder + "\\Larkspurgleam.exe"
                                                              : Path(row.target);
    const char* target = path.c_str();
    PayloadDigest wrong = digest;
    wrong[31] ^= 1;
    int result = -1;
    Scanner scanner(has("scan") ? Path("new") : "",
                    has("writing") ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, !has("forever"));
    {
        const Held held = Hold(named("hold"), 0), shared = Hold(named("share"), FILE_SHARE_READ);
        SetUpdateUsesLinks(!has("nolinks"));
        const auto* content = reinterpret_cast<const unsigned char*>(newRelease.data());
        result = has("tidy")    ? TidyUpdateLeftovers(target)
                 : has("check") ? CheckTarget(target)
                 : has("digest")
                     ? ReplaceExecutable(target, content, newRelease.size(), wrong)
                     : ApplyUpdate(target, nullptr,
                                   has("elsewhere") ? L"\\\\?\\Z:\\elsewhere" : nullptr);
        EXPECT_TRUE(!has("check") || has("offered") == (IsTargetOffered(target) == 1));
    }
    SetCurrentDirectoryA(previous);
    scanner.LetGo();
    g_onNewFileWritten = nullptr;
    SetDeletedNamesStayPending(false);
    SetTargetHoldProbe(nullptr);
    running.Terminate();
    EXPECT_FALSE(swapped) << "the folder was replaced while the step held it";
    EXPECT_EQ(otherBefore, otherState());
    const std::string after = State();
    EXPECT_TRUE(!(has("plant") || has("swap") || has("through")) ||
                updtest::RemoveWithLinks({folder, folder + "-moved", links.GetPath()}));
    // Only the new file's brief holder is waited for; no other refusal waits.
    EXPECT_EQ(has("scan"), scanner.opened);
    EXPECT_EQ(has("scan"), Scanner::pauses > 0) << Scanner::pauses;
    EXPECT_EQ(row.result, result);
    // ApplyUpdate tells the user of every failure, and only of failures; the others never.
    EXPECT_EQ(result || has("tidy") || has("check") || has("digest") ? "" : FAILURE, g_boxes);
    EXPECT_EQ(row.after, after);
}

INSTANTIATE_TEST_SUITE_P(Folders, UpdateScenarioTest, testing::ValuesIn(SCENARIOS),
                         [](const auto& row) { return std::string(row.param.name); });

// Payloads that must be refused before the disk is touched, and a frame without a module.
TEST_F(UpdateStepTest, DamagedPayloadOrDigestChangesNothing)
{
    using Bytes = std::vector<unsigned char>;
    const Bytes payload = updtest::BuiltPayload(), sound(digest.begin(), digest.end());
    Bytes atStart = payload, longer = payload;
    atStart.at(73) ^= 1;
    ++longer.at(60); // the expanded length's low byte
    // clang-format off
    const std::pair<Bytes, Bytes> cases[] = { // resources 107 and 108; empty: none
        {{}, {}}, {payload, {}}, {payload, Bytes(32, 0)}, {payload, Bytes(sound.begin(), sound.end() - 1)},
        {atStart, sound}, {Bytes(payload.begin(), payload.end() - 100), sound}, {longer, sound},
        {payload, sound}}; // the last one with no module at all
    // clang-format on
    Lay("exe=old");
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        const auto& [resource, carried] = cases[i];
        const std::string carrier = Path("carrier");
        ASSERT_TRUE(updtest::CopyTo(updtest::VersionCarrier(), carrier));
        std::vector<updtest::Resource> resources;
        if (!resource.empty())
            resources.push_back({"BIN", MAKEINTRESOURCEA(107), 1041, resource});
        if (!carried.empty())
            resources.push_back({"BIN", MAKEINTRESOURCEA(108), 1041, carried});
        ASSERT_TRUE(resources.empty() || updtest::WriteResources(carrier, resources, false));
        {
            updtest::DataModule module(carrier);
            g_frame.instance = i == std::size(cases) - 1 ? nullptr : module.Get();
            g_boxes.clear();
            EXPECT_EQ(0, ApplyUpdate(Path("exe").c_str(), nullptr)) << i;
            g_frame.instance = g_updater.Get();
            EXPECT_EQ(FAILURE, g_boxes) << i;
        }
        DeleteFileA(carrier.c_str());
        EXPECT_EQ("exe=old", State()) << i;
    }
}

// The updater's SHA-256 (the system's) and the tools' portable one give the known digests.
TEST(DigestTest, SystemAndToolsAgreeWithKnownDigests)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [input, sha256] : cases)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
        PayloadDigest system;
        ASSERT_TRUE(DigestOfBytes(bytes, input.size(), system));
        Sha256 pieces;
        for (std::size_t at = 0; at < input.size(); at += 63)
            pieces.Update(bytes + at, std::min<std::size_t>(63, input.size() - at));
        EXPECT_EQ(sha256, Sha256::ToHex(Sha256::Of(bytes, input.size())));
        EXPECT_EQ(sha256, Sha256::ToHex(pieces.Finish()));
        EXPECT_EQ(sha256, Sha256::ToHex(system));
    }
}

// A name beside the target keeps to its buffer and never cuts a double-byte character in two.
TEST(UpdatePathsTest, SiblingNamesFitTheirBuffer)
{
    const std::pair<std::string, std::string> cases[] = {
        {"abc", ""},
        {"a\x83\x41zz",
         "abak"}, // the cut falls on the trail byte of "ア": the whole character goes
        {std::string(259, 'a'), std::string(256, 'a') + "bak"},
        {std::string(260, 'a'), ""},
    };
    for (const auto& [target, expected] : cases)
    {
        char name[UPDATE_PATH_SIZE + 1];
        name[UPDATE_PATH_SIZE] = '#';
        EXPECT_EQ(expected.empty() ? 0 : 1, MakeBackupPath(target.c_str(), name)) << target;
        EXPECT_EQ(expected, name);
        EXPECT_EQ('#', name[UPDATE_PATH_SIZE]) << target.size();
    }
}

// The held folder acts on names directly in it only (no other folder, parent, stream or empty
// name; refused before anything is opened); a file is no folder to hold.
TEST(PinnedFolderTest, OnlyNamesDirectlyInTheFolder)
{
    gstest::ScratchFolder scratch{"pinned"};
    const std::string folder = scratch.GetPath(), sub = scratch.MakeFolder("sub");
    ASSERT_TRUE(updtest::WriteAll(folder + "\\file", "other"));
    CPinnedFolder pinned, onAFile;
    ASSERT_EQ(1, pinned.Pin((folder + "\\x.exe").c_str()));
    EXPECT_EQ(0, onAFile.Pin((folder + "\\file\\x.exe").c_str()));
    const DWORD BAD = ERROR_INVALID_NAME;
    // clang-format off
    const std::pair<std::string, DWORD> rows[] = {
        {folder + "\\a", ERROR_FILE_NOT_FOUND}, {folder + "\\file", ERROR_SUCCESS}, {sub, ERROR_SUCCESS},
        {sub + "\\file", BAD}, {sub + "\\..\\file", BAD}, {folder + "\\..", BAD}, {folder + "\\.", BAD},
        {folder + "\\", BAD}, {folder + "\\file:stream", BAD}, {folder + "\\sub/file", BAD}, {"file", BAD}};
    // clang-format on
    for (const auto& [path, error] : rows)
    {
        DWORD attributes = 0;
        EXPECT_EQ(error, pinned.Attributes(path.c_str(), attributes)) << path;
    }
}

// OK asks for the redirection trust policy (junctions made by users without administrator rights
// are not followed) and takes a refusal quietly. Wine has no such policy: through the seam.
PROCESS_MITIGATION_POLICY g_askedPolicy;
DWORD g_askedFlags = 0;
BOOL g_granted = TRUE;
BOOL WINAPI AnswerPolicy(PROCESS_MITIGATION_POLICY policy, PVOID buffer, SIZE_T size)
{
    g_askedPolicy = policy;
    g_askedFlags = size == sizeof(DWORD) ? *static_cast<DWORD*>(buffer) : 0xFFFFFFFF;
    return g_granted;
}

TEST(PinnedFolderTest, RedirectionTrustIsAskedFor)
{
    for (const BOOL granted : {TRUE, FALSE})
    {
        g_askedFlags = 0;
        g_granted = granted;
        SetMitigationSetter(AnswerPolicy);
        EXPECT_EQ(granted ? 1 : 0, EnableRedirectionTrust());
        SetMitigationSetter(nullptr);
        EXPECT_EQ(ProcessRedirectionTrustPolicy, g_askedPolicy);
        EXPECT_EQ(1u, g_askedFlags) << "enforced, not audited";
    }
}

// Windows opens "Larkspurgleam.bak." and "Larkspurgleam.bak " as Larkspurgleam.bak (it drops
// the dots and blanks that end a name), and a short name as its long one: the update's names are
// built from the name the system opens, so its own names are refused in every such form, and a
// target written so gets the names beside the file it opens. 表 ends in the byte 0x5C.
TEST(UpdatePathsTest, OwnNamesAreRefusedInEveryFormTheSystemOpens)
{
    ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
    gstest::ScratchFolder scratch("paths");
    const std::string folder = scratch.MakeFolder("ソフト\\表");
    // Short names of an existing target and of its backup.
    std::string shortNames[2];
    for (int i = 0; i < 2; ++i)
    {
        const std::string file = folder + (i == 0 ? "\\Larkspurgleam.exe" : "\\Larkspurgleam.bak");
        char shortName[MAX_PATH] = {};
        ASSERT_TRUE(updtest::WriteAll(file, "old"));
        ASSERT_NE(0u, GetShortPathNameA(file.c_str(), shortName, MAX_PATH));
        ASSERT_NE(file, shortName);
        shortNames[i] = shortName;
    }
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    // target (below the folder, or as given when it has a colon), result, and the names beside
    // it below the folder, without their last three letters
    const std::tuple<std::string, int, const char*> rows[] = {
        {"Larkspurgleam.exe", 1, "Larkspurgleam."},
        {"Larkspurgleam.exe.", 1, "Larkspurgleam."},
        {"Larkspurgleam.exe . ", 1, "Larkspurgleam."},
        {"表.exe ", 1, "表."},
        {"Larkspurgleam.bak.", 0, ""},
        {"Larkspurgleam.BAK ", 0, ""},
        {"Larkspurgleam.new..", 0, ""},
        {"Larkspurgleam.old. ", 0, ""},
        {shortNames[0], 1, "Larkspurgleam."},
        {shortNames[1], 0, ""},
        {folder + "\\..\\表\\Larkspurgleam.bak", 0, ""},
        {std::string(230, 'a') + ".exe", 0, ""}, // fits, but its full path does not
    };
    for (const auto& [given, result, stem] : rows)
    {
        const bool full = given.find(':') != std::string::npos;
        for (const std::string& form : {full ? given : folder + "\\" + given, given})
        {
            UpdatePaths paths;
            EXPECT_EQ(result, MakeUpdatePaths(form.c_str(), paths)) << form;
            if (result == 1)
            {
                const std::string beside = folder + "\\" + stem;
                EXPECT_EQ(beside + "bak", paths.backup) << form;
                EXPECT_EQ(beside + "new", paths.temporary) << form;
                EXPECT_EQ(beside + "old", paths.setAside) << form;
            }
        }
    }
    SetCurrentDirectoryA(previous);
}

// As the step runner: what OK does, killed at the step (exit code 100 + step; 0: none).
int g_stopStep = 0;
int RunSteps(const char* target, bool links)
{
    g_frame.instance = g_updater.Get();
    GsSetMessageBoxFunction(RecordBox);
    SetUpdateUsesLinks(links);
    SetUpdateStepHook(
        [](int step)
        {
            if (step == g_stopStep)
                TerminateProcess(GetCurrentProcess(), 100 + step);
        });
    const int verdict = CheckTarget(target);
    if (verdict == TARGET_ALREADY_DONE)
        TidyUpdateLeftovers(target);
    return verdict == TARGET_ELIGIBLE ? ApplyUpdate(target, nullptr) : 10 + verdict;
}

} // namespace

// usage: gs_apply_update_tests [--step STEP TARGET [nolinks]] [gtest options]
int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--step") == 0)
    {
        g_stopStep = std::atoi(argv[2]);
        return RunSteps(argv[3], argc == 4);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
