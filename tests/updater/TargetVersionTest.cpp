// The version check over real files: copies of a small program given version resources made
// to measure, the sample releases, and the wine installation's own DLLs.

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

const std::wstring DESCRIPTION = L"ラークスパーグリーム";
const std::wstring BUILD_TAG = L"QX20050721a";

class CheckTargetVersionTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(scratch.GetPath().empty()); }

    // The verdict for a file carrying `version`.
    int Verdict(const VersionResource& version)
    {
        const std::string path = scratch.GetPath() + "\\case" + std::to_string(++files) + ".exe";
        if (!updtest::MakeVersionedFile(path, version))
        {
            ADD_FAILURE() << "cannot make " << path;
            return 99;
        }
        return CheckTargetVersion(path.c_str());
    }

    // The verdict for the four values under the Japanese/Shift-JIS table that the
    // Translation entry names.
    int Verdict(const std::wstring& description, const std::wstring& version,
                const std::wstring& productName, const std::wstring& specialBuild)
    {
        return Verdict(VersionResource()
                           .Translation(0x0411, 932)
                           .Table(L"041103a4",
                                  ReleaseValues(description, version, productName, specialBuild)));
    }

    gstest::ScratchFolder scratch{"version"};
    int files = 0;
};

TEST_F(CheckTargetVersionTest, SampleReleasesAreTheOldAndTheNewRelease)
{
    EXPECT_EQ(UPDATE_ELIGIBLE, CheckTargetVersion(updtest::OldRelease().c_str()));
    EXPECT_EQ(UPDATE_ALREADY_DONE, CheckTargetVersion(updtest::NewRelease().c_str()));
}

TEST_F(CheckTargetVersionTest, OutcomeTable)
{
    const struct
    {
        std::wstring description, version, productName, specialBuild;
        int expected;
    } rows[] = {
        {DESCRIPTION, L"1, 0, 0, 1", L"Larkspurgleam", L"anything", UPDATE_ALREADY_DONE},
        {DESCRIPTION, L"1, 0, 0, 1", L"Larkspurgleam", L"", UPDATE_ALREADY_DONE},
        {DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG, UPDATE_ELIGIBLE},
        {DESCRIPTION, L"1, 0, 0, 0", L"Larkspurgleam", BUILD_TAG, UPDATE_WRONG_FILE},
        {DESCRIPTION, L"1, 0, 0, 1", BUILD_TAG, BUILD_TAG, UPDATE_WRONG_FILE},
        {DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, L"", UPDATE_WRONG_FILE},
        {DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, L"QX20050721b", UPDATE_WRONG_FILE},
        {DESCRIPTION, L"1, 0, 0, 2", L"Larkspurgleam", L"", UPDATE_WRONG_FILE},
        {L"Larkspurgleam", L"1, 0, 0, 1", L"Larkspurgleam", L"", UPDATE_WRONG_FILE},
        {L"Larkspurgleam", L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG, UPDATE_WRONG_FILE},
        {L"", L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG, UPDATE_WRONG_FILE},
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(row.expected,
                  Verdict(row.description, row.version, row.productName, row.specialBuild))
            << "ProductVersion \"" << std::string(row.version.begin(), row.version.end())
            << "\", ProductName \"" << std::string(row.productName.begin(), row.productName.end())
            << "\"";
    }
}

TEST_F(CheckTargetVersionTest, MissingDescriptionIsTheWrongFile)
{
    EXPECT_EQ(UPDATE_WRONG_FILE,
              Verdict(VersionResource()
                          .Translation(0x0411, 932)
                          .Table(L"041103a4", {{L"ProductVersion", L"1, 0, 0, 0"},
                                               {L"ProductName", BUILD_TAG},
                                               {L"SpecialBuild", BUILD_TAG}})));
}

TEST_F(CheckTargetVersionTest, LetterCaseDoesNotMatter)
{
    EXPECT_EQ(UPDATE_ALREADY_DONE, Verdict(DESCRIPTION, L"1, 0, 0, 1", L"larkspurgleam", L""));
    EXPECT_EQ(UPDATE_ALREADY_DONE, Verdict(DESCRIPTION, L"1, 0, 0, 1", L"LARKSPURGLEAM", L""));
    EXPECT_EQ(UPDATE_ELIGIBLE, Verdict(DESCRIPTION, L"1, 0, 0, 0", L"qx20050721A", L"Qx20050721a"));
}

