// File search on temporary trees, the way a program walks them: a component from the factory,
// a directory and a pattern, then find calls until 0.
#include "GsSearchFile.h"
#include "GsComponentHolder.h"
#include "GsComponentIds.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

struct Found
{
    std::string name;
    std::string directory;
    std::string path;
};

bool MakeFile(const std::string& path, const std::string& content = "x")
{
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr)
    {
        return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), stream) == content.size();
    return std::fclose(stream) == 0 && written;
}

// Every file of one directory, as FindNext delivers them until 0.
std::vector<Found> CollectOneDirectory(IGsSearchFile* search)
{
    std::vector<Found> found;
    Found next;
    // Bounded: a search that never ends fails the test instead of hanging it.
    for (int i = 0; i < 1000 && search->FindNext(next.name, next.path); ++i)
    {
        found.push_back(next);
    }
    return found;
}

std::vector<Found> CollectTree(IGsSearchFile* search)
{
    std::vector<Found> found;
    Found next;
    for (int i = 0; i < 1000 && search->FindNextRecursive(next.name, next.directory, next.path);
         ++i)
    {
        found.push_back(next);
    }
    return found;
}

std::multiset<std::string> Paths(const std::vector<Found>& found)
{
    std::multiset<std::string> paths;
    for (const Found& f : found)
    {
        paths.insert(f.path);
    }
    return paths;
}

// Each delivery is consistent: the path is its directory, a backslash and its name.
void ExpectConsistent(const std::vector<Found>& found)
{
    for (const Found& f : found)
    {
        EXPECT_EQ(f.directory + "\\" + f.name, f.path);
    }
}

// Depth-first: a subdirectory is walked completely when it is met, so the files below each
// directory under `root` arrive in one unbroken run.
void ExpectSubtreesContiguous(const std::vector<Found>& found, const std::string& root)
{
    std::map<std::string, std::vector<std::size_t>> runs; // directory -> delivery indices
    for (std::size_t i = 0; i < found.size(); ++i)
    {
        for (std::string d = found[i].directory; d.size() > root.size();
             d = d.substr(0, d.rfind('\\')))
        {
            runs[d].push_back(i);
        }
    }
    for (const auto& run : runs)
    {
        EXPECT_EQ(run.second.size() - 1, run.second.back() - run.second.front())
            << "the walk left " << run.first << " and came back";
    }
}

class GsSearchFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.GetPath().empty());
        ASSERT_NE(nullptr, search.Get());
        root = scratch.GetPath();
    }

    std::string Make(const std::string& relativeFile)
    {
        const std::string path = root + "\\" + relativeFile;
        const std::string::size_type slash = relativeFile.rfind('\\');
        if (slash != std::string::npos)
        {
            scratch.MakeFolder(relativeFile.substr(0, slash));
        }
        EXPECT_TRUE(MakeFile(path)) << path;
        return path;
    }

    gstest::ScratchFolder scratch{"search"};
    GsComponentHolder<IGsSearchFile> search{IID_IGsSearchFile};
    std::string root;
};

TEST_F(GsSearchFileTest, OneDirectoryDeliversItsFilesThenZeroThenStartsAgain)
{
    Make("a.txt");
    Make("b.txt");
    Make("sub\\c.txt"); // a subdirectory is never delivered nor entered by FindNext
    search->SetDirectory(root.c_str());

    std::string name;
    std::string path;
    ASSERT_EQ(1, search->FindNext(name, path));
    const std::string firstName = name;
    EXPECT_EQ(root + "\\" + name, path);
    ASSERT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ(root + "\\" + name, path);
    EXPECT_EQ((std::set<std::string>{"a.txt", "b.txt"}), (std::set<std::string>{firstName, name}));

    name = "untouched";
    path = "untouched";
    EXPECT_EQ(0, search->FindNext(name, path));
    EXPECT_EQ("untouched", name);
    EXPECT_EQ("untouched", path);

    ASSERT_EQ(1, search->FindNext(name, path)) << "the search starts again after its 0";
    EXPECT_EQ(firstName, name);
}

