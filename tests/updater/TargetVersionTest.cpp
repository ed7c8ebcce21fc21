// The version check over real files (the sample releases, copies given version resources made
// to measure), and where its DLLs come from.

#include "TargetVersion.h"
#include "GsTestFiles.h"
#include "PeTestImage.h"
#include "SystemLibrary.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

// First (the restriction lasts): a DLL planted in the current folder is never taken.
TEST(SystemLibraryTest, OnlyTheSystemFolderIsSearched)
{
    gstest::ScratchFolder scratch("planted");
    ASSERT_TRUE(updtest::CopyTo(updtest::PlantedLibrary(), scratch.GetPath() + "\\gsplanted.dll"));
    char previous[MAX_PATH] = {}, system[MAX_PATH] = {}, found[MAX_PATH] = {};
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, previous));
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.GetPath().c_str()));
    HMODULE planted = LoadLibraryA("gsplanted.dll");
    ASSERT_NE(nullptr, planted) << "before the restriction the planted DLL is found";
    FreeLibrary(planted);
    EXPECT_EQ(1, GsRestrictDllSearch()) << "SetDefaultDllDirectories is available";
    EXPECT_EQ(nullptr, LoadLibraryA("gsplanted.dll"));
    EXPECT_EQ(nullptr, GsLoadSystemLibrary("gsplanted.dll")) << "not in the system folder";
    SetCurrentDirectoryA(previous);
    ASSERT_NE(0u, GetModuleFileNameA(GsLoadSystemLibrary("version.dll"), found, MAX_PATH));
    EXPECT_EQ(0, lstrcmpiA((std::string(system) + "\\version.dll").c_str(), found)) << found;
}

namespace
{

using petest::Bytes;

// A string table "llllcccc|Name=value|..." (D, V, N, S: FileDescription, ProductVersion,
// ProductName, SpecialBuild); a '^' ends the value's declared length early, its text going on.
Bytes Table(const std::u16string& text)
{
    std::vector<Bytes> strings;
    for (std::size_t at = text.find(u'|'), end; at != std::u16string::npos; at = end)
    {
        end = text.find(u'|', at + 1);
        const std::u16string name = text.substr(at + 1, text.find(u'=', at) - at - 1);
        std::u16string value = text.substr(at + name.size() + 2, end - at - name.size() - 2);
        const std::size_t declared = std::min(value.find(u'^'), value.size() + 1);
        value.erase(std::remove(value.begin(), value.end(), u'^'), value.end());
        const std::u16string key = name == u"D"   ? u"FileDescription"
                                   : name == u"V" ? u"ProductVersion"
                                   : name == u"N" ? u"ProductName"
                                   : name == u"S" ? u"SpecialBuild"
                                                  : name;
        strings.push_back(petest::Node(key, petest::Utf16(value + u'\0'), declared, true, {}));
    }
    return petest::Node(text.substr(0, 8), {}, 0, true, strings);
}

// A version resource with the Translation entries and string tables (none: no such block).
Bytes Version(const std::vector<DWORD>& translations, const std::vector<std::u16string>& tables)
{
    const auto* entries = reinterpret_cast<const unsigned char*>(translations.data());
    const Bytes translation(entries, entries + 4 * translations.size());
    const Bytes fixed = {0xBD, 0x04, 0xEF, 0xFE, 0, 0, 1, 0}; // signature, structure 1.0
    std::vector<Bytes> parts, strings;
    for (const std::u16string& table : tables)
        strings.push_back(Table(table));
    if (!tables.empty())
        parts.push_back(petest::Node(u"StringFileInfo", {}, 0, true, strings));
    if (!translations.empty())
        parts.push_back(petest::Node(
            u"VarFileInfo", {}, 0, true,
            {petest::Node(u"Translation", translation, 4 * translations.size(), false, {})}));
    return petest::Node(u"VS_VERSION_INFO", fixed, 8, false, parts);
}

constexpr DWORD JP = MAKELONG(0x0411, 932);
const int OK = UPDATE_ELIGIBLE, DONE = UPDATE_ALREADY_DONE, WRONG = UPDATE_WRONG_FILE;
const std::u16string J = u"041103a4", D = u"|D=ラークスパーグリーム", V0 = u"|V=1, 0, 0, 0";
const std::u16string TAGS = u"|N=QX20050721a|S=QX20050721a", OLD = D + V0 + TAGS;
const std::u16string NEW = D + u"|V=1, 0, 0, 1|N=Larkspurgleam";

struct VersionCase
{
    const char* name;
    std::vector<DWORD> translations; // none: no VarFileInfo
    std::vector<std::u16string> tables;
    int verdict;
};

// clang-format off
const std::vector<VersionCase> CASES = {
    {"eligible", {JP}, {J + OLD}, OK},
    {"updated, any build", {JP}, {J + NEW + u"|S=x"}, DONE},
    {"new name, old version", {JP}, {J + D + V0 + u"|N=Larkspurgleam|S=QX20050721a"}, WRONG},
    {"old name, new version", {JP}, {J + D + u"|V=1, 0, 0, 1" + TAGS}, WRONG},
    {"no build tag", {JP}, {J + D + V0 + u"|N=QX20050721a"}, WRONG},
    {"a later version", {JP}, {J + D + u"|V=1, 0, 0, 2|N=Larkspurgleam"}, WRONG},
    {"no description", {JP}, {J + V0 + TAGS}, WRONG},
    {"letter case", {JP}, {J + D + u"|V=1, 0, 0, 1|N=lARKSPURGLEAM"}, DONE},
    // "ク" is 83 4E and "ハ" 83 6E: folding a second byte as a letter would match them.
    {"second byte is no letter", {JP}, {J + u"|D=ラーハスパーグリーム" + V0 + TAGS}, WRONG},
    {"letter case of the tag", {JP}, {J + D + V0 + u"|N=qx20050721A|S=Qx20050721a"}, OK},
    {"declared length ends before the text", {JP}, {J + D + u"|V=1, 0, 0, 0^9" + TAGS}, OK},
    {"table under another pair", {JP}, {u"040904b0" + OLD}, OK},
    // Code page 1200 (04b0) before 1252 (04e4), whatever the languages; then 0409 before 0411.
    {"code page first", {JP}, {u"040104e4" + NEW, u"041004b0" + OLD}, OK},
    {"then language", {JP}, {u"041104b0" + OLD, u"040904b0" + NEW}, DONE},
    {"first translation first", {MAKELONG(0x0411, 1252), JP},
     {u"040904b0" + NEW, u"041104e4" + OLD}, OK},
    {"only the first translation", {MAKELONG(0x0422, 1200), MAKELONG(0x0411, 1252)},
     {u"040904b0" + NEW, u"041104e4" + OLD}, DONE},
    {"each value on its own", {JP}, {J + D + V0, u"040904b0" + TAGS}, OK},
    // Ukrainian (0422) is not among the searched languages.
    {"unsearched pair", {JP}, {u"042204b0" + OLD}, WRONG},
    {"unsearched pair named by the translation", {MAKELONG(0x0422, 1200)}, {u"042204b0" + OLD}, OK},
    {"no StringFileInfo", {JP}, {}, WRONG},
    {"no Translation", {}, {J + OLD}, WRONG},
};
// clang-format on

class TargetVersionTest : public testing::Test
{
protected:
    // A copy of the version carrier with `version` as its only resource.
    std::string Make(const Bytes& version)
    {
        const std::string path = scratch.GetPath() + "\\case" + std::to_string(++made) + ".exe";
        EXPECT_TRUE(updtest::CopyTo(updtest::VersionCarrier(), path));
        EXPECT_TRUE(updtest::WriteResources(
            path, {{RT_VERSION, MAKEINTRESOURCEA(1), 1041, version}}, true));
        return path;
    }