TEST_F(CheckTargetVersionTest, VersionsMustKeepTheirBlanks)
{
    EXPECT_EQ(UPDATE_WRONG_FILE, Verdict(DESCRIPTION, L"1,0,0,0", BUILD_TAG, BUILD_TAG));
    EXPECT_EQ(UPDATE_WRONG_FILE, Verdict(DESCRIPTION, L"1, 0, 0, 0 ", BUILD_TAG, BUILD_TAG));
    EXPECT_EQ(UPDATE_WRONG_FILE, Verdict(DESCRIPTION, L"1,0,0,1", L"Larkspurgleam", L""));
    EXPECT_EQ(UPDATE_WRONG_FILE, Verdict(DESCRIPTION, L"1, 0, 0, 1 ", L"Larkspurgleam", L""));
    EXPECT_EQ(UPDATE_WRONG_FILE, Verdict(DESCRIPTION, L"1.0.0.0", BUILD_TAG, BUILD_TAG));
}

TEST_F(CheckTargetVersionTest, SecondByteOfADoubleByteCharacterIsNotALetter)
{
    // "ク" is 83 4E and "ハ" is 83 6E: folding the second byte as a letter would match them.
    EXPECT_EQ(UPDATE_WRONG_FILE,
              Verdict(L"ラーハスパーグリーム", L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG));
    // The half-width katakana form of the name is another text altogether.
    EXPECT_EQ(UPDATE_WRONG_FILE, Verdict(L"ﾗｰｸｽﾊﾟｰｸﾞﾘｰﾑ", L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG));
}

TEST_F(CheckTargetVersionTest, StringTableUnderAnotherLanguageAndCodePageIsFound)
{
    EXPECT_EQ(UPDATE_ELIGIBLE,
              Verdict(VersionResource()
                          .Translation(0x0411, 932)
                          .Table(L"040904b0",
                                 ReleaseValues(DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG))));
}

TEST_F(CheckTargetVersionTest, SearchTakesTheFirstPairInCodePageThenLanguageOrder)
{
    const auto eligible = ReleaseValues(DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG);
    const auto updated = ReleaseValues(DESCRIPTION, L"1, 0, 0, 1", L"Larkspurgleam", L"");
    // Code page 1200 (04b0) comes before 1252 (04e4), whatever the languages.
    EXPECT_EQ(UPDATE_ELIGIBLE, Verdict(VersionResource()
                                           .Translation(0x0411, 932)
                                           .Table(L"040104e4", updated)
                                           .Table(L"041004b0", eligible)));
    // Within one code page, 0409 comes before 0411.
    EXPECT_EQ(UPDATE_ALREADY_DONE, Verdict(VersionResource()
                                               .Translation(0x0411, 932)
                                               .Table(L"041104b0", eligible)
                                               .Table(L"040904b0", updated)));
}

TEST_F(CheckTargetVersionTest, FirstTranslationEntryIsTriedBeforeTheSearch)
{
    const auto eligible = ReleaseValues(DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG);
    const auto updated = ReleaseValues(DESCRIPTION, L"1, 0, 0, 1", L"Larkspurgleam", L"");
    EXPECT_EQ(UPDATE_ELIGIBLE, Verdict(VersionResource()
                                           .Translation(0x0411, 1252)
                                           .Translation(0x0409, 1200)
                                           .Table(L"040904b0", updated)
                                           .Table(L"041104e4", eligible)));
    // Only the first entry: the second one is reached by the search, if at all.
    EXPECT_EQ(UPDATE_ALREADY_DONE, Verdict(VersionResource()
                                               .Translation(0x0422, 1200)
                                               .Translation(0x0411, 1252)
                                               .Table(L"040904b0", updated)
                                               .Table(L"041104e4", eligible)));
}

TEST_F(CheckTargetVersionTest, EachValueIsSearchedOnItsOwn)
{
    EXPECT_EQ(UPDATE_ELIGIBLE, Verdict(VersionResource()
                                           .Translation(0x0411, 932)
                                           .Table(L"041103a4", {{L"FileDescription", DESCRIPTION},
                                                                {L"ProductVersion", L"1, 0, 0, 0"}})
                                           .Table(L"040904b0", {{L"ProductName", BUILD_TAG},
                                                                {L"SpecialBuild", BUILD_TAG}})));
}

