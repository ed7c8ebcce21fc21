#include "ReleaseStep.h"

#include "CodePage932.h"
#include "PayloadContainer.h"
#include "PeVersionReader.h"
#include "Sha256.h"
#include "UpdaterResources.h"

#include <algorithm>

#include <vector>

namespace
{

constexpr char FORMAT_VERSION[] = "1";

struct Field
{
    const char* key;
    std::string ReleaseStep::*text;      // a text field, or
    std::string ReleaseValues::*value;   // a version value of
    ReleaseValues ReleaseStep::*release; // this release, or
    std::uint32_t ReleaseStep::*number;  // a size
};

const Field FIELDS[] = {
    {"old.FileDescription", nullptr, &ReleaseValues::fileDescription, &ReleaseStep::oldRelease,
     nullptr},
    {"old.ProductVersion", nullptr, &ReleaseValues::productVersion, &ReleaseStep::oldRelease,
     nullptr},
    {"old.ProductName", nullptr, &ReleaseValues::productName, &ReleaseStep::oldRelease, nullptr},
    {"old.SpecialBuild", nullptr, &ReleaseValues::specialBuild, &ReleaseStep::oldRelease, nullptr},
    {"old.size", nullptr, nullptr, nullptr, &ReleaseStep::oldSize},
    {"new.FileDescription", nullptr, &ReleaseValues::fileDescription, &ReleaseStep::newRelease,
     nullptr},
    {"new.ProductVersion", nullptr, &ReleaseValues::productVersion, &ReleaseStep::newRelease,
     nullptr},
    {"new.ProductName", nullptr, &ReleaseValues::productName, &ReleaseStep::newRelease, nullptr},
    {"new.SpecialBuild", nullptr, &ReleaseValues::specialBuild, &ReleaseStep::newRelease, nullptr},
    {"new.size", nullptr, nullptr, nullptr, &ReleaseStep::newSize},
    {"version_text", &ReleaseStep::versionText, nullptr, nullptr, nullptr},
};
constexpr std::size_t FIELD_COUNT = sizeof FIELDS / sizeof FIELDS[0];

bool HasControlCharacter(const std::string& text)
{
    for (unsigned char c : text)
    {
        if (c < 0x20 || c == 0x7F)
        {
            return true;
        }
    }
    return false;
}

std::string Line(const std::string& key, const std::string& value)
{
    return value.empty() ? key + " =\n" : key + " = " + value + "\n";
}

std::string Hex2(unsigned value)
{
    static const char HEX[] = "0123456789ABCDEF";
    return std::string("0x") + HEX[value >> 4 & 0xF] + HEX[value & 0xF];
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

} // namespace

bool ParseUnsignedNumber(const std::string& text, std::uint64_t limit, std::uint64_t* value)
{
    std::size_t at = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    {
        base = 16;
        at = 2;
    }
    if (at >= text.size())
    {
        return false;
    }
    *value = 0;
    for (; at < text.size(); ++at)
    {
        const char c = text[at];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        *value = *value * base + digit;
        if (*value > limit)
            return false;
    }
    return true;
}

bool ParseReleaseStep(const std::string& text, ReleaseStep* step, std::string* error)
{
    *step = ReleaseStep();
    bool seen[FIELD_COUNT] = {};
    bool seenFormat = false;
    bool seenMask = false;
    std::size_t lineNumber = 0;
    auto fail = [&](const std::string& reason)
    {
        *error = "line " + std::to_string(lineNumber) + ": " + reason;
        return false;
    };
    for (std::size_t start = 0; start < text.size();)
    {
        ++lineNumber;
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#')
        {
            continue;
        }
        std::u16string unused;
        if (!Utf8ToUtf16(line, &unused))
        {
            return fail("not UTF-8 text");
        }
        if (HasControlCharacter(line))
        {
            return fail("control character in the line");
        }
        std::string key;
        std::string value;
        const std::size_t equals = line.find(" = ");
        if (equals != std::string::npos)
        {
            key = line.substr(0, equals);
            value = line.substr(equals + 3);
        }
        else if (line.size() > 2 && line.compare(line.size() - 2, 2, " =") == 0)
        {
            key = line.substr(0, line.size() - 2);
        }
        else
        {
            return fail("expected \"key = value\"");
        }
        if (key == "format")
        {
            if (seenFormat)
                return fail("format given twice");
            if (value != FORMAT_VERSION)
                return fail("unknown format '" + value + "' (this build reads format 1)");
            seenFormat = true;
            continue;
        }
        if (key == "mask")
        {
            std::uint64_t mask = 0;
            if (seenMask)
                return fail("mask given twice");
            if (!ParseUnsignedNumber(value, 255, &mask))
                return fail("bad mask '" + value + "': expected 0..255 (decimal or 0x hex)");
            step->mask = static_cast<unsigned>(mask);
            seenMask = true;
            continue;
        }
        std::size_t index = 0;
        while (index < FIELD_COUNT && key != FIELDS[index].key)
        {
            ++index;
        }
        if (index == FIELD_COUNT)
        {
            return fail("unknown key '" + key + "'");
        }
        if (seen[index])
        {
            return fail(key + " given twice");
        }
        seen[index] = true;
        const Field& field = FIELDS[index];
        if (field.number != nullptr)
        {
            std::uint64_t number = 0;
            if (!ParseUnsignedNumber(value, PAYLOAD_MAX_EXPANDED, &number) || number == 0)
            {
                return fail("bad " + key + " '" + value + "': expected 1.." +
                            std::to_string(PAYLOAD_MAX_EXPANDED) + " bytes");
            }
            step->*field.number = static_cast<std::uint32_t>(number);
        }
        else if (field.text != nullptr)
        {
            // It goes into the dialog's resource script between quotes.
            if (value.empty() || value.find_first_of("\"\\") != std::string::npos)
            {
                return fail(key + " must be a non-empty text without '\"' or '\\'");
            }
            step->*field.text = value;
        }
        else
        {
            step->*field.release.*field.value = value;
        }
    }
    ++lineNumber;
    if (!seenFormat)
    {
        return fail("missing key 'format'");
    }
    if (!seenMask)
    {
        return fail("missing key 'mask'");
    }
    for (std::size_t i = 0; i < FIELD_COUNT; ++i)
    {
        if (!seen[i])
        {
            return fail(std::string("missing key '") + FIELDS[i].key + "'");
        }
    }
    return true;
}

std::string FormatReleaseStep(const ReleaseStep& step)
{
    std::string text =
        "# The release step an updater carries (written by gspayload release; the format is\n"
        "# described in updater/ReleaseStep.h). A value is everything after \" = \".\n"
        "format = 1\n";
    for (const Field& field : FIELDS)
    {
        if (field.number != nullptr)
            text += Line(field.key, std::to_string(step.*field.number));
        else if (field.text != nullptr)
            text += Line(field.key, step.*field.text);
        else
            text += Line(field.key, step.*field.release.*field.value);
    }
    text += Line("mask", Hex2(step.mask));
    return text;
}

namespace
{

int IsLeadByte932(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC) ? 1 : 0;
}

unsigned char FoldAsciiCase(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

} // namespace

int VersionTextEquals(const char* value, const char* expected)
{
    if (value == nullptr || expected == nullptr)
    {
        return 0;
    }
    const auto* a = reinterpret_cast<const unsigned char*>(value);
    const auto* b = reinterpret_cast<const unsigned char*>(expected);
    // The second byte of a double-byte character is compared exactly: taken for a letter, it
    // would make "ク" (83 4E) equal to "ハ" (83 6E).
    bool secondByte = false;
    for (int i = 0; i < VERSION_VALUE_MAX; ++i)
    {
        if (secondByte ? a[i] != b[i] : FoldAsciiCase(a[i]) != FoldAsciiCase(b[i]))
        {
            return 0;
        }
        if (a[i] == '\0')
        {
            return 1;
        }
        secondByte = !secondByte && IsLeadByte932(a[i]);
    }
    return 1;
}

int ClassifyVersionValues(const char* fileDescription, const char* productVersion,
                          const char* productName, const char* specialBuild,
                          const ReleaseCheckValues& step)
{
    if (VersionTextEquals(fileDescription, step.newFileDescription) &&
        VersionTextEquals(productVersion, step.newProductVersion) &&
        VersionTextEquals(productName, step.newProductName))
    {
        return RELEASE_ALREADY_DONE;
    }
    if (VersionTextEquals(fileDescription, step.oldFileDescription) &&
        VersionTextEquals(productName, step.oldProductName) &&
        VersionTextEquals(specialBuild, step.oldSpecialBuild) &&
        VersionTextEquals(productVersion, step.oldProductVersion))
    {
        return RELEASE_ELIGIBLE;
    }
    return RELEASE_WRONG_FILE;
}

ReleaseValues ToCp932(const ReleaseValues& utf8)
{
    auto convert = [](const std::string& text)
    {
        std::u16string wide;
        Utf8ToUtf16(text, &wide);
        std::string cp932 = Utf16ToCp932(wide);
        if (cp932.size() > static_cast<std::size_t>(VERSION_VALUE_MAX))
        {
            cp932.resize(VERSION_VALUE_MAX);
        }
        return cp932;
    };
    return {convert(utf8.fileDescription), convert(utf8.productVersion), convert(utf8.productName),
            convert(utf8.specialBuild)};
}

std::string CheckPayloadAgainstStep(const ReleaseStep& step, const unsigned char* payload,
                                    std::size_t size, const unsigned char* digest,
                                    std::size_t digestSize)
{
    PayloadHeader header{};
    if (ReadPayloadHeader(payload, size, header) != PAYLOAD_OK)
    {
        return "the payload is shorter than its header";
    }
    if ((header.mask & 0xFF) != step.mask)
    {
        return "the payload's mask is " + Hex2(header.mask & 0xFF) + ", the description says " +
               Hex2(step.mask);
    }
    std::vector<unsigned char> executable;
    const PayloadResult expanded = ExpandPayload(payload, size, executable);
    if (expanded != PAYLOAD_OK)
    {
        return std::string("the payload does not decode: ") + DescribePayloadResult(expanded);
    }
    if (executable.size() != step.newSize)
    {
        return "the payload decodes to " + std::to_string(executable.size()) +
               " bytes, the new release has " + std::to_string(step.newSize);
    }
    if (digest != nullptr)
    {
        const Sha256::Digest actual = Sha256::Of(executable.data(), executable.size());
        if (digestSize != actual.size() || !std::equal(actual.begin(), actual.end(), digest))
        {
            return "the payload does not decode to the executable its digest names (sha256 " +
                   Sha256::ToHex(actual) + ")";
        }
    }
    PeVersion version;
    const PeResult read = ReadPeVersion(executable.data(), executable.size(), version);
    if (read != PE_OK)
    {
        return std::string("the payload's program: ") + DescribePeResult(read);
    }
    const ReleaseValues foundUtf8 = {
        Utf16ToUtf8(version.strings.fileDescription), Utf16ToUtf8(version.strings.productVersion),
        Utf16ToUtf8(version.strings.productName), Utf16ToUtf8(version.strings.specialBuild)};
    const ReleaseValues found = ToCp932(foundUtf8);
    const ReleaseValues oldValues = ToCp932(step.oldRelease);
    const ReleaseValues newValues = ToCp932(step.newRelease);
    const struct
    {
        const char* name;
        std::string ReleaseValues::*value;
    } compared[] = {
        {"FileDescription", &ReleaseValues::fileDescription},
        {"ProductVersion", &ReleaseValues::productVersion},
        {"ProductName", &ReleaseValues::productName},
        {"SpecialBuild", &ReleaseValues::specialBuild},
    };
    // Compared in code page 932, as the updater compares; told in UTF-8, as described.
    for (const auto& value : compared)
    {
        if (!VersionTextEquals((found.*value.value).c_str(), (newValues.*value.value).c_str()))
        {
            return std::string("the payload's program has ") + value.name + " " +
                   Quoted(foundUtf8.*value.value) + ", the new release " +
                   Quoted(step.newRelease.*value.value);
        }
    }
    const ReleaseCheckValues check = {
        oldValues.fileDescription.c_str(), oldValues.productVersion.c_str(),
        oldValues.productName.c_str(),     oldValues.specialBuild.c_str(),
        newValues.fileDescription.c_str(), newValues.productVersion.c_str(),
        newValues.productName.c_str()};
    if (ClassifyVersionValues(found.fileDescription.c_str(), found.productVersion.c_str(),
                              found.productName.c_str(), found.specialBuild.c_str(),
                              check) != RELEASE_ALREADY_DONE)
    {
        return "the updater would not call the payload's program already updated";
    }
    return std::string();
}

namespace
{

std::string DescribeValues(const ReleaseValues& values)
{
    return "FileDescription " + Quoted(values.fileDescription) + ", ProductVersion " +
           Quoted(values.productVersion) + ", ProductName " + Quoted(values.productName) +
           ", SpecialBuild " + Quoted(values.specialBuild);
}

// The updater's own version resource against the release it installs: "" when it names it,
// else what is wrong. *found gets the values it holds.
std::string CheckUpdaterIdentity(const PeFile& file, const ReleaseStep& step, std::string* found)
{
    const unsigned char* resource = nullptr;
    std::size_t length = 0;
    PeResult result = file.LocateResource(nullptr, 16, 1, &resource, &length);
    VersionBlock16 block;
    std::uint32_t translation = 0;
    if (result == PE_OK)
        result = block.Open(resource, length);
    if (result == PE_OK && !block.FirstTranslation(&translation))
        result = PE_NO_TRANSLATION;
    if (result != PE_OK)
        return std::string("no version resource of its own: ") + DescribePeResult(result);
    auto value = [&](const char* name)
    {
        std::u16string text;
        block.QueryString(translation, name, &text);
        return Utf16ToUtf8(text);
    };
    std::uint16_t numbers[4];
    VersionNumbersOf(step.newRelease.productVersion, numbers);
    const std::uint32_t ms = static_cast<std::uint32_t>(numbers[0]) << 16 | numbers[1];
    const std::uint32_t ls = static_cast<std::uint32_t>(numbers[2]) << 16 | numbers[3];
    const std::string fileVersion = value("FileVersion"), productVersion = value("ProductVersion"),
                      fileName = value("OriginalFilename");
    *found = "FileDescription " + Quoted(value("FileDescription")) + ", ProductName " +
             Quoted(value("ProductName")) + ", CompanyName " + Quoted(value("CompanyName")) +
             ", FileVersion " + Quoted(fileVersion) + ", ProductVersion " + Quoted(productVersion) +
             ", OriginalFilename " + Quoted(fileName) + ", numbers " +
             std::to_string(block.ProductVersionMs() >> 16) + "." +
             std::to_string(block.ProductVersionMs() & 0xFFFF) + "." +
             std::to_string(block.ProductVersionLs() >> 16) + "." +
             std::to_string(block.ProductVersionLs() & 0xFFFF);
    const std::string wanted = step.newRelease.productVersion;
    if (fileVersion != wanted || productVersion != wanted)
        return "its FileVersion and ProductVersion are not the new release's ProductVersion " +
               Quoted(wanted);
    if (!block.HasFixedInfo() || block.ProductVersionMs() != ms || block.ProductVersionLs() != ls)
        return "its version numbers are not those of " + Quoted(wanted);
    if (fileName != UPDATER_FILE_NAME)
        return std::string("its OriginalFilename is not ") + UPDATER_FILE_NAME;
    return std::string();
}

} // namespace

void VersionNumbersOf(const std::string& text, std::uint16_t numbers[4])
{
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i)
    {
        at = std::min(text.find_first_of("0123456789", at), text.size());
        std::uint32_t number = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
            number = std::min<std::uint32_t>(number * 10 + (text[at] - '0'), 65535);
        numbers[i] = static_cast<std::uint16_t>(number);
    }
}

