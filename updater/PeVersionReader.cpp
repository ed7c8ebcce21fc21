#include "PeVersionReader.h"

namespace
{

constexpr std::uint16_t VERSION_RESOURCE_TYPE = 16;
constexpr std::uint16_t VERSION_RESOURCE_NAME = 1;
constexpr std::uint32_t RESOURCE_DIRECTORY_INDEX = 2;
constexpr std::uint32_t SUBDIRECTORY = 0x80000000u;
constexpr std::uint32_t FIXED_INFO_SIGNATURE = 0xFEEF04BDu;
constexpr std::size_t FIXED_INFO_SIZE = 52;

std::uint16_t Load16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t Load32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(Load16(p)) | static_cast<std::uint32_t>(Load16(p + 2)) << 16;
}

std::size_t Align4(std::size_t offset)
{
    return (offset + 3) & ~static_cast<std::size_t>(3);
}

char FoldAscii(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char>(c - u'a' + 'A')
                                  : static_cast<char>(c < 0x80 ? c : 0);
}

char FoldAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

const char* DescribePeResult(PeResult result)
{
    switch (result)
    {
    case PE_OK:
        return "ok";
    case PE_NOT_PE:
        return "not a Windows program file (no MZ header or no PE signature)";
    case PE_TRUNCATED:
        return "the program file's headers are cut off";
    case PE_BAD_RESOURCES:
        return "the resource directory is malformed (it points outside the file)";
    case PE_NO_RESOURCE:
        return "no version resource";
    case PE_BAD_VERSION:
        return "the version resource is malformed";
    case PE_NO_TRANSLATION:
        return "the version resource has no Translation value";
    }
    return "unknown error";
}

PeResult PeFile::Open(const unsigned char* data, std::size_t length)
{
    *this = PeFile();
    if (data == nullptr || length < 0x40 || data[0] != 'M' || data[1] != 'Z')
    {
        return PE_NOT_PE;
    }
    const std::uint32_t pe = Load32(data + 0x3C);
    if (pe > length || length - pe < 24)
    {
        return PE_TRUNCATED;
    }
    if (data[pe] != 'P' || data[pe + 1] != 'E' || data[pe + 2] != 0 || data[pe + 3] != 0)
    {
        return PE_NOT_PE;
    }
    const std::uint16_t sectionCount = Load16(data + pe + 6);
    const std::uint16_t optionalSize = Load16(data + pe + 20);
    const std::size_t optional = static_cast<std::size_t>(pe) + 24;
    if (optionalSize < 2 || length - optional < optionalSize)
    {
        return PE_TRUNCATED;
    }
    const std::uint16_t magic = Load16(data + optional);
    if (magic != 0x10b && magic != 0x20b)
    {
        return PE_NOT_PE;
    }
    const std::size_t sectionTable = optional + optionalSize;
    if ((length - sectionTable) / 40 < sectionCount)
    {
        return PE_TRUNCATED;
    }

    bytes = data;
    size = length;
    machine = Load16(data + pe + 4);
    pe32Plus = magic == 0x20b;
    // The resource directory's entry, when the optional header is long enough to hold it.
    const std::size_t countAt = optional + (pe32Plus ? 108 : 92);
    const std::size_t entryAt = countAt + 4 + 8 * RESOURCE_DIRECTORY_INDEX;
    if (entryAt + 8 <= sectionTable && Load32(data + countAt) > RESOURCE_DIRECTORY_INDEX)
    {
        resourceRva = Load32(data + entryAt);
        resourceSize = Load32(data + entryAt + 4);
    }
    for (std::uint16_t i = 0; i < sectionCount; ++i)
    {
        const unsigned char* header = data + sectionTable + 40u * i;
        const std::uint32_t virtualSize = Load32(header + 8);
        const std::uint32_t rawSize = Load32(header + 16);
        const std::uint32_t rawOffset = Load32(header + 20);
        // Only the part that the file holds can be read; the rest of the section is zeros in
        // memory but nothing a resource may point into here.
        std::uint32_t backed = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
        if (rawOffset >= length)
        {
            backed = 0;
        }
        else if (backed > length - rawOffset)
        {
            backed = static_cast<std::uint32_t>(length - rawOffset);
        }
        sections.push_back({Load32(header + 12), backed, rawOffset});
    }
    return PE_OK;
}