TEST_F(CheckTargetVersionTest, PairsOutsideTheTablesAreOnlyFoundThroughTheTranslation)
{
    // Ukrainian (0422) is not among the searched languages.
    const auto eligible = ReleaseValues(DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG);
    EXPECT_EQ(UPDATE_WRONG_FILE,
              Verdict(VersionResource().Translation(0x0411, 932).Table(L"042204b0", eligible)));
    EXPECT_EQ(UPDATE_ELIGIBLE,
              Verdict(VersionResource().Translation(0x0422, 1200).Table(L"042204b0", eligible)));
}

TEST_F(CheckTargetVersionTest, FilesWithoutUsableVersionInformationAreTheWrongFile)
{
    const std::string bare = scratch.GetPath() + "\\bare.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::VersionCarrier(), bare));
    EXPECT_EQ(UPDATE_WRONG_FILE, CheckTargetVersion(bare.c_str()));

    EXPECT_EQ(UPDATE_WRONG_FILE, Verdict(VersionResource().Translation(0x0411, 932)))
        << "no StringFileInfo";
    EXPECT_EQ(UPDATE_WRONG_FILE,
              Verdict(VersionResource().WithoutVarFileInfo().Table(
                  L"041103a4", ReleaseValues(DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG))))
        << "no Translation value";

    const std::string text = scratch.GetPath() + "\\notes.txt";
    ASSERT_TRUE(updtest::WriteAll(text, "not a program"));
    EXPECT_EQ(UPDATE_WRONG_FILE, CheckTargetVersion(text.c_str()));
    EXPECT_EQ(UPDATE_WRONG_FILE, CheckTargetVersion((scratch.GetPath() + "\\missing.exe").c_str()));
    EXPECT_EQ(UPDATE_WRONG_FILE, CheckTargetVersion(scratch.GetPath().c_str()));
    EXPECT_EQ(UPDATE_WRONG_FILE, CheckTargetVersion(""));
}

TEST_F(CheckTargetVersionTest, WineSystemFilesAreNotTheApplication)
{
    char system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    for (const char* name : {"kernel32.dll", "user32.dll", "version.dll", "comctl32.dll",
                             "shell32.dll", "comdlg32.dll"})
    {
        const std::string path = std::string(system) + "\\" + name;
        ASSERT_TRUE(updtest::Exists(path)) << path;
        TargetVersionStrings strings;
        EXPECT_EQ(1, ReadTargetVersion(path.c_str(), strings)) << path << " has version info";
        EXPECT_EQ(UPDATE_WRONG_FILE, CheckTargetVersion(path.c_str())) << path;
    }
}

TEST_F(CheckTargetVersionTest, JapaneseFolderNamesReachTheFile)
{
    ASSERT_EQ(932u, GetACP());
    // "表" ends in the byte 0x5C.
    const std::string folder = scratch.MakeFolder("ソフト\\表");
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "\\Larkspurgleam.exe";
    ASSERT_TRUE(updtest::CopyTo(updtest::OldRelease(), path));
    EXPECT_EQ(UPDATE_ELIGIBLE, CheckTargetVersion(path.c_str()));
}

