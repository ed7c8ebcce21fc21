// The release step's platform-free parts: the program-file reader on well-formed and damaged
// files (made to measure, see PeTestImage.h), the release description, and the check of a
// payload against a description. Built for the host (sanitizers catch any read outside the
// input) and for Windows, where the code page conversion is the system's.

#include "ReleaseStep.h"
#include "CodePage932.h"
#include "PayloadContainer.h"
#include "PeTestImage.h"
#include "PeVersionReader.h"
#include "Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using petest::Bytes;
using petest::Image;
using petest::ImageLayout;
using petest::MakeImage;

PeResult Read(const Bytes& bytes, PeVersion* version = nullptr)
{
    PeVersion unused;
    return ReadPeVersion(bytes.data(), bytes.size(), version != nullptr ? *version : unused);
}

TEST(PeVersionReaderTest, ReadsTheValuesTheCheckWouldPick)
{
    const std::u16string kana = u"ラークスパーグリーム";
    struct Case
    {
        const char* what;
        ImageLayout layout;
        PeVersionStrings expected;
    } cases[] = {
        {"PE32, table under the Translation's pair",
         ImageLayout{},
         {u"Sample", u"1, 0, 0, 1", u"Larkspurgleam", u""}},
        {"PE32+",
         []
         {
             ImageLayout s;
             s.pe32Plus = true;
             return s;
         }(),
         {u"Sample", u"1, 0, 0, 1", u"Larkspurgleam", u""}},
        {"keys whole and without regard to case, upper-case table key, Japanese values",
         [&]
         {
             ImageLayout s;
             s.tables = {{u"041103A4",
                          {{u"FileDescriptionX", u"longer key"},
                           {u"FileDescriptio", u"shorter key"},
                           {u"fileDESCRIPTION", kana},
                           {u"SpecialBuild", u"QX20050721a"}}}};
             return s;
         }(),
         {kana, u"", u"", u"QX20050721a"}},
        {"Translation names no table: code page order first (932 before 1252)",
         []
         {
             ImageLayout s;
             s.translation = 0x04b00409;
             s.tables = {{u"040904e4", {{u"ProductName", u"western"}}},
                         {u"041103a4", {{u"ProductName", u"japanese"}}}};
             return s;
         }(),
         {u"", u"", u"japanese", u""}},
        {"Translation's pair wins over the search order, each value on its own",
         []
         {
             ImageLayout s;
             s.translation = 0x04e40409;
             s.tables = {{u"041103a4", {{u"ProductName", u"japanese"}, {u"ProductVersion", u"2"}}},
                         {u"040904e4", {{u"ProductName", u"western"}}}};
             return s;
         }(),
         {u"", u"2", u"western", u""}},
        {"a pair outside the tables only through the Translation",
         []
         {
             ImageLayout s;
             s.translation = 0x04b00c0a;
             s.tables = {{u"0c0a04b0", {{u"ProductName", u"spanish"}}}};
             return s;
         }(),
         {u"", u"", u"spanish", u""}},
    };
    for (const Case& c : cases)
    {
        PeVersion version;
        ASSERT_EQ(PE_OK, Read(MakeImage(c.layout).bytes, &version)) << c.what;
        EXPECT_EQ(c.layout.pe32Plus, version.pe32Plus) << c.what;
        EXPECT_EQ(c.layout.pe32Plus ? 0x8664 : 0x14c, version.machine) << c.what;
        EXPECT_TRUE(version.hasFixedInfo);
        EXPECT_EQ(0x00010000u, version.productVersionMs);
        EXPECT_EQ(1u, version.productVersionLs);
        EXPECT_EQ(c.expected.fileDescription, version.strings.fileDescription) << c.what;
        EXPECT_EQ(c.expected.productVersion, version.strings.productVersion) << c.what;
        EXPECT_EQ(c.expected.productName, version.strings.productName) << c.what;
        EXPECT_EQ(c.expected.specialBuild, version.strings.specialBuild) << c.what;
    }
}

// Every prefix of a valid file is refused, never read past: headers, directories and data
// are cut at every byte.
TEST(PeVersionReaderTest, EveryTruncationIsRefused)
{
    for (bool pe32Plus : {false, true})
    {
        ImageLayout layout;
        layout.pe32Plus = pe32Plus;
        const Image image = MakeImage(layout);
        ASSERT_EQ(PE_OK, Read(image.bytes));
        // The version block ends the data that the reader needs.
        const std::size_t needed = image.versionBlock + (image.bytes[image.versionBlock] |
                                                         image.bytes[image.versionBlock + 1] << 8);
        for (std::size_t length = 0; length < needed; ++length)
        {
            const Bytes cut(image.bytes.begin(), image.bytes.begin() + length);
            const PeResult result = Read(cut);
            EXPECT_NE(PE_OK, result) << "cut at " << length;
            EXPECT_STRNE("unknown error", DescribePeResult(result));
        }
    }
}

