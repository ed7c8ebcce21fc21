// Where the updater's DLLs come from. A DLL planted in the program's folder or in the current
// folder under a name that the program loads must never be taken. Runs in a process of its
// own: restricting the DLL search cannot be undone.

#include "SystemLibrary.h"
#include "GsTestFiles.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace
{

std::string Lower(std::string text)
{
    for (char& c : text)
    {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string ModuleFolder(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    std::string folder = path;
    const std::string::size_type last = folder.rfind('\\');
    return Lower(last == std::string::npos ? folder : folder.substr(0, last));
}

TEST(SystemLibraryTest, RestrictedSearchNoLongerFindsAPlantedDll)
{
    gstest::ScratchFolder scratch("planted");
    ASSERT_FALSE(scratch.GetPath().empty());
    ASSERT_TRUE(updtest::CopyTo(updtest::PlantedLibrary(), scratch.GetPath() + "\\gsplanted.dll"));
    char previous[MAX_PATH] = {};
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.GetPath().c_str()));

    // Before: the DLL in the current folder is found by its name.
    HMODULE planted = LoadLibraryA("gsplanted.dll");
    ASSERT_NE(nullptr, planted)
        << "the planted DLL must be loadable for this test to mean anything";
    FreeLibrary(planted);

    EXPECT_EQ(1, GsRestrictDllSearch()) << "SetDefaultDllDirectories is available";
    EXPECT_EQ(1, GsRestrictDllSearch()) << "a second call changes nothing";
    EXPECT_EQ(nullptr, LoadLibraryA("gsplanted.dll"));
    EXPECT_EQ(nullptr, GsLoadSystemLibrary("gsplanted.dll")) << "not in the system folder";
    SetCurrentDirectoryA(previous);
}

TEST(SystemLibraryTest, SystemLibrariesComeFromTheSystemFolder)
{
    char system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    for (const char* name : {"version.dll", "comctl32.dll"})
    {
        HMODULE module = GsLoadSystemLibrary(name);
        ASSERT_NE(nullptr, module) << name;
        EXPECT_EQ(Lower(system), ModuleFolder(module)) << name;
    }
    EXPECT_EQ(nullptr, GsLoadSystemLibrary(""));
    EXPECT_EQ(nullptr, GsLoadSystemLibrary(nullptr));
    EXPECT_EQ(nullptr, GsLoadSystemLibrary(std::string(300, 'x').c_str())) << "does not fit";
}

} // namespace