// The publisher's tool reads releases with its own program-file reader, on Linux: on every
// kind of file above it must find what the version API finds, value for value.
TEST_F(CheckTargetVersionTest, ProgramFileReaderSeesWhatTheVersionApiSees)
{
    const auto eligible = ReleaseValues(DESCRIPTION, L"1, 0, 0, 0", BUILD_TAG, BUILD_TAG);
    const auto updated = ReleaseValues(L"ラーク\u00e9", L"1, 0, 0, 1", L"Larkspurgleam", L"");
    const VersionResource made[] = {
        VersionResource().Translation(0x0411, 932).Table(L"041103a4", eligible),
        VersionResource()
            .Translation(0x0411, 932)
            .Table(L"040104e4", updated)
            .Table(L"041004b0", eligible),
        VersionResource()
            .Translation(0x0411, 932)
            .Table(L"041104b0", eligible)
            .Table(L"040904b0", updated),
        VersionResource()
            .Translation(0x0422, 1200)
            .Translation(0x0411, 1252)
            .Table(L"040904b0", updated)
            .Table(L"041104e4", eligible),
        VersionResource()
            .Translation(0x0411, 932)
            .Table(L"041103a4", {{L"FileDescription", DESCRIPTION}, {L"productversion", L"9"}})
            .Table(L"040904B0", {{L"ProductName", BUILD_TAG}, {L"SpecialBuild", L""}}),
        VersionResource().Translation(0x0411, 932).Table(L"042204b0", eligible),
        VersionResource().Translation(0x0422, 1200).Table(L"042204b0", eligible),
        VersionResource().Translation(0x0411, 932),
        VersionResource().WithoutVarFileInfo().Table(L"041103a4", eligible),
    };
    std::vector<std::string> paths = {updtest::OldRelease(), updtest::NewRelease(),
                                      updtest::VersionCarrier(), updtest::UpdaterProgram()};
    for (const VersionResource& version : made)
    {
        paths.push_back(scratch.GetPath() + "\\made" + std::to_string(paths.size()) + ".exe");
        ASSERT_TRUE(updtest::MakeVersionedFile(paths.back(), version));
    }
    char system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    for (const char* name : {"kernel32.dll", "user32.dll", "version.dll", "comctl32.dll"})
        paths.push_back(std::string(system) + "\\" + name);

    for (const std::string& path : paths)
    {
        TargetVersionStrings api;
        const int readable = ReadTargetVersion(path.c_str(), api);
        const std::string bytes = updtest::ReadAll(path);
        PeVersion version;
        const PeResult result = ReadPeVersion(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              bytes.size(), version);
        EXPECT_EQ(readable == 1, result == PE_OK) << path << ": " << DescribePeResult(result);
        if (result != PE_OK)
            continue;
        const struct
        {
            const char* apiValue;
            const std::u16string& readerValue;
        } values[] = {{api.fileDescription, version.strings.fileDescription},
                      {api.productVersion, version.strings.productVersion},
                      {api.productName, version.strings.productName},
                      {api.specialBuild, version.strings.specialBuild}};
        for (const auto& value : values)
        {
            std::string converted = Utf16ToCp932(value.readerValue);
            converted.resize(std::min<std::size_t>(converted.size(), VERSION_VALUE_MAX));
            EXPECT_EQ(std::string(value.apiValue), converted) << path;
        }
    }
}

class QueryVersionStringTest : public testing::Test
{
protected:
    // Loads a file carrying one string table (0411/932) with `values`.
    void Load(const VersionResource::Values& values)
    {
        const std::string path = scratch.GetPath() + "\\query" + std::to_string(++files) + ".exe";
        ASSERT_TRUE(updtest::MakeVersionedFile(
            path, VersionResource().Translation(0x0411, 932).Table(L"041103a4", values)));
        const DWORD* translations = nullptr;
        ASSERT_EQ(1, LoadVersionInfo(path.c_str(), block, &translations));
        ASSERT_NE(nullptr, translations);
        translation = *translations;
    }

    gstest::ScratchFolder scratch{"query"};
    int files = 0;
    VersionBlock block;
    DWORD translation = 0;
    // The output buffer and a guard area after it that must stay untouched.
    static constexpr int GUARD = 16;
    char output[VERSION_VALUE_MAX + 1 + GUARD];

    void FillOutput() { std::memset(output, 0x7E, sizeof output); }
    bool GuardIntact(int from) const
    {
        for (int i = from; i < static_cast<int>(sizeof output); ++i)
        {
            if (output[i] != 0x7E)
            {
                return false;
            }
        }
        return true;
    }
};

TEST_F(QueryVersionStringTest, TranslationIsTheFirstEntry)
{
    Load({{L"ProductName", L"x"}});
    EXPECT_EQ(MAKELONG(0x0411, 932), translation);
}

TEST_F(QueryVersionStringTest, ValueComesInCodePage932)
{
    Load({{L"FileDescription", DESCRIPTION}});
    FillOutput();
    ASSERT_EQ(1,
              QueryVersionString(output, block, translation, "FileDescription", VERSION_VALUE_MAX));
    EXPECT_STREQ("ラークスパーグリーム", output);
    EXPECT_STREQ("\x83\x89\x81\x5B\x83\x4E\x83\x58\x83\x70\x81\x5B\x83\x4F\x83\x8A\x81\x5B\x83\x80",
                 output);
}