TEST(PeVersionReaderTest, DamagedFilesGetAClearError)
{
    using Patch = void (*)(Image&);
    struct Case
    {
        const char* what;
        Patch patch;
        PeResult expected;
    } cases[] = {
        {"not MZ", [](Image& i) { i.bytes[0] = 'Z'; }, PE_NOT_PE},
        {"no PE signature", [](Image& i) { i.bytes[i.peHeader] = 'N'; }, PE_NOT_PE},
        {"unknown optional header",
         [](Image& i) { petest::Put16(i.bytes, i.optionalHeader, 0x107); }, PE_NOT_PE},
        {"PE header offset past the end",
         [](Image& i) { petest::Put32(i.bytes, 0x3C, 0xFFFFFFF0u); }, PE_TRUNCATED},
        {"section table past the end",
         [](Image& i) { petest::Put16(i.bytes, i.peHeader + 6, 0xFFFF); }, PE_TRUNCATED},
        {"optional header longer than the file",
         [](Image& i) { petest::Put16(i.bytes, i.peHeader + 20, 0xFFFF); }, PE_TRUNCATED},
        {"no resource directory", [](Image& i) { petest::Put32(i.bytes, i.resourceEntry, 0); },
         PE_NO_RESOURCE},
        {"resource directory outside every section",
         [](Image& i) { petest::Put32(i.bytes, i.resourceEntry, 0x7FFF0000u); }, PE_BAD_RESOURCES},
        {"section's raw data past the end of the file",
         [](Image& i) { petest::Put32(i.bytes, i.sectionHeader + 20, 0x7FFFFFF0u); },
         PE_BAD_RESOURCES},
        {"section larger than the file",
         [](Image& i) { petest::Put32(i.bytes, i.sectionHeader + 16, 0xFFFFFFFFu); }, PE_OK},
        {"entry count past the section",
         [](Image& i) { petest::Put16(i.bytes, i.rootDirectory + 14, 0xFFFF); }, PE_BAD_RESOURCES},
        {"no version type", [](Image& i) { petest::Put32(i.bytes, i.typeEntry, 17); },
         PE_NO_RESOURCE},
        {"name directory pointing back at the root (a loop)",
         [](Image& i) { petest::Put32(i.bytes, i.nameDirectory + 20, 0x80000000u); },
         PE_BAD_RESOURCES},
        {"language entry pointing back at the name directory (a loop)",
         [](Image& i)
         {
             petest::Put32(i.bytes, i.languageDirectory + 20,
                           0x80000000u | static_cast<std::uint32_t>(i.nameDirectory - i.section));
         },
         PE_BAD_RESOURCES},
        {"leaf where a directory belongs",
         [](Image& i) { petest::Put32(i.bytes, i.typeEntry + 4, 0x48); }, PE_BAD_RESOURCES},
        {"subdirectory offset past the section",
         [](Image& i) { petest::Put32(i.bytes, i.typeEntry + 4, 0xFFFFFFFFu); }, PE_BAD_RESOURCES},
        {"data entry past the section",
         [](Image& i) { petest::Put32(i.bytes, i.languageDirectory + 20, 0x7FFFFFF8u); },
         PE_BAD_RESOURCES},
        {"data length past the end",
         [](Image& i) { petest::Put32(i.bytes, i.dataEntry + 4, 0xFFFFFF00u); }, PE_BAD_RESOURCES},
        {"data outside every section",
         [](Image& i) { petest::Put32(i.bytes, i.dataEntry, 0xFFFFFFF0u); }, PE_BAD_RESOURCES},
        {"version block longer than its data",
         [](Image& i) { petest::Put16(i.bytes, i.versionBlock, 0xFFFF); }, PE_BAD_VERSION},
        {"version block shorter than a node",
         [](Image& i) { petest::Put16(i.bytes, i.versionBlock, 4); }, PE_BAD_VERSION},
        {"key without its NUL",
         [](Image& i)
         {
             petest::Put16(i.bytes, i.versionBlock, 14);
             petest::Put32(i.bytes, i.dataEntry + 4, 14);
         },
         PE_BAD_VERSION},
        {"child longer than its parent: Translation not found",
         [](Image& i)
         {
             // StringFileInfo, the first child, claims the whole block and more.
             petest::Put16(i.bytes, i.versionBlock + 92, 0xFFF0);
         },
         PE_NO_TRANSLATION},
    };
    for (const Case& c : cases)
    {
        Image image = MakeImage(ImageLayout{});
        c.patch(image);
        EXPECT_EQ(c.expected, Read(image.bytes)) << c.what;
    }
}

