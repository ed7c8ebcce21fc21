// The registry, shortcut, file-search and install-manager components on real files and a scratch
// key; names ending in the byte 0x5C ("ソ" 83 5C, "表" 95 5C, code page 932) in every path.
#include "GsComponentIds.h"
#include "GsInstallManager.h"
#include "GsRegistry.h"
#include "GsSearchFile.h"
#include "GsShortcut.h"
#include "GsTestFiles.h"
#include "GsUtility.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace
{

// A component as a program gets one: by identifier from the factory, ended with Release.
template <typename T> std::shared_ptr<T> Make(const GUID& identifier)
{
    IGsInterface* made = nullptr;
    CGsUtility().CreateComponent(identifier, &made);
    return std::shared_ptr<T>(dynamic_cast<T*>(made),
                              [made](T*) { return made != nullptr ? made->Release() : 0; });
}

class GsComponentTest : public ::testing::Test
{
protected:
    // Files at three depths, a folder named as *.exe, the install sources (repeating every 251).
    static void SetUpTestSuite()
    {
        ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
        scratch = new gstest::ScratchFolder("components");
        root = scratch->GetPath();
        for (const char* folder : {"sub\\in", "tools.exe", "plain", "ソ\\ソフト", "表\\サブ"})
            scratch->MakeFolder(folder);
        for (const char* file :
             {"a.txt", "setup.exe", "sub\\b.txt", "sub\\in\\c.txt", "sub\\in\\d.dat",
              "tools.exe\\inner.exe", "plain\\hidden.exe", "ソ\\表.txt", "ソ\\ソフト\\予定表.txt"})
            std::ofstream(root + "\\" + file) << "x";
        const std::pair<const char*, int> sources[] = {
            {"f0", 3072}, {"f1", 1024}, {"big", 5 << 20}, {"サブ\\表示.txt", 100}, {"empty", 0}};
        for (const auto& [name, size] : sources)
        {
            std::ofstream out(root + "\\表\\" + name, std::ios::binary);
            for (int i = 0; i < size; ++i)
                out.put(static_cast<char>(i % 251));
        }
    }
    static void TearDownTestSuite() { delete scratch; }
    void SetUp() override
    {
        destination =
            scratch->MakeFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    static inline gstest::ScratchFolder* scratch = nullptr;
    static inline std::string root;
    std::string destination;
};

TEST_F(GsComponentTest, RegistryValuesRoundTripOrGiveTheirDefaults)
{
    const auto registry = Make<CGsRegistry>(IID_IGsRegistry);
    ASSERT_NE(nullptr, registry);
    const std::string key = "Software\\GsComponentTest-" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(1, registry->CreateKey(HKEY_CURRENT_USER, key.c_str()));
    EXPECT_EQ(1, registry->SetString("japanese", "ソフト\\表示"));
    EXPECT_EQ(1, registry->SetString("long", "0123456789abcdef"));
    EXPECT_EQ(1, registry->SetNumber("all", 0xFFFFFFFFu));
    const unsigned char blob[8] = {0x01, 0x5C, 0xFF, 0x83};
    EXPECT_EQ(1, registry->SetBinary("blob", blob, sizeof blob));
    RegSetValueExA(registry->GetKey(), "expand", 0, REG_EXPAND_SZ, LPBYTE("%TEMP%"), 7);
    // name, buffer size, default, result, text read
    const std::tuple<const char*, int, const char*, int, const char*> strings[] = {
        {"japanese", 32, nullptr, 1, "ソフト\\表示"},
        {"missing", 32, "fallback", 1, "fallback"},
        {"missing", 32, nullptr, 0, "########"},
        {"expand", 32, "fallback", 1, "fallback"}, // REG_EXPAND_SZ is not REG_SZ
        {"all", 32, "fallback", 1, "fallback"},
        {"long", 17, nullptr, 1, "0123456789abcdef"}, // stored with its terminator: it fits
        {"long", 8, "short", 1, "short"},             // larger than the buffer: a failed read
        {"missing", 6, "表表表", 1, "表表"},          // defaults are cut to whole characters
    };
    for (const auto& [name, size, fallback, result, read] : strings)
    {
        char area[40] = "########";
        EXPECT_EQ(result, registry->GetString(name, area, size, fallback));
        EXPECT_STREQ(read, area) << name << " " << size;
    }
    EXPECT_EQ(-1, CGsRegistry(HKEY_CURRENT_USER, key.c_str()).GetNumber("all", 0)) << "opened";
    // Numbers: four-byte REG_DWORD values only; ReadNumber gives the default as a success.
    for (const auto& [name, value] :
         {std::pair("all", -1), {"missing", 9}, {"long", 9}, {"blob", 9}})
    {
        int number = 0;
        EXPECT_EQ(value, registry->GetNumber(name, 9)) << name;
        EXPECT_EQ(1, registry->ReadNumber(name, &number, 9));
        EXPECT_EQ(value, number) << name;
    }
    unsigned char read[16] = {};
    DWORD size = sizeof read;
    EXPECT_EQ(0, registry->GetBinary("long", read, &size)) << "not REG_BINARY";
    EXPECT_EQ(1, registry->GetBinary("blob", read, &size));
    EXPECT_EQ(std::string(blob, blob + 8), std::string(read, read + size));
    registry->CloseKey();
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

// Stand-ins for the two registry functions that refuse any write access to the hive named here,
// as Windows does for a hive a program that is not elevated may only read (wine grants all).
HKEY g_readOnlyHive = nullptr;
std::vector<REGSAM> g_accessAsked;
constexpr REGSAM WRITE_RIGHTS =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

bool RefusedToUser(HKEY root, REGSAM access)
{
    g_accessAsked.push_back(access);
    return root == g_readOnlyHive && (access & WRITE_RIGHTS) != 0;
}

LONG WINAPI OpenKeyAsUser(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY key)
{
    return RefusedToUser(root, access) ? ERROR_ACCESS_DENIED
                                       : RegOpenKeyExA(root, subKey, options, access, key);
}

// There only an existing key opens: making one needs the right to write its parent.
LONG WINAPI CreateKeyAsUser(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key,
                            LPDWORD disposition)
{
    if (RefusedToUser(root, access))
        return ERROR_ACCESS_DENIED;
    if (root != g_readOnlyHive)
        return RegCreateKeyExA(root, subKey, reserved, keyClass, options, access, security, key,
                               disposition);
    if (disposition != nullptr)
        *disposition = REG_OPENED_EXISTING_KEY;
    return RegOpenKeyExA(root, subKey, 0, access, key) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                        : ERROR_ACCESS_DENIED;
}

// Keys of a read-only hive still open and read; writing through them fails (wine checks the
// access a key was opened with). The utility's folders are found also where the hive is read-only.
TEST_F(GsComponentTest, RegistryReadsWhereTheUserMayNotWrite)
{
    const std::string key = "Software\\GsComponentTest-ro-" + std::to_string(GetCurrentProcessId());
    HKEY seeded = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &seeded, nullptr));
    RegSetValueExA(seeded, "name", 0, REG_SZ, LPBYTE("ソフト\\表"), 10);
    RegCloseKey(seeded);
    GsSetRegistryKeyFunctions(OpenKeyAsUser, CreateKeyAsUser);
    enum How
    {
        OPEN,
        CREATE,
        CONSTRUCT,
        OPEN_TO_READ,
    };
    const struct
    {
        const char* name;
        HKEY readOnly; // the hive refused to writing, or null
        How how;
        const char* subKey; // below the scratch key, or "" for the key itself
        int opened;
        int written;
    } rows[] = {
        {"opened where read-only", HKEY_CURRENT_USER, OPEN, "", 1, 0},
        {"created where read-only, existing", HKEY_CURRENT_USER, CREATE, "", 1, 0},
        {"constructed where read-only", HKEY_CURRENT_USER, CONSTRUCT, "", 1, 0},
        {"created where read-only, missing", HKEY_CURRENT_USER, CREATE, "\\new", 0, 0},
        {"opened where missing", HKEY_CURRENT_USER, OPEN, "\\none", 0, 0},
        {"opened where writable", nullptr, OPEN, "", 1, 1},
        {"created where writable", nullptr, CREATE, "\\new", 1, 1},
        {"opened to read where writable", nullptr, OPEN_TO_READ, "", 1, 0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        g_readOnlyHive = row.readOnly;
        const std::string path = key + row.subKey;
        CGsRegistry registry(row.how == CONSTRUCT ? HKEY_CURRENT_USER : nullptr, path.c_str());
        const int opened = row.how == OPEN     ? registry.OpenKey(HKEY_CURRENT_USER, path.c_str())
                           : row.how == CREATE ? registry.CreateKey(HKEY_CURRENT_USER, path.c_str())
                           : row.how == OPEN_TO_READ
                               ? registry.OpenKeyToRead(HKEY_CURRENT_USER, path.c_str())
                               : registry.GetKey() != nullptr;
        EXPECT_EQ(row.opened, opened);
        // The scratch key holds "name"; a new key gives the empty default.
        char read[40] = {};
        EXPECT_EQ(row.opened, registry.GetString("name", read, sizeof read, ""));
        EXPECT_STREQ(row.opened && *row.subKey == '\0' ? "ソフト\\表" : "", read);
        EXPECT_EQ(row.written, registry.SetString("written", "x"));
        // Each open lets go of the key held before, also when it fails.
        EXPECT_EQ(0, registry.OpenKeyToRead(HKEY_CURRENT_USER, (key + "\\none").c_str()));
        EXPECT_EQ(nullptr, registry.GetKey());
    }

    // Each folder found as the registry holds it, with its hive read-only, asking no write right.
    const auto stored = [](HKEY hive, const char* subKey, const char* value)
    {
        char text[MAX_PATH] = {};
        DWORD size = sizeof text;
        HKEY opened = nullptr;
        RegOpenKeyExA(hive, subKey, 0, KEY_READ, &opened);
        RegQueryValueExA(opened, value, nullptr, nullptr, LPBYTE(text), &size);
        RegCloseKey(opened);
        return std::string(text);
    };
    const std::string programFiles = stored(
        HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
    const std::string desktop =
        stored(HKEY_CURRENT_USER,
               "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop");
    ASSERT_NE("", programFiles);
    ASSERT_NE("", desktop);
    CGsUtility utility;
    const struct
    {
        HKEY readOnly;
        int (CGsUtility::*get)(char*, int);
        const std::string& expected;
    } folders[] = {
        {HKEY_LOCAL_MACHINE, &CGsUtility::GetProgramFilesDir, programFiles},
        {HKEY_CURRENT_USER, &CGsUtility::GetDesktopDir, desktop},
    };
    for (const auto& [readOnly, get, expected] : folders)
    {
        g_readOnlyHive = readOnly;
        g_accessAsked.clear();
        char folder[MAX_PATH] = {};
        EXPECT_EQ(1, (utility.*get)(folder, MAX_PATH)) << expected;
        EXPECT_EQ(expected, folder);
        for (REGSAM access : g_accessAsked)
            EXPECT_EQ(0u, access & WRITE_RIGHTS) << expected << ": a right to write asked";
    }
    GsSetRegistryKeyFunctions(nullptr, nullptr);
    RegDeleteKeyA(HKEY_CURRENT_USER, (key + "\\new").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

// What reaches the saved link's header: the texts present (offset 20: description 04, working
// folder 10, arguments 20, icon 40), the icon index, show command and hotkey (56, 60, 64).
TEST_F(GsComponentTest, ShortcutSavesWhatWasSetAndNothingElse)
{
    const auto shortcut = Make<IGsShortcut>(IID_IGsShortcut);
    ASSERT_NE(nullptr, shortcut);
    const std::string target = root + "\\setup.exe";
    shortcut->SetArguments("/quiet /log=\"a b.txt\"");
    shortcut->SetIconLocation(target.c_str(), 3);
    shortcut->SetShowCommand(SW_SHOWMAXIMIZED);
    shortcut->SetHotkey(0x0641);
    ASSERT_EQ(1, shortcut->Save((destination + "\\a.lnk").c_str(), target.c_str()));
    // COM, started by the first shortcut, is counted once per shortcut and stays for the first.
    Make<IGsShortcut>(IID_IGsShortcut)->Initialize();
    EXPECT_EQ(1, g_nComInitCount);
    EXPECT_EQ(1, shortcut->Clear());
    shortcut->SetDescription("ラークスパーグリームを起動");
    shortcut->SetWorkingDirectory(destination.c_str());
    ASSERT_EQ(1, shortcut->Save((destination + "\\ソフト表示.lnk").c_str(), target.c_str()));
    for (const auto& [name, expected] : {std::pair("a.lnk", std::vector<int>{0x60, 3, 3, 0x0641}),
                                         {"ソフト表示.lnk", {0x14, 0, 0, 0}}})
    {
        const std::string header =
            gstest::ReadWholeFile(destination + "\\" + name) + std::string(76, '\0');
        std::vector<int> read = {header[20] & 0x74, 0, 0, 0};
        std::memcpy(&read[1], header.data() + 56, 3 * sizeof(int));
        EXPECT_EQ(expected, read) << name;
    }
}

TEST_F(GsComponentTest, SearchDeliversMatchingFilesOnceAndWalksAgainWhenRestarted)
{
    const auto search = Make<IGsSearchFile>(IID_IGsSearchFile);
    ASSERT_NE(nullptr, search);
    // Paths below the root, each checked against the name and folder delivered with it.
    const auto collect = [&search](bool recursive)
    {
        std::multiset<std::string> found;
        std::string name, directory, path;
        while (found.size() < 100 && (recursive ? search->FindNextRecursive(name, directory, path)
                                                : search->FindNext(name, path)))
        {
            EXPECT_TRUE(!recursive || directory + "\\" + name == path) << path;
            found.insert(path.substr(root.size() + 1));
        }
        return found;
    };
    // folder below the root, base name, extension, recursive, paths below the root
    const std::tuple<const char*, const char*, const char*, bool, std::multiset<std::string>>
        rows[] = {
            {"", "a", "*", false, {"a.txt"}},
            {"\\sub", "*", "txt", true, {"sub\\b.txt"}}, // "in" does not match *.txt
            {"\\sub", "*", "*", true, {"sub\\b.txt", "sub\\in\\c.txt", "sub\\in\\d.dat"}},
            {"", "*", "exe", true, {"setup.exe", "tools.exe\\inner.exe"}}, // "plain" not entered
            {"\\ソ", "*", "*", false, {"ソ\\表.txt"}},
            {"\\ソ\\", "*", "*", true, {"ソ\\表.txt", "ソ\\ソフト\\予定表.txt"}},
        };
    for (const auto& [folder, base, extension, recursive, paths] : rows)
    {
        search->SetDirectory((root + folder).c_str());
        search->SetBaseName(base);
        search->SetExtension(extension);
        EXPECT_EQ(paths, collect(recursive)) << folder << " " << extension;
        // The 0 closed the search; the next call starts again from the first file.
        EXPECT_EQ(paths, collect(recursive)) << folder;
    }
    // Abandoned inside a subtree, the next walk is a whole walk of its own.
    search->SetDirectory((root + "\\sub").c_str());
    std::string name, directory, path;
    while (search->FindNextRecursive(name, directory, path) && directory == root + "\\sub")
    {
    }
    ASSERT_EQ(root + "\\sub\\in", directory);
    search->EndFind();
    EXPECT_EQ(std::get<4>(rows[2]), collect(true));
}

// Driven as an installer drives it, to the finished flag; then what it refuses or stops.
TEST_F(GsComponentTest, InstallCopiesWholeFilesAndRefusesWhatItCannot)
{
    const auto manager = Make<CGsInstallManager>(IID_IGsInstallManager);
    ASSERT_NE(nullptr, manager);
    scratch->MakeFolder(destination.substr(root.size() + 1) + "\\サブ");
    // source folder ("表" ends in 0x5C, which stays; a backslash after it goes), files, and the
    // progress reported, in 256ths of the kilobytes (at least 1 a file; 2 MiB a step)
    const std::tuple<const char*, std::vector<std::string>, std::vector<int>> rows[] = {
        {"\\表\\", {"f0", "f1"}, {192, 256}},
        {"\\表", {"big"}, {2048 * 256 / 5120, 4096 * 256 / 5120, 256}},
        {"\\表\\", {"サブ\\表示.txt", "empty"}, {128, 256}},
    };
    for (const auto& [folder, names, expected] : rows)
    {
        ASSERT_EQ(1, manager->Setup(nullptr, 0, (root + folder).c_str(), destination.c_str()));
        EXPECT_EQ(root + "\\表", manager->GetSourceDirectory());
        for (const std::string& name : names)
            manager->AddFile(name.c_str(), (name + ".out").c_str());
        ASSERT_EQ(1, manager->Start());
        std::vector<int> progress;
        for (int finished = 0; !finished && progress.size() < 10;)
        {
            progress.push_back(-1);
            EXPECT_EQ(1, manager->Step(&finished, &progress.back()));
        }
        EXPECT_EQ(expected, progress);
        EXPECT_EQ(0, manager->Step(nullptr, nullptr)) << "nothing more after the finished flag";
        for (const std::string& name : names)
            EXPECT_TRUE(gstest::ReadWholeFile(root + "\\表\\" + name) ==
                        gstest::ReadWholeFile(destination + "\\" + name + ".out"))
                << name;
    }

    const std::string source = root + "\\表";
    // Every source is checked before any destination is touched: one that is missing, and one
    // of 3 GiB (sparse), beyond the sizes the file object carries.
    ASSERT_TRUE(gstest::Resize(source + "\\huge.bin", 3LL << 30));
    for (const char* name : {"gone.txt", "huge.bin"})
    {
        ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), (destination + "\\サブ").c_str()));
        manager->AddFile("f0", nullptr);
        manager->AddFile(name, nullptr);
        EXPECT_EQ(0, manager->Start()) << name;
        EXPECT_EQ(0, manager->Step(nullptr, nullptr));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((destination + "\\サブ\\f0").c_str()));

    // Started, then a write stops short (the host's always-full device) or the source shrinks:
    // the step fails without writing stale bytes, and the copy is over.
    std::ofstream(source + "\\shrinking.bin", std::ios::binary) << std::string(3 << 20, 's');
    for (const std::string& to : {std::string("Z:\\dev"), destination})
    {
        ASSERT_EQ(1, manager->Setup(nullptr, 0, source.c_str(), to.c_str()));
        manager->AddFile("shrinking.bin", to == destination ? nullptr : "full");
        ASSERT_EQ(1, manager->Start());
        ASSERT_TRUE(to != destination || gstest::Resize(source + "\\shrinking.bin", 1 << 20));
        EXPECT_EQ(0, manager->Step(nullptr, nullptr)) << to;
        EXPECT_EQ(0, manager->Step(nullptr, nullptr)) << to;
    }
    EXPECT_EQ("", gstest::ReadWholeFile(destination + "\\shrinking.bin"));
}

// A file of a given size that keeps nothing: sources near 2 GiB without the disk space.
struct CSizedFile : CGsFile
{
    explicit CSizedFile(int bytes) : size(bytes) {}
    int Open(const char*, int) override { return open = 1; }
    int Close() override { return open = 0; }
    int Read(void*, unsigned n, unsigned* done) override { return Transfer(n, done); }
    int Write(const void*, unsigned n, unsigned* done) override { return Transfer(n, done); }
    int GetSize() override { return open ? size : 0; }
    int Transfer(unsigned count, unsigned* transferred)
    {
        moved += open ? count : 0;
        if (transferred != nullptr)
            *transferred = open ? count : 0;
        return open;
    }
    static inline long long moved = 0; // bytes read and written, over all files
    int size, open = 0;
};

struct CSizedInstallManager : CGsInstallManager
{
    explicit CSizedInstallManager(int bytes) : size(bytes) {}
    std::unique_ptr<CGsFile> MakeFileObject() override
    {
        return std::make_unique<CSizedFile>(size);
    }
    int size;
};

// Within one chunk of 2 GiB the count of a file's bytes would pass INT_MAX: each size is copied
// in whole chunks and one piece, every byte once, the progress reaching 256 with the flag.
TEST(GsInstallManagerSizes, FilesNear2GiBEndAtTheirLastChunk)
{
    constexpr int CHUNK = GS_INSTALL_CHUNK_SIZE;
    // size, steps
    const std::pair<int, int> rows[] = {
        {INT_MAX, 1024},             // 2 GiB - 1: the last piece is 2 MiB - 1
        {INT_MAX - CHUNK + 2, 1024}, // the first size whose count passes INT_MAX
        {INT_MAX - CHUNK + 1, 1023}, // 1023 whole chunks exactly
        {INT_MAX - 3 * CHUNK, 1021}, // 1020 whole chunks and one of 2 MiB - 1
        {5 * CHUNK + 1, 6},
    };
    for (const auto& [size, steps] : rows)
    {
        SCOPED_TRACE(size);
        CSizedInstallManager manager(size);
        ASSERT_EQ(1, manager.Setup(nullptr, 0, "C:\\from", "C:\\to"));
        manager.AddFile("big.bin", nullptr);
        CSizedFile::moved = 0;
        ASSERT_EQ(1, manager.Start());
        EXPECT_EQ(size / 1024, manager.GetTotalKilobytes());
        int taken = 0, finished = 0, progress = 0, previous = 0;
        while (!finished && taken < steps + 2)
        {
            ASSERT_EQ(1, manager.Step(&finished, &progress));
            EXPECT_GE(progress, previous);
            previous = progress;
            ++taken;
        }
        EXPECT_EQ(steps, taken);
        EXPECT_EQ(1, finished);
        EXPECT_EQ(256, progress);
        EXPECT_EQ(2LL * size, CSizedFile::moved);
        EXPECT_EQ(0, manager.Step(nullptr, nullptr));
    }
}

} // namespace