long long PeFile::Offset(std::uint32_t rva, std::uint32_t length) const
{
    for (const Section& section : sections)
    {
        if (rva >= section.virtualAddress && rva - section.virtualAddress <= section.size &&
            length <= section.size - (rva - section.virtualAddress))
        {
            return static_cast<long long>(section.rawOffset) + (rva - section.virtualAddress);
        }
    }
    return -1;
}

bool PeFile::NameEquals(std::uint32_t nameOffset, const char* name) const
{
    const std::uint64_t rva = static_cast<std::uint64_t>(resourceRva) + nameOffset;
    if (rva > 0xFFFFFFFFu)
    {
        return false;
    }
    const long long at = Offset(static_cast<std::uint32_t>(rva), 2);
    if (at < 0)
    {
        return false;
    }
    const std::uint16_t length = Load16(bytes + at);
    const std::size_t expected = std::char_traits<char>::length(name);
    if (length != expected)
    {
        return false;
    }
    const long long text = Offset(static_cast<std::uint32_t>(rva + 2), 2u * length);
    if (text < 0)
    {
        return false;
    }
    for (std::size_t i = 0; i < expected; ++i)
    {
        const char16_t c = static_cast<char16_t>(Load16(bytes + text + 2 * i));
        if (FoldAscii(c) != FoldAscii(name[i]) || FoldAscii(c) == 0)
        {
            return false;
        }
    }
    return true;
}

PeResult PeFile::FindEntry(std::uint32_t directory, const char* name, std::uint16_t number,
                           bool anyOrNeutral, std::uint32_t* target) const
{
    const std::uint64_t rva = static_cast<std::uint64_t>(resourceRva) + directory;
    if (rva > 0xFFFFFFFFu - 16)
    {
        return PE_BAD_RESOURCES;
    }
    const long long at = Offset(static_cast<std::uint32_t>(rva), 16);
    if (at < 0)
    {
        return PE_BAD_RESOURCES;
    }
    const std::uint32_t count =
        static_cast<std::uint32_t>(Load16(bytes + at + 12)) + Load16(bytes + at + 14);
    if (Offset(static_cast<std::uint32_t>(rva + 16), 8 * count) < 0)
    {
        return PE_BAD_RESOURCES;
    }
    // The language level: the order in which the system's resource lookup tries languages for
    // a program on a Japanese system (the updater's users): neutral, Japanese, English, then
    // the first entry.
    static const std::uint32_t PREFERRED[] = {0x0000, 0x0400, 0x0411, 0x0011, 0x0409, 0x0009};
    std::size_t best = sizeof PREFERRED / sizeof PREFERRED[0];
    bool found = false;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const unsigned char* entry = bytes + at + 16 + 8 * i;
        const std::uint32_t id = Load32(entry);
        const std::uint32_t pointer = Load32(entry + 4);
        if (anyOrNeutral)
        {
            std::size_t rank = 0;
            while (rank < best && PREFERRED[rank] != id)
            {
                ++rank;
            }
            if (!found || rank < best)
            {
                *target = pointer;
                best = rank < best ? rank : best;
                found = true;
            }
            continue;
        }
        const bool matches = (id & SUBDIRECTORY) != 0
                                 ? name != nullptr && NameEquals(id & ~SUBDIRECTORY, name)
                                 : name == nullptr && id == number;
        if (matches)
        {
            *target = pointer;
            return PE_OK;
        }
    }
    return found ? PE_OK : PE_NO_RESOURCE;
}