TEST(PeVersionReaderTest, FindsNamedResources)
{
    ImageLayout layout;
    layout.bin = {1, 2, 3, 4, 5};
    const Image image = MakeImage(layout);
    PeFile file;
    ASSERT_EQ(PE_OK, file.Open(image.bytes.data(), image.bytes.size()));
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(PE_OK, file.LocateResource("bin", 0, 109, &data, &length));
    EXPECT_EQ(layout.bin, Bytes(data, data + length));
    EXPECT_EQ(PE_NO_RESOURCE, file.LocateResource("BIN", 0, 108, &data, &length));
    EXPECT_EQ(PE_NO_RESOURCE, file.LocateResource("BINX", 0, 109, &data, &length));
    EXPECT_EQ(PE_NO_RESOURCE, file.LocateResource(nullptr, 10, 109, &data, &length));
    ASSERT_EQ(PE_OK, file.LocateResource(nullptr, 16, 1, &data, &length));
    EXPECT_EQ(image.bytes.data() + image.versionBlock, data);
}

TEST(CodePage932Test, ConvertsAsTheCheckDoes)
{
    const struct
    {
        std::u16string text;
        std::string expected;
        bool lossless;
    } cases[] = {
        {u"Abc 1, 0", "Abc 1, 0", true},
        {u"ラーク", "\x83\x89\x81\x5B\x83\x4E", true},
        {u"表\\", "\x95\x5C\x5C", true},
        {u"a\u00e9b", "a?b", false},      // no best-fit 'e'
        {u"x\U0001F600y", "x??y", false}, // each surrogate a '?'
        {std::u16string(1, u'\xD800') + u"z", "?z", false},
    };
    for (const auto& c : cases)
    {
        bool lossless = !c.lossless;
        EXPECT_EQ(c.expected, Utf16ToCp932(c.text, &lossless));
        EXPECT_EQ(c.lossless, lossless);
        std::u16string back;
        if (c.lossless)
        {
            ASSERT_TRUE(Utf8ToUtf16(Utf16ToUtf8(c.text), &back));
            EXPECT_EQ(c.text, back);
        }
    }
    std::u16string out;
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE3\x83", "\x80"})
        EXPECT_FALSE(Utf8ToUtf16(bad, &out)) << bad;
}

ReleaseStep SampleStep()
{
    ReleaseStep step;
    step.oldRelease = {"Sample", "1, 0, 0, 0", "QX20050721a", "QX20050721a"};
    step.newRelease = {"Sample", "1, 0, 0, 1", "Larkspurgleam", ""};
    step.oldSize = 2048000;
    step.versionText = "Version 1.0.0.1";
    step.mask = 0x5A;
    return step;
}

TEST(ReleaseDescriptionTest, ReadsBackWhatItWrites)
{
    ReleaseStep step = SampleStep();
    step.newSize = 77;
    // Blanks at both ends, " = " and '#' inside values, and Japanese text survive.
    step.oldRelease.productVersion = " 1, 0 = 0, 0 ";
    step.oldRelease.specialBuild = "# not a comment";
    step.newRelease.fileDescription = u8"ラークスパーグリーム";
    step.mask = 0;
    const std::string text = FormatReleaseStep(step);
    ReleaseStep read;
    std::string error;
    ASSERT_TRUE(ParseReleaseStep(text, &read, &error)) << error;
    EXPECT_EQ(text, FormatReleaseStep(read));
    EXPECT_EQ(step.oldRelease.productVersion, read.oldRelease.productVersion);
    EXPECT_EQ(step.oldRelease.specialBuild, read.oldRelease.specialBuild);
    EXPECT_EQ(step.newRelease.fileDescription, read.newRelease.fileDescription);
    EXPECT_EQ("", read.newRelease.specialBuild);
    EXPECT_EQ(2048000u, read.oldSize);
    EXPECT_EQ(77u, read.newSize);
    EXPECT_EQ(0u, read.mask);
    // Windows line ends read the same.
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_TRUE(ParseReleaseStep(crlf, &read, &error)) << error;
    EXPECT_EQ(text, FormatReleaseStep(read));
}