TEST_F(GsSearchFileTest, BufferFormsCopyWhatTheStringFormsDeliver)
{
    Make("only.txt");
    Make("sub\\deep.txt");
    search->SetDirectory(root.c_str());

    char name[MAX_PATH];
    char path[2 * MAX_PATH];
    ASSERT_EQ(1, search->FindNextToBuffer(name, nullptr));
    EXPECT_STREQ("only.txt", name);
    std::memset(name, 'n', sizeof name);
    std::memset(path, 'p', sizeof path);
    EXPECT_EQ(0, search->FindNextToBuffer(name, path));
    EXPECT_EQ('n', name[0]) << "nothing is written on 0";
    EXPECT_EQ('p', path[0]);
    ASSERT_EQ(1, search->FindNextToBuffer(name, path));
    EXPECT_EQ(root + "\\only.txt", path);
    search->EndFind();

    char directory[2 * MAX_PATH];
    std::set<std::string> delivered;
    while (search->FindNextRecursiveToBuffer(name, directory, path) && delivered.size() < 10)
    {
        EXPECT_EQ(std::string(directory) + "\\" + name, path);
        delivered.insert(path);
    }
    EXPECT_EQ((std::set<std::string>{root + "\\only.txt", root + "\\sub\\deep.txt"}), delivered);
}

TEST_F(GsSearchFileTest, OnlySubdirectoriesGiveNothingFlatAndTheirFilesRecursively)
{
    Make("one\\x.txt");
    Make("two\\deeper\\y.txt");
    scratch.MakeFolder("three"); // empty: entered and left without a delivery
    scratch.MakeFolder("four\\five");
    search->SetDirectory(root.c_str());

    std::string name;
    std::string path;
    EXPECT_EQ(0, search->FindNext(name, path));

    const std::vector<Found> found = CollectTree(search.Get());
    ASSERT_EQ(2u, found.size());
    std::map<std::string, std::string> directoryOf;
    for (const Found& f : found)
    {
        directoryOf[f.name] = f.directory;
    }
    EXPECT_EQ(root + "\\one", directoryOf["x.txt"]);
    EXPECT_EQ(root + "\\two\\deeper", directoryOf["y.txt"]);
    ExpectConsistent(found);
}

TEST_F(GsSearchFileTest, NestedTreeDeliversEveryFileOnceDepthFirstAndAgainAfterZero)
{
    const std::multiset<std::string> all = {
        Make("x.txt"),          Make("z.txt"),      Make("sub\\y.txt"),   Make("sub\\in\\w.txt"),
        Make("sub\\in\\v.dat"), Make("sub\\u.txt"), Make("other\\t.txt"), Make("other\\s\\r.txt"),
    };
    scratch.MakeFolder("empty");
    search->SetDirectory(root.c_str());

    const std::vector<Found> first = CollectTree(search.Get());
    EXPECT_EQ(all, Paths(first));
    ExpectConsistent(first);
    ExpectSubtreesContiguous(first, root);

    // The 0 closed the walk; the next one is the same walk from its first file.
    const std::vector<Found> second = CollectTree(search.Get());
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i)
    {
        EXPECT_EQ(first[i].path, second[i].path);
    }
}

TEST_F(GsSearchFileTest, ExtensionPatternDecidesWhichSubdirectoriesAreEntered)
{
    Make("readme.txt");
    const std::string program = Make("setup.exe");
    const std::string tool = Make("tools.exe\\inner.exe");
    Make("tools.exe\\notes.txt");
    Make("plain\\hidden.exe"); // its folder does not match *.exe, so it is never reached
    search->SetDirectory(root.c_str());
    search->SetExtension("exe");

    const std::vector<Found> found = CollectTree(search.Get());
    EXPECT_EQ((std::multiset<std::string>{program, tool}), Paths(found));

    std::string name;
    std::string path;
    ASSERT_EQ(1, search->FindNext(name, path)) << "a fresh walk on the same object";
    search->EndFind();

    // The base-name pattern works the same way, on the part before the dot.
    search->SetExtension("*");
    search->SetBaseName("read*");
    EXPECT_EQ((std::multiset<std::string>{root + "\\readme.txt"}),
              Paths(CollectOneDirectory(search.Get())));
}

