// File search on one scratch tree, the way a program walks it: a component from the factory, a
// directory and a pattern, then find calls until 0.
#include "GsSearchFile.h"
#include "GsComponentHolder.h"
#include "GsComponentIds.h"
#include "GsTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

struct Found
{
    std::string name, directory, path;
};

class GsSearchFileTest : public ::testing::Test
{
protected:
    // The tree every case searches, made once: files at three depths, an empty folder, a
    // folder whose name matches *.exe, and Japanese names whose second byte is 0x5C.
    static void SetUpTestSuite()
    {
        scratch = new gstest::ScratchFolder("search");
        root = scratch->GetPath();
        for (const char* file :
             {"a.txt", "setup.exe", "sub\\b.txt", "sub\\in\\c.txt", "sub\\in\\d.dat",
              "tools.exe\\inner.exe", "plain\\hidden.exe", "ソ\\表.txt", "ソ\\ソフト\\予定表.txt"})
        {
            const std::string relative = file;
            const auto slash = relative.rfind('\\');
            if (slash != std::string::npos)
                scratch->MakeFolder(relative.substr(0, slash));
            std::ofstream(root + "\\" + relative) << "x";
        }
        scratch->MakeFolder("empty");
        SetFileAttributesA((root + "\\a.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
        SetFileAttributesA((root + "\\setup.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    static void TearDownTestSuite()
    {
        SetFileAttributesA((root + "\\setup.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
        delete scratch;
    }

    std::vector<Found> Collect(bool recursive)
    {
        std::vector<Found> found;
        Found next;
        // Bounded: a search that never ends fails the test instead of hanging it.
        while (found.size() < 100 &&
               (recursive ? search->FindNextRecursive(next.name, next.directory, next.path)
                          : search->FindNext(next.name, next.path)))
        {
            found.push_back(next);
        }
        return found;
    }
    static std::set<std::string> Paths(const std::vector<Found>& found)
    {
        std::set<std::string> paths;
        for (const Found& f : found)
            paths.insert(f.path);
        return paths;
    }

    static gstest::ScratchFolder* scratch;
    static std::string root;
    GsComponentHolder<IGsSearchFile> search{IID_IGsSearchFile};
};

gstest::ScratchFolder* GsSearchFileTest::scratch = nullptr;
std::string GsSearchFileTest::root;

TEST_F(GsSearchFileTest, PatternsDecideWhatIsDeliveredAndWhichFoldersAreEntered)
{
    const struct
    {
        const char* directory; // below the root
        const char* base;
        const char* extension;
        bool recursive;
        std::set<std::string> paths; // below the root
    } rows[] = {
        {"", "*", "*", false, {"a.txt", "setup.exe"}}, // hidden and read-only files too
        {"\\sub", "*", "txt", true, {"sub\\b.txt"}},   // "in" does not match *.txt
        {"\\sub", "*", "*", true, {"sub\\b.txt", "sub\\in\\c.txt", "sub\\in\\d.dat"}},
        {"", "*", "exe", true, {"setup.exe", "tools.exe\\inner.exe"}}, // "plain" not entered
        {"", "a", "*", false, {"a.txt"}},
        {"\\empty", "*", "*", true, {}},
        {"\\missing", "*", "*", true, {}},
        {"\\ソ", "*", "*", false, {"ソ\\表.txt"}},
        {"\\ソ\\", "*", "*", true, {"ソ\\表.txt", "ソ\\ソフト\\予定表.txt"}},
    };
    for (const auto& row : rows)
    {
        search->SetDirectory((root + row.directory).c_str());
        search->SetBaseName(row.base);
        search->SetExtension(row.extension);
        const std::vector<Found> found = Collect(row.recursive);
        std::set<std::string> expected;
        for (const std::string& path : row.paths)
            expected.insert(root + "\\" + path);
        EXPECT_EQ(expected, Paths(found)) << row.directory << " " << row.extension;
        EXPECT_EQ(row.paths.size(), found.size()) << "each file once";
        for (const Found& f : found)
        {
            EXPECT_EQ((row.recursive ? f.directory : root + row.directory) + "\\" + f.name, f.path)
                << row.directory;
        }
        // The 0 closed the search; the next call starts again from the first file.
        EXPECT_EQ(found.size(), Collect(row.recursive).size()) << row.directory;
    }
}

TEST_F(GsSearchFileTest, TreeWalkIsDepthFirstAndAbandonedWalksStartAgain)
{
    search->SetDirectory(root.c_str());
    const std::vector<Found> all = Collect(true);
    ASSERT_EQ(9u, all.size());
    // Each subdirectory is walked completely when it is met: its files arrive in one run.
    std::map<std::string, std::vector<std::size_t>> runs;
    for (std::size_t i = 0; i < all.size(); ++i)
    {
        for (std::string d = all[i].directory; d.size() > root.size(); d.erase(d.rfind('\\')))
            runs[d].push_back(i);
    }
    for (const auto& run : runs)
    {
        EXPECT_EQ(run.second.size() - 1, run.second.back() - run.second.front()) << run.first;
    }

    // Abandoned inside a subtree, the next walk is a whole walk of its own.
    Found f;
    while (search->FindNextRecursive(f.name, f.directory, f.path) && f.directory == root)
    {
    }
    ASSERT_NE(root, f.directory);
    search->EndFind();
    EXPECT_EQ(Paths(all), Paths(Collect(true)));

    // The buffer forms copy what the string forms deliver; nothing is written on 0.
    char name[MAX_PATH];
    char directory[2 * MAX_PATH];
    char path[2 * MAX_PATH];
    std::set<std::string> delivered;
    while (search->FindNextRecursiveToBuffer(name, directory, path) && delivered.size() < 20)
    {
        EXPECT_EQ(std::string(directory) + "\\" + name, path);
        delivered.insert(path);
    }
    EXPECT_EQ(Paths(all), delivered);
    std::memset(name, 'n', sizeof name);
    search->SetDirectory((root + "\\sub\\in").c_str());
    search->SetExtension("dat");
    ASSERT_EQ(1, search->FindNextToBuffer(name, nullptr));
    EXPECT_STREQ("d.dat", name);
    std::memset(name, 'n', sizeof name);
    std::memset(path, 'p', sizeof path);
    EXPECT_EQ(0, search->FindNextToBuffer(name, path));
    EXPECT_EQ('n', name[0]);
    EXPECT_EQ('p', path[0]);
}

TEST_F(GsSearchFileTest, TrailingBackslashAndTheCurrentDrivesRoot)
{
    std::string name;
    std::string path;
    // Two trailing backslashes keep one, which the delivered path shows.
    search->SetDirectory((root + "\\sub\\\\").c_str());
    ASSERT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ(root + "\\sub\\\\b.txt", path);
    search->EndFind();

    // Without a directory: the root of the current drive, also given as "C:" or "C:\".
    const std::string marker = "gs_search_" + std::to_string(GetCurrentProcessId());
    const std::string drive = root.substr(0, 2);
    const std::string markerPath = drive + "\\" + marker + ".tmp";
    std::ofstream(markerPath) << "x";
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(root.c_str());
    GsComponentHolder<IGsSearchFile> fresh(IID_IGsSearchFile);
    fresh->SetBaseName(marker.c_str());
    fresh->SetExtension("tmp");
    EXPECT_EQ(1, fresh->FindNext(name, path));
    EXPECT_EQ("\\" + marker + ".tmp", path);
    fresh->EndFind();
    for (const std::string& given : {drive, drive + "\\"})
    {
        fresh->SetDirectory(given.c_str());
        EXPECT_EQ(1, fresh->FindNext(name, path)) << given;
        EXPECT_EQ(markerPath, path) << given;
        fresh->EndFind();
    }
    SetCurrentDirectoryA(previous);
    DeleteFileA(markerPath.c_str());
}

} // namespace
