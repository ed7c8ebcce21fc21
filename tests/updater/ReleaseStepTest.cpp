// The release step's platform-free parts on files made to measure (PeTestImage.h): the reader,
// the description, the check of an updater file. Built for the host (sanitizers) and Windows.

#include "ReleaseStep.h"
#include "PayloadContainer.h"
#include "PeTestImage.h"
#include "PeVersionReader.h"
#include "Sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace
{

using petest::Bytes;
using petest::ImageLayout;
using petest::MakeImage;

PeResult Read(const Bytes& bytes, PeVersion* version)
{
    return ReadPeVersion(bytes.data(), bytes.size(), *version);
}
// The values the check would pick, from both kinds of file.
TEST(PeVersionReaderTest, ReadsTheValuesTheCheckWouldPick)
{
    using V = petest::Values;
    const std::u16string kana = u"ラーク";
    // 64-bit, Translation, tables, the values found: description|version|name|special build.
    const std::tuple<bool, std::uint32_t, decltype(ImageLayout::tables), std::u16string> cases[] = {
        {false, 0x03a40411, ImageLayout().tables, u"Sample|1, 0, 0, 1|Larkspurgleam|"},
        {true, 0x03a40411, ImageLayout().tables, u"Sample|1, 0, 0, 1|Larkspurgleam|"},
        // No table for the Translation: 932 before 1252; keys whole, in any letter case.
        {false,
         0x04b00409,
         {{u"040904e4", V{{u"ProductName", u"1252"}}},
          {u"041103A4",
           V{{u"ProductName", u"932"}, {u"FileDescriptio", u"x"}, {u"fileDESCRIPTION", kana}}}},
         kana + u"||932|"},
        // The Translation's table first, even one outside that order, each value on its own.
        {false,
         0x04b0040b,
         {{u"041103a4",
           V{{u"SpecialBuild", u"932"}, {u"ProductVersionX", u"x"}, {u"ProductVersion", u"2"}}},
          {u"040b04b0", V{{u"SpecialBuild", u"fi"}}}},
         u"|2||fi"},
    };
    for (const auto& [pe32Plus, translation, tables, expected] : cases)
    {
        const Bytes image = MakeImage(ImageLayout{pe32Plus, translation, tables, {}});
        PeVersion v;
        ASSERT_EQ(PE_OK, Read(image, &v));
        const PeVersionStrings& s = v.strings;
        EXPECT_EQ(expected, s.fileDescription + u'|' + s.productVersion + u'|' + s.productName +
                                u'|' + s.specialBuild);
        EXPECT_TRUE(v.pe32Plus == pe32Plus && v.machine == (pe32Plus ? 0x8664 : 0x14c) &&
                    v.hasFixedInfo && v.productVersionMs == 0x00010000 && v.productVersionLs == 1);
        // Cut anywhere up to the end of the version block (at 0x258), it is refused.
        for (std::size_t length = 0; length < 0x258u + (image[0x258] | image[0x259] << 8); ++length)
        {
            const PeResult result = Read(Bytes(image.begin(), image.begin() + length), &v);
            EXPECT_NE(PE_OK, result) << "cut at " << length;
            EXPECT_STRNE("unknown error", DescribePeResult(result));
        }
    }
}

TEST(PeVersionReaderTest, DamagedFilesGetAClearError)
{
    // Offset (see MakeImage), width and value written, the result.
    constexpr int OPTIONAL = 0x58, SECTION_HEADER = 0x58 + 224, ROOT = 0x200, BLOCK = 0x258;
    const std::tuple<int, int, std::uint32_t, PeResult> cases[] = {
        {0, 2, 'Z' | 'M' << 8, PE_NOT_PE},
        {0x40, 2, 'E' | 'P' << 8, PE_NOT_PE},
        {OPTIONAL, 2, 0x107, PE_NOT_PE},                         // an unknown optional header
        {0x3C, 4, 0xFFFFFFF0u, PE_TRUNCATED},                    // PE header past the end
        {0x46, 2, 0xFFFF, PE_TRUNCATED},                         // section table past it
        {0x54, 2, 0xFFFF, PE_TRUNCATED},                         // optional header too
        {OPTIONAL + 112, 4, 0, PE_NO_RESOURCE},                  // no resource directory
        {OPTIONAL + 112, 4, 0x7FFF0000u, PE_BAD_RESOURCES},      // outside every section
        {SECTION_HEADER + 20, 4, 0x7FFFFFF0u, PE_BAD_RESOURCES}, // raw data past the end
        {SECTION_HEADER + 16, 4, 0xFFFFFFFFu, PE_OK},         // larger than the file: what is there
        {ROOT + 14, 2, 0xFFFF, PE_BAD_RESOURCES},             // entry count past the section
        {ROOT + 16, 4, 17, PE_NO_RESOURCE},                   // no version type
        {ROOT + 20, 4, 0x48, PE_BAD_RESOURCES},               // a leaf for a directory
        {ROOT + 20, 4, 0xFFFFFFFFu, PE_BAD_RESOURCES},        // a directory past the end
        {ROOT + 0x18 + 20, 4, 0x80000000u, PE_BAD_RESOURCES}, // a loop to the root
        {ROOT + 0x30 + 20, 4, 0x80000018u, PE_BAD_RESOURCES}, // a loop to the names
        {ROOT + 0x30 + 20, 4, 0x7FFFFFF8u, PE_BAD_RESOURCES}, // a data entry outside
        {ROOT + 0x48 + 4, 4, 0xFFFFFF00u, PE_BAD_RESOURCES},  // data length past the end
        {ROOT + 0x48, 4, 0xFFFFFFF0u, PE_BAD_RESOURCES},      // data outside every section
        {BLOCK, 2, 0xFFFF, PE_BAD_VERSION},                   // longer than its data
        {BLOCK, 2, 4, PE_BAD_VERSION},                        // shorter than a node
        {BLOCK, 2, 14, PE_BAD_VERSION},                       // a key without its NUL
        {BLOCK + 92, 2, 0xFFF0, PE_NO_TRANSLATION}, // StringFileInfo hides the Translation
    };
    for (const auto& [at, width, value, expected] : cases)
    {
        Bytes image = MakeImage(ImageLayout{});
        petest::Put(image, at, value, width);
        PeVersion v;
        EXPECT_EQ(expected, Read(image, &v)) << "at " << at << " " << value;
    }
}

ReleaseStep SampleStep(std::uint32_t newSize)
{
    // clang-format off
    return {{"Sample", "1, 0, 0, 0", "QX20050721a", "QX20050721a"}, 2048000,
            {"Sample", "1, 0, 0, 1", "Larkspurgleam", ""}, newSize, "Version 1.0.0.1", 0x5A};
    // clang-format on
}

TEST(ReleaseDescriptionTest, ReadsWhatItWritesAndRefusesTheRest)
{
    ReleaseStep step = SampleStep(10);
    // Blanks at both ends, " = " and '#' inside values, and Japanese text survive.
    step.oldRelease.productVersion = " 1, 0 = 0, 0 ";
    step.newRelease.specialBuild = "# not a comment";
    step.newRelease.fileDescription = u8"ラーク";
    const std::string good = FormatReleaseStep(step);
    std::string crlf; // Windows line ends read the same
    for (char c : good)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& input : {good, crlf})
    {
        ReleaseStep read;
        std::string error;
        ASSERT_TRUE(ParseReleaseStep(input, &read, &error)) << error;
        EXPECT_EQ(good, FormatReleaseStep(read)); // every value as it was written
        EXPECT_TRUE(read.newRelease.specialBuild == "# not a comment" && read.newSize == 10);
    }
    // The text changed from, to (appended to the end when "from" is empty), the reason given.
    const std::tuple<std::string, std::string, const char*> cases[] = {
        {"mask = 0x5A\n", "", "line 15: missing key 'mask'"},
        {"format = 1\n", "", "missing key 'format'"},
        {"old.size = 2048000\n", "", "missing key 'old.size'"},
        {"format = 1", "format = 2", "line 3: unknown format '2'"},
        {"", "format = 1\n", "line 16: format given twice"},
        {"", "mask = 1\n", "mask given twice"},
        {"", "old.size = 5\n", "old.size given twice"},
        {"", "new.Comments = x\n", "unknown key 'new.Comments'"},
        {"old.size = 2048000", "old.size = 0", "bad old.size '0'"},
        {"new.size = 10", "new.size = 1e6", "bad new.size '1e6'"},
        {"mask = 0x5A", "mask = 256", "bad mask '256'"},
        {"mask = 0x5A", "mask=0x5A", "expected \"key = value\""},
        {"version_text = Version 1.0.0.1", "version_text = a\"b", "version_text must"},
        {"version_text = Version 1.0.0.1", "version_text =", "version_text must"},
        {"Larkspurgleam", "Lark\tspur", "control character"},
        {"Larkspurgleam", "Lark\xFFspur", "not UTF-8"},
        {"Larkspurgleam", "Lark\xC0\x80spur", "not UTF-8"}, // an overlong NUL
    };
    for (const auto& [from, to, reason] : cases)
    {
        std::string text = good;
        from.empty() ? text += to : text.replace(text.find(from), from.size(), to);
        ReleaseStep read;
        std::string error;
        EXPECT_FALSE(ParseReleaseStep(text, &read, &error)) << reason;
        EXPECT_NE(std::string::npos, error.find(reason)) << error;
    }
}