TEST_F(GsSearchFileTest, HiddenSystemAndReadOnlyFilesAreDelivered)
{
    const std::string hidden = Make("hidden.txt");
    const std::string system = Make("system.txt");
    const std::string readOnly = Make("readonly.txt");
    const std::string dotted = Make(".dotted");
    ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA(system.c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(GetFileAttributesA(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY);
    search->SetDirectory(root.c_str());

    EXPECT_EQ((std::multiset<std::string>{hidden, system, readOnly, dotted}),
              Paths(CollectOneDirectory(search.Get())));
}

TEST_F(GsSearchFileTest, TrailingBackslashesLoseOneAndOnlyOne)
{
    Make("a.txt");
    std::string name;
    std::string path;

    search->SetDirectory((root + "\\").c_str());
    ASSERT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ(root + "\\a.txt", path);
    search->EndFind();

    // Two trailing backslashes keep one: the system still finds the folder, and the delivered
    // path shows the one that was kept.
    search->SetDirectory((root + "\\\\").c_str());
    ASSERT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ(root + "\\\\a.txt", path);
}

TEST_F(GsSearchFileTest, WithoutADirectoryTheRootOfTheCurrentDriveIsSearched)
{
    // A file of its own in the drive's root, removed and the current folder restored on every
    // way out of the test.
    struct RootMarker
    {
        char previous[MAX_PATH] = {};
        std::string path;
        ~RootMarker()
        {
            DeleteFileA(path.c_str());
            SetCurrentDirectoryA(previous);
        }
    } guard;
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, guard.previous));
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    const std::string drive = root.substr(0, 2); // "C:"
    const std::string marker = "gs_search_" + std::to_string(GetCurrentProcessId());
    const std::string markerPath = drive + "\\" + marker + ".tmp";
    guard.path = markerPath;
    ASSERT_TRUE(MakeFile(markerPath));

    std::string name;
    std::string path;
    search->SetBaseName(marker.c_str());
    search->SetExtension("tmp");
    EXPECT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ("\\" + marker + ".tmp", path);
    search->EndFind();

    // A drive root given with its backslash or without it is the same folder.
    for (const std::string& given : {drive, drive + "\\"})
    {
        search->SetDirectory(given.c_str());
        EXPECT_EQ(1, search->FindNext(name, path)) << given;
        EXPECT_EQ(markerPath, path) << given;
        search->EndFind();
    }
}

TEST_F(GsSearchFileTest, MissingDirectoryGivesZeroAtOnce)
{
    search->SetDirectory((root + "\\missing").c_str());
    std::string name = "untouched";
    std::string directory;
    std::string path;
    EXPECT_EQ(0, search->FindNext(name, path));
    EXPECT_EQ(0, search->FindNextRecursive(name, directory, path));
    EXPECT_EQ("untouched", name);
}