    gstest::ScratchFolder scratch{"version"};
    int made = 0;
};

TEST_F(TargetVersionTest, VerdictForEachFile)
{
    ASSERT_EQ(932u, GetACP());
    const std::string japanese = scratch.MakeFolder("ソフト\\表") + "\\Larkspurgleam.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), japanese));
    std::vector<std::tuple<std::string, std::string, int>> files = {
        // name, path, verdict
        {"old release", updtest::OldRelease(), OK},
        {"new release", updtest::NewRelease(), DONE},
        {"in a Japanese folder", japanese, OK},
        {"no resources", updtest::VersionCarrier(), WRONG},
        {"missing", scratch.GetPath() + "\\missing.exe", WRONG},
        {"empty path", "", WRONG},
    };
    for (const VersionCase& row : CASES)
        files.emplace_back(row.name, Make(Version(row.translations, row.tables)), row.verdict);
    for (const auto& [name, path, verdict] : files)
        EXPECT_EQ(verdict, CheckTargetVersion(path.c_str())) << name;
}

TEST_F(TargetVersionTest, QueryGivesCodePage932CutToTheLimit)
{
    const std::string path =
        Make(Version({JP}, {J + D + u"|N=Caf\x00E9 \x0416|Comments=" + std::u16string(300, u'A'),
                            u"040904b0|PrivateBuild=found by the search"}));
    VersionBlock block;
    const DWORD* translation = nullptr;
    ASSERT_EQ(1, LoadVersionInfo(path.c_str(), block, &translation));
    ASSERT_EQ(JP, *translation);
    // clang-format off
    const std::tuple<const char*, int, int, std::string> cases[] = { // name, limit, result, value
        {"FileDescription", 255, 1, "ラークスパーグリーム"}, // the compiler writes code page 932
        {"ProductName", 255, 1, "Caf? \x84\x47"}, // no look-alike: "é" must not match an "e"
        {"Comments", 255, 1, std::string(255, 'A')}, {"Comments", 0, 1, ""},
        {"PrivateBuild", 255, 1, "found by the search"}, {"InternalName", 255, 0, ""}};
    // clang-format on
    for (const auto& [name, maxLength, result, value] : cases)
    {
        char output[VERSION_VALUE_MAX + 1 + 16];
        std::memset(output, 0x7E, sizeof output);
        EXPECT_EQ(result, QueryVersionString(output, block, JP, name, maxLength)) << name;
        // The value, its NUL, and nothing written past them.
        EXPECT_EQ(value + '\0' + std::string(sizeof output - value.size() - 1, '\x7E'),
                  std::string(output, sizeof output))
            << name;
    }
}

} // namespace