// The check that fails the build: the description, digest and payload an updater carries.
TEST(ReleaseCheckTest, UpdaterFileMustCarryTheNewRelease)
{
    const Bytes program = MakeImage(ImageLayout{});
    Bytes payload;
    ASSERT_TRUE(BuildPayload(program.data(), program.size(), 0x5A, payload));
    const Sha256::Digest digest = Sha256::Of(program.data(), program.size());
    const Bytes sum(digest.begin(), digest.end());
    Bytes wrong = sum;
    wrong[31] ^= 1;
    using Change = void (*)(ReleaseStep&);
    const Change same = [](ReleaseStep&) {};
    const Bytes none = {}, cut(payload.begin(), payload.end() - 3),
                head(payload.begin(), payload.begin() + 10);
    // The updater's own version values (its fixed part says 1.0.0.1), and what rows change.
    using petest::Values;
    const Values identity = {{u"FileDescription", u"Updater"},
                             {u"FileVersion", u"1, 0, 0, 1"},
                             {u"ProductVersion", u"1, 0, 0, 1"},
                             {u"OriginalFilename", u"LarkspurgleamUpdater.exe"}};
    auto without = [&identity](std::size_t i)
    {
        Values values = identity;
        values.erase(values.begin() + i);
        return values;
    };
    const Values noFileVersion = without(1), unnamed = without(3);
    Values secondRelease = identity;
    secondRelease[1].second = secondRelease[2].second = u"1, 0, 0, 2";
    // A change to the description, the payload and digest carried ("none": no resource), a part
    // of the report (": ok" ends a pass), the updater's version values when not `identity`.
    const std::tuple<Change, const Bytes&, const Bytes&, std::string, const Values*> cases[] = {
        {same, payload, sum,
         "  shows     \xe3\x80\x90Version 1.0.0.1\xe3\x80\x91\n  mask      0x5A\n  identity  "
         "FileDescription \"Updater\", ProductName \"\", CompanyName \"\", FileVersion \"1, 0, 0, "
         "1\", ProductVersion \"1, 0, 0, 1\", OriginalFilename \"LarkspurgleamUpdater.exe\", "
         "numbers 1.0.0.1\n  digest    " +
             Sha256::ToHex(digest) + "\npayload ",
         nullptr},
        {[](ReleaseStep& s) { s.newRelease.productName = "LARKSPURGLEAM"; }, payload, sum, ": ok",
         nullptr},
        {[](ReleaseStep& s) { s.mask = 0x11; }, payload, sum,
         "mask is 0x5A, the description says 0x11", nullptr},
        {[](ReleaseStep& s) { s.newRelease.specialBuild = "x"; }, payload, sum, "has SpecialBuild",
         nullptr},
        {[](ReleaseStep& s) { s.versionText.clear(); }, payload, sum,
         "description cannot be read: line", nullptr},
        {same, payload, wrong, "WRONG: the payload does not decode to the executable its digest",
         nullptr},
        {same, payload, none, "digest    missing", nullptr},
        {same, none, sum, "payload     missing", nullptr},
        {same, cut, sum, "WRONG: the payload does not decode: ", nullptr},
        {same, head, sum, "WRONG: the payload is shorter than its header", nullptr},
        {same, payload, sum, "identity  WRONG: its FileVersion and ProductVersion are not",
         &noFileVersion},
        {same, payload, sum, "identity  WRONG: its OriginalFilename is not", &unnamed},
        {[](ReleaseStep& s) { s.newRelease.productVersion = "1, 0, 0, 2"; }, payload, sum,
         "identity  WRONG: its version numbers are not those of \"1, 0, 0, 2\"", &secondRelease},
    };
    for (const auto& row : cases)
    {
        const auto& [change, carried, carriedSum, report, values] = row;
        ReleaseStep step = SampleStep(static_cast<std::uint32_t>(program.size()));
        change(step);
        const std::string text = FormatReleaseStep(step);
        ImageLayout layout;
        layout.tables[0].second = values != nullptr ? *values : identity;
        for (const auto& bin : {std::make_pair(107, carried),
                                {108, carriedSum},
                                {109, Bytes(text.begin(), text.end())}})
            if (!bin.second.empty())
                layout.bins.push_back(bin);
        const Bytes file = MakeImage(layout);
        std::string found;
        EXPECT_EQ(&row < cases + 2,
                  CheckUpdaterFile(file.data(), file.size(), &found)); // the first two pass
        EXPECT_NE(std::string::npos, found.find(report)) << found;
        EXPECT_EQ(&row < cases + 2, found.rfind(": ok\n") == found.size() - 5) << found;
    }
    EXPECT_FALSE(VersionTextEquals(nullptr, "") || VersionTextEquals("", nullptr)); // no value
    // After a lead byte (81-9F, E0-FC) the next byte is exact: X + "N" is X + "n" otherwise only.
    const std::pair<int, bool> edges[] = {{0x80, true}, {0x81, false}, {0x9F, false}, {0xA0, true},
                                          {0xDF, true}, {0xE0, false}, {0xFC, false}, {0xFD, true}};
    for (const auto& [byte, equal] : edges)
    {
        const std::string x(1, static_cast<char>(byte));
        EXPECT_EQ(equal, VersionTextEquals((x + "N").c_str(), (x + "n").c_str())) << byte;
    }
    // The fixed part's numbers of a version text.
    const std::pair<const char*, std::vector<std::uint16_t>> texts[] = {
        {"1, 0, 0, 1", {1, 0, 0, 1}},
        {"Version 2.10", {2, 10, 0, 0}},
        {"", {0, 0, 0, 0}},
        {"99999.1.2.3.4", {65535, 1, 2, 3}}};
    for (const auto& [versionText, expected] : texts)
    {
        std::uint16_t numbers[4];
        VersionNumbersOf(versionText, numbers);
        EXPECT_EQ(expected, std::vector<std::uint16_t>(numbers, numbers + 4)) << versionText;
    }
    std::string found;
    EXPECT_FALSE(CheckUpdaterFile(program.data(), program.size(), &found));
    EXPECT_EQ(0u, found.find("no release description (resource BIN 109)")) << found;
    EXPECT_FALSE(CheckUpdaterFile(payload.data(), payload.size(), &found));
    EXPECT_EQ(0u, found.find("not an updater: ")) << found;
}

} // namespace