// The handles this process holds, from the system's handle table (GetProcessHandleCount is a
// stub under wine). Each level of a walk holds one find handle. -1 when the table is not there.
long OpenHandles()
{
    struct Entry
    {
        PVOID object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ACCESS_MASK access;
        USHORT creatorBackTrace;
        USHORT objectType;
        ULONG attributes;
        ULONG reserved;
    };
    struct Table
    {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using QueryFunction = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const ULONG kExtendedHandleInformation = 64;
    const LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
    {
        return -1;
    }
    std::vector<ULONG_PTR> buffer(1 << 14);
    for (int tries = 0; tries < 8; ++tries)
    {
        const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
        ULONG needed = 0;
        const LONG status = query(kExtendedHandleInformation, buffer.data(), bytes, &needed);
        if (status == kLengthMismatch)
        {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0)
        {
            return -1;
        }
        const auto* table = reinterpret_cast<const Table*>(buffer.data());
        long count = 0;
        for (ULONG_PTR i = 0; i < table->count; ++i)
        {
            count += table->entries[i].processId == GetCurrentProcessId() ? 1 : 0;
        }
        return count;
    }
    return -1;
}

TEST_F(GsSearchFileTest, WalkAbandonedHalfwayStartsAgainCleanly)
{
    const std::multiset<std::string> all = {
        Make("a.txt"),
        Make("b.txt"),
        Make("deep\\er\\est\\one.txt"),
        Make("deep\\er\\est\\two.txt"),
        Make("deep\\er\\three.txt"),
        Make("side\\four.txt"),
        Make("side\\five.txt"),
    };
    search->SetDirectory(root.c_str());
    const long handlesBefore = OpenHandles();
    ASSERT_GT(handlesBefore, 0) << "the system's handle table cannot be read";

    // Walk until a file inside a subdirectory has come: the walk is then inside that subtree.
    Found f;
    int steps = 0;
    do
    {
        ASSERT_EQ(1, search->FindNextRecursive(f.name, f.directory, f.path));
    } while (f.directory == root && ++steps < 10);
    ASSERT_NE(root, f.directory);
    EXPECT_GT(OpenHandles(), handlesBefore + 1) << "one find handle per level walked";

    search->EndFind();
    EXPECT_EQ(handlesBefore, OpenHandles()) << "every level of the abandoned walk is released";

    // The next walk is a whole walk of its own: nothing of the abandoned one shows again.
    const std::vector<Found> again = CollectTree(search.Get());
    EXPECT_EQ(all, Paths(again));
    ExpectConsistent(again);
    ExpectSubtreesContiguous(again, root);
    EXPECT_EQ(handlesBefore, OpenHandles());
}

TEST_F(GsSearchFileTest, JapaneseNamesWithBackslashTrailBytes)
{
    ASSERT_EQ(932u, GetACP()) << "run under the Japanese locale (LC_ALL=ja_JP.UTF-8)";
    ASSERT_STREQ("\x83\x5C\x95\x5C", "ソ表") << "sources must be compiled to code page 932";
    // "ソ" ends in the byte 0x5C: a byte-wise test would take it for a trailing backslash.
    const std::string inner = root + "\\ソ";
    const std::string file = Make("ソ\\表.txt");
    const std::string deeper = Make("ソ\\ソフト\\予定表.txt");

    search->SetDirectory(inner.c_str());
    std::string name;
    std::string path;
    ASSERT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ("表.txt", name);
    EXPECT_EQ(file, path);
    search->EndFind();

    const std::vector<Found> found = CollectTree(search.Get());
    EXPECT_EQ((std::multiset<std::string>{file, deeper}), Paths(found));
    ExpectConsistent(found);

    search->SetDirectory((inner + "\\").c_str());
    ASSERT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ(file, path) << "a real trailing backslash after ソ is still dropped";
}

TEST(GsSearchFileLifeTest, ReleasingAWalkInsideATreeClosesEveryLevel)
{
    gstest::ScratchFolder scratch("searchlife");
    ASSERT_FALSE(scratch.MakeFolder("a\\b\\c").empty());
    ASSERT_TRUE(MakeFile(scratch.GetPath() + "\\a\\b\\c\\1.txt"));
    ASSERT_TRUE(MakeFile(scratch.GetPath() + "\\a\\b\\c\\2.txt"));
    const long handlesBefore = OpenHandles();
    ASSERT_GT(handlesBefore, 0) << "the system's handle table cannot be read";
    {
        GsComponentHolder<IGsSearchFile> search(IID_IGsSearchFile);
        ASSERT_NE(nullptr, search.Get());
        search->SetDirectory(scratch.GetPath().c_str());
        std::string name;
        std::string directory;
        std::string path;
        ASSERT_EQ(1, search->FindNextRecursive(name, directory, path));
        EXPECT_EQ(scratch.GetPath() + "\\a\\b\\c", directory);
    }
    EXPECT_EQ(handlesBefore, OpenHandles());
}

} // namespace