TEST(ReleaseDescriptionTest, RefusesWhatIsNotOne)
{
    ReleaseStep step = SampleStep();
    step.newSize = 10;
    const std::string good = FormatReleaseStep(step);
    auto replace = [&](const std::string& from, const std::string& to)
    {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct
    {
        std::string text;
        const char* reason;
    } cases[] = {
        {replace("mask = 0x5A\n", ""), "line 15: missing key 'mask'"},
        {replace("old.size = 2048000\n", ""), "missing key 'old.size'"},
        {replace("format = 1", "format = 2"), "line 3: unknown format '2'"},
        {good + "old.size = 5\n", "line 16: old.size given twice"},
        {good + "new.Comments = x\n", "unknown key 'new.Comments'"},
        {replace("old.size = 2048000", "old.size = 0"), "bad old.size '0'"},
        {replace("new.size = 10", "new.size = 1e6"), "bad new.size '1e6'"},
        {replace("mask = 0x5A", "mask = 256"), "bad mask '256'"},
        {replace("mask = 0x5A", "mask=0x5A"), "expected \"key = value\""},
        {replace("version_text = Version 1.0.0.1", "version_text = a\"b"), "version_text must"},
        {replace("version_text = Version 1.0.0.1", "version_text ="), "version_text must"},
        {replace("Larkspurgleam", "Lark\tspur"), "control character"},
        {replace("Larkspurgleam", "Lark\xFFspur"), "not UTF-8"},
    };
    for (const auto& c : cases)
    {
        ReleaseStep read;
        std::string error;
        EXPECT_FALSE(ParseReleaseStep(c.text, &read, &error)) << c.reason;
        EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
    }
}

// The payload check that fails the build: every way a payload can be the wrong one.
TEST(ReleaseDescriptionTest, PayloadMustCarryTheNewRelease)
{
    ImageLayout layout;
    layout.tables = {{u"041103a4",
                      {{u"FileDescription", u"Sample"},
                       {u"ProductVersion", u"1, 0, 0, 1"},
                       {u"ProductName", u"larkspurgleam"}}}};
    const Bytes program = MakeImage(layout).bytes;
    Bytes payload;
    ASSERT_TRUE(BuildPayload(program.data(), program.size(), 0x5A, payload));
    using Change = void (*)(ReleaseStep&);
    const struct
    {
        Change change;
        const char* problem; // empty: passes
    } cases[] = {
        {[](ReleaseStep&) {}, ""},
        {[](ReleaseStep& s) { s.mask = 0x11; }, "mask is 0x5A, the description says 0x11"},
        {[](ReleaseStep& s) { s.newSize += 1; }, "decodes to"},
        {[](ReleaseStep& s) { s.newRelease.productVersion = "1, 0, 0, 2"; },
         "ProductVersion \"1, 0, 0, 1\", the new release \"1, 0, 0, 2\""},
        {[](ReleaseStep& s) { s.newRelease.specialBuild = "x"; }, "SpecialBuild"},
        // Equal to the old release as well: the updater would call it eligible, not updated.
        {[](ReleaseStep& s) { s.newRelease.fileDescription = "Other"; }, "FileDescription"},
    };
    for (const auto& c : cases)
    {
        ReleaseStep step = SampleStep();
        step.newSize = static_cast<std::uint32_t>(program.size());
        c.change(step);
        const std::string problem = CheckPayloadAgainstStep(step, payload.data(), payload.size());
        if (c.problem[0] == '\0')
            EXPECT_EQ("", problem);
        else
            EXPECT_NE(std::string::npos, problem.find(c.problem)) << problem;
    }
    ReleaseStep step = SampleStep();
    step.newSize = static_cast<std::uint32_t>(program.size());
    // The digest, when given, must be the program's.
    Sha256::Digest digest = Sha256::Of(program.data(), program.size());
    EXPECT_EQ("", CheckPayloadAgainstStep(step, payload.data(), payload.size(), digest.data(),
                                          digest.size()));
    EXPECT_NE("", CheckPayloadAgainstStep(step, payload.data(), payload.size(), digest.data(),
                                          digest.size() - 1));
    digest[31] ^= 1;
    EXPECT_NE(std::string::npos, CheckPayloadAgainstStep(step, payload.data(), payload.size(),
                                                         digest.data(), digest.size())
                                     .find("its digest names"));
    payload[PAYLOAD_HEADER_SIZE + 5] ^= 0x40;
    payload.resize(payload.size() - 3);
    EXPECT_NE("", CheckPayloadAgainstStep(step, payload.data(), payload.size()));
    EXPECT_EQ("the payload is shorter than its header",
              CheckPayloadAgainstStep(step, payload.data(), 10));
}

} // namespace