PeResult PeFile::LocateResource(const char* typeName, std::uint16_t typeNumber, std::uint16_t name,
                                const unsigned char** resource, std::size_t* length) const
{
    *resource = nullptr;
    *length = 0;
    if (bytes == nullptr || resourceRva == 0 || resourceSize == 0)
    {
        return PE_NO_RESOURCE;
    }
    // Type, name and language: three levels, each but the last a subdirectory. The depth is
    // fixed, so a directory that points back at one above it cannot make the walk go round.
    std::uint32_t target = 0;
    PeResult result = FindEntry(0, typeName, typeNumber, false, &target);
    if (result != PE_OK)
    {
        return result;
    }
    if ((target & SUBDIRECTORY) == 0)
    {
        return PE_BAD_RESOURCES;
    }
    result = FindEntry(target & ~SUBDIRECTORY, nullptr, name, false, &target);
    if (result != PE_OK)
    {
        return result;
    }
    if ((target & SUBDIRECTORY) == 0)
    {
        return PE_BAD_RESOURCES;
    }
    result = FindEntry(target & ~SUBDIRECTORY, nullptr, 0, true, &target);
    if (result != PE_OK)
    {
        return result;
    }
    if ((target & SUBDIRECTORY) != 0)
    {
        return PE_BAD_RESOURCES;
    }
    const std::uint64_t entryRva = static_cast<std::uint64_t>(resourceRva) + target;
    const long long entry =
        entryRva > 0xFFFFFFFFu ? -1 : Offset(static_cast<std::uint32_t>(entryRva), 16);
    if (entry < 0)
    {
        return PE_BAD_RESOURCES;
    }
    const std::uint32_t dataSize = Load32(bytes + entry + 4);
    const long long data = Offset(Load32(bytes + entry), dataSize);
    if (data < 0)
    {
        return PE_BAD_RESOURCES;
    }
    *resource = bytes + data;
    *length = dataSize;
    return PE_OK;
}

PeResult VersionBlock16::Open(const unsigned char* data, std::size_t length)
{
    *this = VersionBlock16();
    bytes = data;
    size = length;
    if (data == nullptr || !ReadNode(0, length, &root))
    {
        return PE_BAD_VERSION;
    }
    if (root.valueLength >= FIXED_INFO_SIZE && Load32(bytes + root.value) == FIXED_INFO_SIGNATURE)
    {
        fixedInfo = true;
        productMs = Load32(bytes + root.value + 16);
        productLs = Load32(bytes + root.value + 20);
    }
    return PE_OK;
}

bool VersionBlock16::ReadNode(std::size_t at, std::size_t limit, Node* node) const
{
    // wLength, wValueLength, wType, then the NUL-terminated key; value and children start on
    // 4-byte boundaries of the block.
    if (at > limit || limit - at < 6)
    {
        return false;
    }
    const std::size_t length = Load16(bytes + at);
    if (length < 6 || length > limit - at)
    {
        return false;
    }
    node->start = at;
    node->end = at + length;
    std::size_t key = at + 6;
    while (key + 2 <= node->end && Load16(bytes + key) != 0)
    {
        key += 2;
    }
    if (key + 2 > node->end)
    {
        return false;
    }
    const std::size_t valueLength = Load16(bytes + at + 2);
    const bool text = Load16(bytes + at + 4) == 1;
    node->value = Align4(key + 2) < node->end ? Align4(key + 2) : node->end;
    const std::size_t valueBytes = text ? 2 * valueLength : valueLength;
    node->valueLength = valueBytes < node->end - node->value ? valueBytes : node->end - node->value;
    const std::size_t children = Align4(node->value + node->valueLength);
    node->children = children < node->end ? children : node->end;
    return true;
}

bool VersionBlock16::KeyEquals(const Node& node, const char* key) const
{
    std::size_t at = node.start + 6;
    for (; *key != '\0'; ++key, at += 2)
    {
        const char16_t c = static_cast<char16_t>(Load16(bytes + at));
        if (c == 0 || FoldAscii(c) != FoldAscii(*key))
        {
            return false;
        }
    }
    return Load16(bytes + at) == 0;
}

