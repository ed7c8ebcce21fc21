// The version check over real files: copies of a small program given version resources made
// to measure, the sample releases, and the wine installation's own DLLs. The publisher's
// program-file reader must see, on every one of them, what the version API sees.

#include "TargetVersion.h"
#include "CodePage932.h"
#include "GsTestFiles.h"
#include "PeVersionReader.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace
{

using updtest::ReleaseValues;
using updtest::VersionResource;

const std::wstring NAME = L"ラークスパーグリーム";
const std::wstring TAG = L"QX20050721a";
const VersionResource::Values ELIGIBLE = ReleaseValues(NAME, L"1, 0, 0, 0", TAG, TAG);
const VersionResource::Values UPDATED = ReleaseValues(NAME, L"1, 0, 0, 1", L"Larkspurgleam", L"");

// A file with the four values under the Japanese/Shift-JIS table its Translation names.
VersionResource Japanese(const std::wstring& description, const std::wstring& version,
                         const std::wstring& productName, const std::wstring& specialBuild)
{
    return VersionResource()
        .Translation(0x0411, 932)
        .Table(L"041103a4", ReleaseValues(description, version, productName, specialBuild));
}

struct VerdictCase
{
    const char* name;
    VersionResource version;
    int verdict;
};

const std::vector<VerdictCase>& VerdictCases()
{
    static const std::vector<VerdictCase> cases = {
        {"updated, any build", Japanese(NAME, L"1, 0, 0, 1", L"Larkspurgleam", L"x"),
         UPDATE_ALREADY_DONE},
        {"eligible", Japanese(NAME, L"1, 0, 0, 0", TAG, TAG), UPDATE_ELIGIBLE},
        {"new name, old version", Japanese(NAME, L"1, 0, 0, 0", L"Larkspurgleam", TAG),
         UPDATE_WRONG_FILE},
        {"old name, new version", Japanese(NAME, L"1, 0, 0, 1", TAG, TAG), UPDATE_WRONG_FILE},
        {"no build tag", Japanese(NAME, L"1, 0, 0, 0", TAG, L""), UPDATE_WRONG_FILE},
        {"other build tag", Japanese(NAME, L"1, 0, 0, 0", TAG, L"QX20050721b"), UPDATE_WRONG_FILE},
        {"a later version", Japanese(NAME, L"1, 0, 0, 2", L"Larkspurgleam", L""),
         UPDATE_WRONG_FILE},
        {"ASCII description", Japanese(L"Larkspurgleam", L"1, 0, 0, 0", TAG, TAG),
         UPDATE_WRONG_FILE},
        {"letter case", Japanese(NAME, L"1, 0, 0, 1", L"lARKSPURGLEAM", L""), UPDATE_ALREADY_DONE},
        {"letter case of the tag", Japanese(NAME, L"1, 0, 0, 0", L"qx20050721A", L"Qx20050721a"),
         UPDATE_ELIGIBLE},
        {"version without blanks", Japanese(NAME, L"1,0,0,0", TAG, TAG), UPDATE_WRONG_FILE},
        {"version with a trailing blank", Japanese(NAME, L"1, 0, 0, 1 ", L"Larkspurgleam", L""),
         UPDATE_WRONG_FILE},
        // "ク" is 83 4E and "ハ" 83 6E: folding a second byte as a letter would match them.
        {"second byte is no letter", Japanese(L"ラーハスパーグリーム", L"1, 0, 0, 0", TAG, TAG),
         UPDATE_WRONG_FILE},
        {"half-width name", Japanese(L"ﾗｰｸｽﾊﾟｰｸﾞﾘｰﾑ", L"1, 0, 0, 0", TAG, TAG), UPDATE_WRONG_FILE},
        {"no description",
         VersionResource()
             .Translation(0x0411, 932)
             .Table(L"041103a4", {{L"ProductVersion", L"1, 0, 0, 0"},
                                  {L"ProductName", TAG},
                                  {L"SpecialBuild", TAG}}),
         UPDATE_WRONG_FILE},
        {"table under another pair",
         VersionResource().Translation(0x0411, 932).Table(L"040904b0", ELIGIBLE), UPDATE_ELIGIBLE},
        // Code page 1200 (04b0) before 1252 (04e4), whatever the languages; within one code
        // page, 0409 before 0411.
        {"code page first",
         VersionResource()
             .Translation(0x0411, 932)
             .Table(L"040104e4", UPDATED)
             .Table(L"041004b0", ELIGIBLE),
         UPDATE_ELIGIBLE},
        {"then language",
         VersionResource()
             .Translation(0x0411, 932)
             .Table(L"041104b0", ELIGIBLE)
             .Table(L"040904b0", UPDATED),
         UPDATE_ALREADY_DONE},
        {"first translation before the search",
         VersionResource()
             .Translation(0x0411, 1252)
             .Translation(0x0409, 1200)
             .Table(L"040904b0", UPDATED)
             .Table(L"041104e4", ELIGIBLE),
         UPDATE_ELIGIBLE},
        {"only the first translation",
         VersionResource()
             .Translation(0x0422, 1200)
             .Translation(0x0411, 1252)
             .Table(L"040904b0", UPDATED)
             .Table(L"041104e4", ELIGIBLE),
         UPDATE_ALREADY_DONE},
        {"each value searched on its own",
         VersionResource()
             .Translation(0x0411, 932)
             .Table(L"041103a4", {{L"FileDescription", NAME}, {L"ProductVersion", L"1, 0, 0, 0"}})
             .Table(L"040904b0", {{L"ProductName", TAG}, {L"SpecialBuild", TAG}}),
         UPDATE_ELIGIBLE},
        // Ukrainian (0422) is not among the searched languages.
        {"unsearched pair", VersionResource().Translation(0x0411, 932).Table(L"042204b0", ELIGIBLE),
         UPDATE_WRONG_FILE},
        {"unsearched pair named by the translation",
         VersionResource().Translation(0x0422, 1200).Table(L"042204b0", ELIGIBLE), UPDATE_ELIGIBLE},
        {"no StringFileInfo", VersionResource().Translation(0x0411, 932), UPDATE_WRONG_FILE},
        {"no Translation", VersionResource().WithoutVarFileInfo().Table(L"041103a4", ELIGIBLE),
         UPDATE_WRONG_FILE},
    };
    return cases;
}

class CheckTargetVersionTest : public testing::Test
{
protected:
    std::string Make(const VersionResource& version)
    {
        const std::string path = scratch.GetPath() + "\\case" + std::to_string(++files) + ".exe";
        EXPECT_TRUE(updtest::MakeVersionedFile(path, version)) << path;
        return path;
    }

    gstest::ScratchFolder scratch{"version"};
    int files = 0;
};

TEST_F(CheckTargetVersionTest, VerdictForEachVersionResource)
{
    for (const VerdictCase& row : VerdictCases())
    {
        EXPECT_EQ(row.verdict, CheckTargetVersion(Make(row.version).c_str())) << row.name;
    }
}

TEST_F(CheckTargetVersionTest, FilesThatAreNoReleaseAreTheWrongFile)
{
    ASSERT_EQ(932u, GetACP());
    // "表" ends in the byte 0x5C.
    const std::string japanese = scratch.MakeFolder("ソフト\\表") + "\\Larkspurgleam.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), japanese));
    const std::string text = scratch.GetPath() + "\\notes.txt";
    ASSERT_TRUE(updtest::WriteAll(text, "not a program"));
    char system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    const struct
    {
        std::string path;
        int verdict;
    } cases[] = {
        {updtest::OldRelease(), UPDATE_ELIGIBLE},
        {updtest::NewRelease(), UPDATE_ALREADY_DONE},
        {japanese, UPDATE_ELIGIBLE},
        {updtest::VersionCarrier(), UPDATE_WRONG_FILE},
        {text, UPDATE_WRONG_FILE},
        {scratch.GetPath() + "\\missing.exe", UPDATE_WRONG_FILE},
        {scratch.GetPath(), UPDATE_WRONG_FILE},
        {"", UPDATE_WRONG_FILE},
        {std::string(system) + "\\kernel32.dll", UPDATE_WRONG_FILE},
        {std::string(system) + "\\version.dll", UPDATE_WRONG_FILE},
    };
    for (const auto& row : cases)
    {
        EXPECT_EQ(row.verdict, CheckTargetVersion(row.path.c_str())) << row.path;
    }
}

// The publisher's tool reads releases with its own reader, on Linux: on every file above it
// must find what the version API finds, value for value.
TEST_F(CheckTargetVersionTest, ProgramFileReaderSeesWhatTheVersionApiSees)
{
    std::vector<std::string> paths = {updtest::OldRelease(), updtest::NewRelease(),
                                      updtest::VersionCarrier(), updtest::UpdaterProgram()};
    for (const VerdictCase& row : VerdictCases())
    {
        paths.push_back(Make(row.version));
    }
    paths.push_back(Make(VersionResource()
                             .Translation(0x0411, 932)
                             .Table(L"041103a4", ReleaseValues(L"ラーク\u00e9", L"9", L"", L""))));
    char system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    for (const char* name : {"kernel32.dll", "user32.dll", "version.dll", "comctl32.dll"})
    {
        paths.push_back(std::string(system) + "\\" + name);
    }
    for (const std::string& path : paths)
    {
        TargetVersionStrings api;
        const int readable = ReadTargetVersion(path.c_str(), api);
        const std::string bytes = updtest::ReadAll(path);
        PeVersion version;
        const PeResult result = ReadPeVersion(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              bytes.size(), version);
        ASSERT_EQ(readable == 1, result == PE_OK) << path << ": " << DescribePeResult(result);
        const char* apiValues[] = {api.fileDescription, api.productVersion, api.productName,
                                   api.specialBuild};
        const std::u16string* readerValues[] = {
            &version.strings.fileDescription, &version.strings.productVersion,
            &version.strings.productName, &version.strings.specialBuild};
        for (int i = 0; i < 4 && result == PE_OK; ++i)
        {
            std::string converted = Utf16ToCp932(*readerValues[i]);
            converted.resize(std::min<std::size_t>(converted.size(), VERSION_VALUE_MAX));
            EXPECT_EQ(std::string(apiValues[i]), converted) << path << " value " << i;
        }
    }
}

TEST_F(CheckTargetVersionTest, QueryGivesCodePage932CutToTheLimit)
{
    const std::string path =
        Make(VersionResource()
                 .Translation(0x0411, 932)
                 .Table(L"041103a4", {{L"FileDescription", NAME},
                                      {L"ProductName", L"Caf\x00E9 \x0416"},
                                      {L"Comments", std::wstring(300, L'A')},
                                      {L"LegalCopyright", std::wstring(200, L'ア')},
                                      {L"SpecialBuild", L""}})
                 .Table(L"040904b0", {{L"PrivateBuild", L"found by the search"}}));
    VersionBlock block;
    const DWORD* translation = nullptr;
    ASSERT_EQ(1, LoadVersionInfo(path.c_str(), block, &translation));
    ASSERT_EQ(static_cast<DWORD>(MAKELONG(0x0411, 932)), *translation);
    std::string katakana;
    for (int i = 0; i < 128; ++i)
    {
        katakana += "ア";
    }
    const struct
    {
        const char* name;
        int maxLength;
        int result;
        std::string value;
    } cases[] = {
        {"FileDescription", VERSION_VALUE_MAX, 1,
         "\x83\x89\x81\x5B\x83\x4E\x83\x58\x83\x70\x81\x5B\x83\x4F\x83\x8A\x81\x5B\x83\x80"},
        // No look-alike: "é" must not become "e" and so match an ASCII name.
        {"ProductName", VERSION_VALUE_MAX, 1, "Caf? \x84\x47"},
        {"Comments", VERSION_VALUE_MAX, 1, std::string(255, 'A')},
        {"LegalCopyright", VERSION_VALUE_MAX, 1, katakana.substr(0, 255)},
        {"Comments", 10, 1, std::string(10, 'A')},
        {"Comments", 0, 1, ""},
        {"SpecialBuild", VERSION_VALUE_MAX, 1, ""},
        {"PrivateBuild", VERSION_VALUE_MAX, 1, "found by the search"},
        {"InternalName", VERSION_VALUE_MAX, 0, ""},
    };
    for (const auto& row : cases)
    {
        char output[VERSION_VALUE_MAX + 1 + 16];
        std::memset(output, 0x7E, sizeof output);
        EXPECT_EQ(row.result,
                  QueryVersionString(output, block, *translation, row.name, row.maxLength))
            << row.name;
        EXPECT_EQ(row.value, output) << row.name;
        EXPECT_EQ(std::string(sizeof output - row.value.size() - 1, '\x7E'),
                  std::string(output + row.value.size() + 1, output + sizeof output))
            << row.name << ": written past the value";
    }
}

TEST(VersionTextEqualsTest, LettersFoldAndEverythingElseIsExact)
{
    const std::string base(255, 'x');
    const struct
    {
        std::string value, expected;
        int equal;
    } cases[] = {
        {"Larkspurgleam", "lARKSPURGLEAM", 1},
        {"", "", 1},
        {"Larkspurgleam", "Larkspurgleam ", 0},
        {"Larkspurglea", "Larkspurgleam", 0},
        {"1, 0, 0, 0", "1; 0; 0; 0", 0},
        // '[' (5B) and '{' (7B) differ by the case bit but are no letters.
        {"[", "{", 0},
        {"@", "`", 0},
        {"ラークスパーグリーム", "ラークスパーグリーム", 1},
        {"\x83\x4E", "\x83\x6E", 0}, // ク, ハ
        {"\x83\x41", "\x83\x61", 0}, // ア, チ
        {"\x83\x41"
         "a",
         "\x83\x41"
         "A",
         1},
        // Only the first 255 bytes are compared.
        {base + "a", base + "b", 1},
        {base + "long tail", base, 1},
        {base.substr(1) + "a", base.substr(1) + "b", 0},
    };
    for (const auto& row : cases)
    {
        EXPECT_EQ(row.equal, VersionTextEquals(row.value.c_str(), row.expected.c_str()))
            << row.value << " / " << row.expected;
    }
}

} // namespace