bool CheckUpdaterFile(const unsigned char* data, std::size_t size, std::string* report)
{
    std::string& out = *report;
    out.clear();
    PeFile file;
    PeResult result = file.Open(data, size);
    if (result != PE_OK)
    {
        out = std::string("not an updater: ") + DescribePeResult(result) + "\n";
        return false;
    }
    const unsigned char* description = nullptr;
    std::size_t descriptionSize = 0;
    result = file.LocateResource("BIN", 0, IDR_RELEASE, &description, &descriptionSize);
    if (result != PE_OK)
    {
        out = std::string("no release description (resource BIN ") + std::to_string(IDR_RELEASE) +
              "): " + DescribePeResult(result) + "\n";
        return false;
    }
    ReleaseStep step;
    std::string error;
    if (!ParseReleaseStep(std::string(description, description + descriptionSize), &step, &error))
    {
        out = "the release description cannot be read: " + error + "\n";
        return false;
    }
    out += "release step carried by this updater:\n";
    out += "  updates   " + DescribeValues(step.oldRelease) + "\n";
    out += "            of exactly " + std::to_string(step.oldSize) + " bytes\n";
    out += "  to        " + DescribeValues(step.newRelease) + "\n";
    out += "            of " + std::to_string(step.newSize) + " bytes\n";
    out += "  shows     \xe3\x80\x90" + step.versionText + "\xe3\x80\x91\n";
    out += "  mask      " + Hex2(step.mask) + "\n";
    std::string identity;
    const std::string wrongIdentity = CheckUpdaterIdentity(file, step, &identity);
    if (!wrongIdentity.empty())
    {
        out += "  identity  WRONG: " + wrongIdentity + (identity.empty() ? "" : ": " + identity) +
               "\n";
        return false;
    }
    out += "  identity  " + identity + "\n";
    const unsigned char* digest = nullptr;
    std::size_t digestSize = 0;
    result = file.LocateResource("BIN", 0, IDR_PAYLOAD_DIGEST, &digest, &digestSize);
    if (result != PE_OK)
    {
        out += std::string("  digest    missing (the updater refuses to update without it): ") +
               DescribePeResult(result) + "\n";
        return false;
    }
    static const char HEX[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < digestSize; ++i)
    {
        hex += HEX[digest[i] >> 4];
        hex += HEX[digest[i] & 0xF];
    }
    out += "  digest    " + hex + "\n";
    const unsigned char* payload = nullptr;
    std::size_t payloadSize = 0;
    result = file.LocateResource("BIN", 0, IDR_PAYLOAD, &payload, &payloadSize);
    if (result != PE_OK)
    {
        out += std::string("payload     missing: ") + DescribePeResult(result) + "\n";
        return false;
    }
    const std::string problem =
        CheckPayloadAgainstStep(step, payload, payloadSize, digest, digestSize);
    if (!problem.empty())
    {
        out += "payload     " + std::to_string(payloadSize) + " bytes: WRONG: " + problem + "\n";
        return false;
    }
    out += "payload     " + std::to_string(payloadSize) +
           " bytes: decodes to the new release (its digest, four version values and size): ok\n";
    return true;
}
