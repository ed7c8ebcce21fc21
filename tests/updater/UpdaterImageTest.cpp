// The built programs as files: the 32-bit product (machine, subsystem, imports, resources,
// the dialog template field by field) and the payload that each updater of the build carries.

#include "ApplyUpdate.h"
#include "GsTestFiles.h"
#include "PayloadContainer.h"
#include "PeImage.h"
#include "TargetVersion.h"
#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace
{

constexpr std::uint16_t RESOURCE_ICON = 3;
constexpr std::uint16_t RESOURCE_DIALOG = 5;
constexpr std::uint16_t RESOURCE_GROUP_ICON = 14;
constexpr std::uint16_t RESOURCE_VERSION = 16;
constexpr std::uint16_t RESOURCE_MANIFEST = 24;
constexpr std::uint16_t JAPANESE = 1041;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Reads the parts of an extended dialog template in order.
class TemplateReader
{
public:
    explicit TemplateReader(const std::string& bytes) : data(bytes) {}

    std::uint16_t Word()
    {
        if (at + 2 > data.size())
        {
            failed = true;
            return 0;
        }
        const auto value = static_cast<std::uint16_t>(
            static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8);
        at += 2;
        return value;
    }
    std::uint32_t Dword()
    {
        const std::uint32_t low = Word();
        return low | static_cast<std::uint32_t>(Word()) << 16;
    }
    std::uint8_t Byte()
    {
        if (at + 1 > data.size())
        {
            failed = true;
            return 0;
        }
        return static_cast<std::uint8_t>(data[at++]);
    }
    std::u16string Text()
    {
        std::u16string text;
        for (std::uint16_t c = Word(); c != 0 && !failed; c = Word())
        {
            text.push_back(static_cast<char16_t>(c));
        }
        return text;
    }
    // A name or ordinal field: the ordinal goes to *ordinal (else 0), the name is returned.
    std::u16string NameOrOrdinal(std::uint16_t* ordinal)
    {
        *ordinal = 0;
        const std::size_t start = at;
        const std::uint16_t first = Word();
        if (first == 0xFFFF)
        {
            *ordinal = Word();
            return std::u16string();
        }
        at = start;
        return Text();
    }
    void AlignToDword() { at = (at + 3) & ~static_cast<std::size_t>(3); }
    bool Failed() const { return failed; }

private:
    const std::string& data;
    std::size_t at = 0;
    bool failed = false;
};

class ProductImageTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const std::string path = updtest::ProductBuildDir() + "\\shell\\LarkspurgleamUpdater.exe";
        int ok = 0;
        const std::string bytes = updtest::ReadAll(path, &ok);
        ASSERT_TRUE(ok) << "build the win32 preset first: " << path << " is missing";
        ASSERT_TRUE(image.Parse(bytes)) << image.Error();
    }

    const PeImage::Resource* Resource(std::uint16_t type, std::uint16_t name) const
    {
        return image.Find(PeImage::Id(type), PeImage::Id(name));
    }

    PeImage image;
};

TEST_F(ProductImageTest, IsA32BitWindowsGuiProgram)
{
    EXPECT_EQ(0x14c, image.Machine()) << "i386";
    EXPECT_EQ(0x10b, image.OptionalMagic()) << "PE32";
    EXPECT_EQ(2, image.Subsystem()) << "Windows GUI";
}

TEST_F(ProductImageTest, ImportsOnlyDllsThatWindowsTakesFromTheSystemFolder)
{
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                           "advapi32.dll", "shell32.dll", "ole32.dll",
                                           "comdlg32.dll", "msvcrt.dll"};
    ASSERT_FALSE(image.Imports().empty());
    for (const std::string& dll : image.Imports())
    {
        EXPECT_EQ(1u, allowed.count(Lower(dll))) << dll << " is imported";
    }
    EXPECT_TRUE(image.DelayImports().empty()) << "delay-loaded DLLs are searched like any other";
}