TEST_F(QueryVersionStringTest, CharactersOutsideCodePage932BecomeQuestionMarks)
{
    Load({{L"ProductName", L"Caf\x00E9 \x0416"}});
    FillOutput();
    ASSERT_EQ(1, QueryVersionString(output, block, translation, "ProductName", VERSION_VALUE_MAX));
    // No look-alike: "é" must not turn into "e" and so match an ASCII name.
    EXPECT_STREQ("Caf? \x84\x47", output);
}

TEST_F(QueryVersionStringTest, LongValueIsCutTo255Bytes)
{
    Load({{L"ProductName", std::wstring(300, L'A')},
          {L"FileDescription", std::wstring(200, L'ア')}});
    FillOutput();
    ASSERT_EQ(1, QueryVersionString(output, block, translation, "ProductName", VERSION_VALUE_MAX));
    EXPECT_EQ(std::string(255, 'A'), output);
    EXPECT_TRUE(GuardIntact(VERSION_VALUE_MAX + 1));

    FillOutput();
    ASSERT_EQ(1,
              QueryVersionString(output, block, translation, "FileDescription", VERSION_VALUE_MAX));
    std::string expected;
    for (int i = 0; i < 128; ++i)
    {
        expected += "ア";
    }
    EXPECT_EQ(expected.substr(0, 255), output);
    EXPECT_TRUE(GuardIntact(VERSION_VALUE_MAX + 1));

    FillOutput();
    ASSERT_EQ(1, QueryVersionString(output, block, translation, "ProductName", 10));
    EXPECT_EQ(std::string(10, 'A'), output);
    EXPECT_TRUE(GuardIntact(11));
}

TEST_F(QueryVersionStringTest, MissingValueLeavesTheOutputEmpty)
{
    Load({{L"ProductName", L"x"}});
    FillOutput();
    EXPECT_EQ(0, QueryVersionString(output, block, translation, "SpecialBuild", VERSION_VALUE_MAX));
    EXPECT_STREQ("", output);
    EXPECT_TRUE(GuardIntact(1));
}

TEST_F(QueryVersionStringTest, EmptyValueIsFoundAndEmpty)
{
    Load({{L"SpecialBuild", L""}});
    FillOutput();
    EXPECT_EQ(1, QueryVersionString(output, block, translation, "SpecialBuild", VERSION_VALUE_MAX));
    EXPECT_STREQ("", output);
}

TEST(VersionTextEqualsTest, AsciiLettersFoldAndEverythingElseIsExact)
{
    EXPECT_EQ(1, VersionTextEquals("Larkspurgleam", "lARKSPURGLEAM"));
    EXPECT_EQ(1, VersionTextEquals("", ""));
    EXPECT_EQ(0, VersionTextEquals("Larkspurgleam", "Larkspurgleam "));
    EXPECT_EQ(0, VersionTextEquals("Larkspurglea", "Larkspurgleam"));
    EXPECT_EQ(0, VersionTextEquals("1, 0, 0, 0", "1; 0; 0; 0"));
    // '[' (5B) and '{' (7B) differ by the case bit but are no letters.
    EXPECT_EQ(0, VersionTextEquals("[", "{"));
    EXPECT_EQ(0, VersionTextEquals("@", "`"));
}

TEST(VersionTextEqualsTest, DoubleByteCharactersMatchOnlyThemselves)
{
    EXPECT_EQ(1, VersionTextEquals("ラークスパーグリーム", "ラークスパーグリーム"));
    EXPECT_EQ(0, VersionTextEquals("\x83\x4E", "\x83\x6E")); // ク, ハ
    EXPECT_EQ(0, VersionTextEquals("\x83\x41", "\x83\x61")); // ア, チ
    // After a double-byte character, letters fold again.
    EXPECT_EQ(1, VersionTextEquals("\x83\x41"
                                   "a",
                                   "\x83\x41"
                                   "A"));
}

TEST(VersionTextEqualsTest, OnlyTheFirst255BytesAreCompared)
{
    const std::string base(255, 'x');
    EXPECT_EQ(1, VersionTextEquals((base + "a").c_str(), (base + "b").c_str()));
    EXPECT_EQ(1, VersionTextEquals((base + "long tail").c_str(), base.c_str()));
    EXPECT_EQ(0, VersionTextEquals((base.substr(1) + "a").c_str(), (base.substr(1) + "b").c_str()));
}

} // namespace