bool VersionBlock16::FindChild(const Node& parent, const char* key, Node* child) const
{
    for (std::size_t at = parent.children; at < parent.end; at = Align4(child->end))
    {
        if (!ReadNode(at, parent.end, child))
        {
            return false;
        }
        if (KeyEquals(*child, key))
        {
            return true;
        }
    }
    return false;
}

bool VersionBlock16::FirstTranslation(std::uint32_t* translation) const
{
    Node info;
    Node value;
    if (bytes == nullptr || !FindChild(root, "VarFileInfo", &info) ||
        !FindChild(info, "Translation", &value) || Load16(bytes + value.start + 2) < 4 ||
        value.valueLength < 4)
    {
        return false;
    }
    *translation = Load32(bytes + value.value);
    return true;
}

bool VersionBlock16::QueryPair(std::uint16_t language, std::uint16_t codePage, const char* name,
                               std::u16string* value) const
{
    static const char HEX[] = "0123456789abcdef";
    char table[9];
    const std::uint32_t key = static_cast<std::uint32_t>(language) << 16 | codePage;
    for (int i = 0; i < 8; ++i)
    {
        table[i] = HEX[(key >> (28 - 4 * i)) & 0xF];
    }
    table[8] = '\0';
    Node info;
    Node strings;
    Node entry;
    if (!FindChild(root, "StringFileInfo", &info) || !FindChild(info, table, &strings) ||
        !FindChild(strings, name, &entry))
    {
        return false;
    }
    value->clear();
    for (std::size_t at = entry.value; at + 2 <= entry.value + entry.valueLength; at += 2)
    {
        const char16_t c = static_cast<char16_t>(Load16(bytes + at));
        if (c == 0)
        {
            break;
        }
        value->push_back(c);
    }
    return true;
}

bool VersionBlock16::QueryString(std::uint32_t translation, const char* name,
                                 std::u16string* value) const
{
    value->clear();
    if (bytes == nullptr)
    {
        return false;
    }
    if (QueryPair(static_cast<std::uint16_t>(translation & 0xFFFF),
                  static_cast<std::uint16_t>(translation >> 16), name, value))
    {
        return true;
    }
    for (std::uint16_t codePage : VERSION_CODE_PAGES)
    {
        for (std::uint16_t language : VERSION_LANGUAGES)
        {
            if (QueryPair(language, codePage, name, value))
            {
                return true;
            }
        }
    }
    return false;
}

PeResult ReadPeVersion(const unsigned char* data, std::size_t size, PeVersion& version)
{
    version = PeVersion();
    PeFile file;
    PeResult result = file.Open(data, size);
    if (result != PE_OK)
    {
        return result;
    }
    version.machine = file.Machine();
    version.pe32Plus = file.IsPe32Plus();
    const unsigned char* resource = nullptr;
    std::size_t length = 0;
    result = file.LocateResource(nullptr, VERSION_RESOURCE_TYPE, VERSION_RESOURCE_NAME, &resource,
                                 &length);
    if (result != PE_OK)
    {
        return result;
    }
    VersionBlock16 block;
    result = block.Open(resource, length);
    if (result != PE_OK)
    {
        return result;
    }
    std::uint32_t translation = 0;
    if (!block.FirstTranslation(&translation))
    {
        return PE_NO_TRANSLATION;
    }
    version.hasFixedInfo = block.HasFixedInfo();
    version.productVersionMs = block.ProductVersionMs();
    version.productVersionLs = block.ProductVersionLs();
    block.QueryString(translation, "FileDescription", &version.strings.fileDescription);
    block.QueryString(translation, "ProductVersion", &version.strings.productVersion);
    block.QueryString(translation, "ProductName", &version.strings.productName);
    block.QueryString(translation, "SpecialBuild", &version.strings.specialBuild);
    return PE_OK;
}