TEST_F(ProductImageTest, CarriesDialogIconPayloadAndManifest)
{
    for (std::uint16_t type : {RESOURCE_DIALOG, RESOURCE_GROUP_ICON})
    {
        const PeImage::Resource* resource = Resource(type, type == RESOURCE_DIALOG ? 101 : 102);
        ASSERT_NE(nullptr, resource) << "resource type " << type;
        EXPECT_EQ(JAPANESE, resource->language);
    }
    const PeImage::Resource* payload = image.Find(PeImage::Id("BIN"), PeImage::Id(107));
    ASSERT_NE(nullptr, payload);
    EXPECT_EQ(JAPANESE, payload->language);
    const PeImage::Resource* manifest = Resource(RESOURCE_MANIFEST, 1);
    ASSERT_NE(nullptr, manifest);
    EXPECT_NE(std::string::npos,
              manifest->data.find("<requestedExecutionLevel level=\"requireAdministrator\""));
    // Windows 10 and 11: without it the program runs in a compatibility mode there.
    EXPECT_NE(std::string::npos, manifest->data.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"));
    EXPECT_EQ(nullptr, Resource(RESOURCE_VERSION, 1)) << "the updater carries no version resource";
}

TEST_F(ProductImageTest, IconGroupHoldsA32And16PixelImageIn256Colours)
{
    const PeImage::Resource* group = Resource(RESOURCE_GROUP_ICON, 102);
    ASSERT_NE(nullptr, group);
    TemplateReader reader(group->data);
    EXPECT_EQ(0, reader.Word());
    EXPECT_EQ(1, reader.Word()) << "icons";
    ASSERT_EQ(2, reader.Word()) << "two images";
    std::set<int> sizes;
    for (int i = 0; i < 2; ++i)
    {
        const int width = reader.Byte();
        const int height = reader.Byte();
        const int colours = reader.Byte();
        reader.Byte();
        reader.Word();
        const int bits = reader.Word();
        const std::uint32_t bytes = reader.Dword();
        const std::uint16_t id = reader.Word();
        EXPECT_EQ(width, height);
        EXPECT_EQ(0, colours) << "256 colours are written as 0";
        EXPECT_EQ(8, bits);
        sizes.insert(width);
        const PeImage::Resource* icon = Resource(RESOURCE_ICON, id);
        ASSERT_NE(nullptr, icon) << "icon image " << id;
        ASSERT_EQ(bytes, icon->data.size());
        TemplateReader header(icon->data);
        EXPECT_EQ(40u, header.Dword()) << "a bitmap header";
        EXPECT_EQ(static_cast<std::uint32_t>(width), header.Dword());
        EXPECT_EQ(static_cast<std::uint32_t>(2 * height), header.Dword()) << "image and mask";
        EXPECT_EQ(1, header.Word());
        EXPECT_EQ(8, header.Word()) << "8 bits per pixel";
    }
    EXPECT_EQ((std::set<int>{16, 32}), sizes);
    EXPECT_FALSE(reader.Failed());
}

TEST_F(ProductImageTest, DialogTemplateIsExactlyTheUpdateDialog)
{
    const PeImage::Resource* dialog = Resource(RESOURCE_DIALOG, 101);
    ASSERT_NE(nullptr, dialog);
    TemplateReader reader(dialog->data);
    EXPECT_EQ(1, reader.Word()) << "extended template";
    EXPECT_EQ(0xFFFF, reader.Word());
    EXPECT_EQ(0u, reader.Dword()) << "help id";
    EXPECT_EQ(0u, reader.Dword()) << "no extended style";
    EXPECT_EQ(static_cast<std::uint32_t>(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT),
              reader.Dword());
    ASSERT_EQ(7, reader.Word()) << "controls";
    EXPECT_EQ(0, reader.Word());
    EXPECT_EQ(0, reader.Word());
    EXPECT_EQ(191, reader.Word());
    EXPECT_EQ(115, reader.Word());
    std::uint16_t ordinal = 0;
    EXPECT_EQ(u"", reader.NameOrOrdinal(&ordinal)) << "no menu";
    EXPECT_EQ(u"", reader.NameOrOrdinal(&ordinal)) << "the standard dialog class";
    EXPECT_EQ(u"ラークスパーグリームアップデート", reader.Text());
    EXPECT_EQ(9, reader.Word()) << "points";
    EXPECT_EQ(400, reader.Word()) << "weight";
    EXPECT_EQ(0, reader.Byte()) << "not italic";
    EXPECT_EQ(128, reader.Byte()) << "Shift-JIS character set";
    EXPECT_EQ(u"ＭＳ Ｐゴシック", reader.Text());

    constexpr std::uint16_t BUTTON = 0x80;
    constexpr std::uint16_t EDIT = 0x81;
    constexpr std::uint16_t STATIC = 0x82;
    const std::uint32_t child = WS_CHILD | WS_VISIBLE;
    const struct
    {
        std::int32_t id;
        std::uint16_t windowClass;
        std::uint32_t style;
        std::int16_t x, y, width, height;
        std::u16string text;
        std::uint16_t icon; // an ordinal in place of the text
    } controls[] = {
        {IDOK, BUTTON, child | WS_TABSTOP | BS_DEFPUSHBUTTON, 36, 94, 50, 14, u"OK", 0},
        {IDCANCEL, BUTTON, child | WS_TABSTOP | BS_PUSHBUTTON, 104, 94, 50, 14, u"キャンセル", 0},
        {-1, STATIC, child | SS_ICON, 7, 19, 18, 21, u"", 102},
        {-1, STATIC, child | WS_GROUP | SS_LEFT, 41, 16, 129, 29,
         u"ラークスパーグリームのバージョンを\n【Version 1.0.0.1】へアップデートします。", 0},
        {1001, EDIT, child | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 19, 63, 104, 14,
         u"", 0},
        {1002, BUTTON, child | WS_TABSTOP | BS_PUSHBUTTON, 134, 63, 50, 14, u"変更", 0},
        {-1, STATIC, child | WS_GROUP | SS_LEFT, 21, 53, 39, 8, u"更新するEXE", 0},
    };
    for (const auto& expected : controls)
    {
        reader.AlignToDword();
        EXPECT_EQ(0u, reader.Dword()) << "help id";
        EXPECT_EQ(0u, reader.Dword()) << "extended style";
        EXPECT_EQ(expected.style, reader.Dword()) << "control " << expected.id;
        EXPECT_EQ(expected.x, static_cast<std::int16_t>(reader.Word()));
        EXPECT_EQ(expected.y, static_cast<std::int16_t>(reader.Word()));
        EXPECT_EQ(expected.width, static_cast<std::int16_t>(reader.Word()));
        EXPECT_EQ(expected.height, static_cast<std::int16_t>(reader.Word()));
        EXPECT_EQ(expected.id, static_cast<std::int32_t>(reader.Dword()));
        std::uint16_t windowClass = 0;
        reader.NameOrOrdinal(&windowClass);
        EXPECT_EQ(expected.windowClass, windowClass) << "control " << expected.id;
        std::uint16_t icon = 0;
        EXPECT_TRUE(expected.text == reader.NameOrOrdinal(&icon)) << "control " << expected.id;
        EXPECT_EQ(expected.icon, icon);
        EXPECT_EQ(0, reader.Word()) << "no creation data";
    }
    EXPECT_FALSE(reader.Failed());
}

// Expands a payload resource, writes it out and checks it as the updater would check a
// target: the new release, of the expanded length, its digest the one carried beside it,
// and (for the sample) byte for byte.
void ExpectPayloadIsTheNewRelease(const std::string& resource, const std::string& carriedDigest,
                                  const std::string& sample)
{
    std::vector<unsigned char> executable;
    ASSERT_EQ(PAYLOAD_OK, ExpandPayload(reinterpret_cast<const unsigned char*>(resource.data()),
                                        resource.size(), executable));
    PayloadDigest digest;
    ASSERT_TRUE(DigestOfBytes(executable.data(), executable.size(), digest));
    EXPECT_TRUE(std::string(digest.begin(), digest.end()) == carriedDigest);
    PayloadHeader header;
    ASSERT_EQ(PAYLOAD_OK, ReadPayloadHeader(reinterpret_cast<const unsigned char*>(resource.data()),
                                            resource.size(), header));
    EXPECT_EQ(header.expandedLength, executable.size());
    EXPECT_EQ(static_cast<std::size_t>(UPDATE_TARGET_SIZE), executable.size());

    gstest::ScratchFolder scratch("payload");
    const std::string path = scratch.GetPath() + "\\Larkspurgleam.exe";
    ASSERT_TRUE(updtest::WriteAll(path, std::string(executable.begin(), executable.end())));
    EXPECT_EQ(UPDATE_ALREADY_DONE, CheckTargetVersion(path.c_str()))
        << "the payload is not the new release";
    if (updtest::PayloadIsTheSample())
    {
        EXPECT_TRUE(updtest::ReadAll(path) == updtest::ReadAll(sample));
    }
}

TEST_F(ProductImageTest, PayloadIsTheNewRelease)
{
    const PeImage::Resource* payload = image.Find(PeImage::Id("BIN"), PeImage::Id(107));
    ASSERT_NE(nullptr, payload);
    const PeImage::Resource* digest = image.Find(PeImage::Id("BIN"), PeImage::Id(108));
    ASSERT_NE(nullptr, digest);
    const std::string sample = updtest::ProductBuildDir() + "\\fixtures\\new\\Larkspurgleam.exe";
    ExpectPayloadIsTheNewRelease(payload->data, digest->data, sample);
    if (updtest::PayloadIsTheSample())
    {
        PeImage release;
        ASSERT_TRUE(release.Parse(updtest::ReadAll(sample))) << release.Error();
        EXPECT_EQ(0x14c, release.Machine()) << "the 32-bit product carries a 32-bit release";
    }
}

TEST(TestUpdaterImageTest, PayloadIsTheNewRelease)
{
    PeImage image;
    ASSERT_TRUE(image.Parse(updtest::ReadAll(updtest::UpdaterProgram()))) << image.Error();
    const PeImage::Resource* payload = image.Find(PeImage::Id("BIN"), PeImage::Id(107));
    const PeImage::Resource* digest = image.Find(PeImage::Id("BIN"), PeImage::Id(108));
    ASSERT_NE(nullptr, payload);
    ASSERT_NE(nullptr, digest);
    ExpectPayloadIsTheNewRelease(payload->data, digest->data, updtest::NewRelease());

    // The loader's view of the same resources agrees with the file's.
    updtest::DataModule module(updtest::UpdaterProgram());
    std::vector<unsigned char> executable;
    PayloadDigest loaded;
    ASSERT_EQ(1, LoadPayload(module.Get(), executable, loaded));
    EXPECT_TRUE(std::string(loaded.begin(), loaded.end()) == digest->data);
}

TEST(PeImageTest, RefusesWhatIsNotAProgramFile)
{
    PeImage image;
    EXPECT_FALSE(image.Parse(""));
    EXPECT_FALSE(image.Parse("MZ"));
    EXPECT_FALSE(image.Parse(std::string(0x40, 'M')));
    std::string cut = updtest::ReadAll(updtest::VersionCarrier());
    ASSERT_TRUE(image.Parse(cut)) << image.Error();
    EXPECT_EQ(0x8664, image.Machine());
    cut.resize(0x200);
    EXPECT_FALSE(image.Parse(cut));
}

} // namespace
