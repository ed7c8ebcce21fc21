#include "PeImage.h"

namespace
{

constexpr std::uint32_t IMPORT_DIRECTORY = 1;
constexpr std::uint32_t RESOURCE_DIRECTORY = 2;
constexpr std::uint32_t DELAY_IMPORT_DIRECTORY = 13;
constexpr int MAX_NAME = 1024;

std::uint16_t Load16(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t Load32(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(Load16(bytes, at)) |
           static_cast<std::uint32_t>(Load16(bytes, at + 2)) << 16;
}

} // namespace

bool PeImage::ResourceId::Is(const char* text) const
{
    if (name.size() != std::char_traits<char>::length(text))
    {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        // Resource names are stored in upper case.
        char c = text[i];
        if (c >= 'a' && c <= 'z')
        {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (name[i] != static_cast<char16_t>(static_cast<unsigned char>(c)))
        {
            return false;
        }
    }
    return true;
}

PeImage::ResourceId PeImage::Id(std::uint16_t number)
{
    ResourceId id;
    id.number = number;
    return id;
}

PeImage::ResourceId PeImage::Id(const char* name)
{
    ResourceId id;
    for (const char* p = name; *p != '\0'; ++p)
    {
        id.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    }
    return id;
}

bool PeImage::Fail(const std::string& reason)
{
    error = reason;
    return false;
}

long long PeImage::Offset(std::uint32_t rva, std::uint32_t length) const
{
    for (const Section& section : sections)
    {
        const std::uint32_t size =
            section.virtualSize > section.rawSize ? section.rawSize : section.virtualSize;
        if (rva >= section.virtualAddress && rva - section.virtualAddress <= size &&
            length <= size - (rva - section.virtualAddress))
        {
            const long long offset =
                static_cast<long long>(section.rawOffset) + (rva - section.virtualAddress);
            if (offset + length <= static_cast<long long>(file.size()))
            {
                return offset;
            }
        }
    }
    return -1;
}

bool PeImage::ReadString(std::uint32_t rva, std::string& text) const
{
    text.clear();
    for (int i = 0; i < MAX_NAME; ++i)
    {
        const long long at = Offset(rva + static_cast<std::uint32_t>(i), 1);
        if (at < 0)
        {
            return false;
        }
        if (file[static_cast<std::size_t>(at)] == '\0')
        {
            return true;
        }
        text.push_back(file[static_cast<std::size_t>(at)]);
    }
    return false;
}

bool PeImage::ReadImports(std::uint32_t rva, bool delayed)
{
    // Import descriptors are 20 bytes with the name at offset 12; delay-load descriptors 32
    // bytes with the name at offset 4. A descriptor of zeros ends the table.
    const std::uint32_t size = delayed ? 32 : 20;
    const std::uint32_t nameAt = delayed ? 4 : 12;
    for (std::uint32_t entry = rva;; entry += size)
    {
        const long long at = Offset(entry, size);
        if (at < 0)
        {
            return Fail("import table outside the file");
        }
        const std::uint32_t name = Load32(file, static_cast<std::size_t>(at + nameAt));
        if (name == 0)
        {
            return true;
        }
        std::string dll;
        if (!ReadString(name, dll))
        {
            return Fail("unreadable DLL name");
        }
        (delayed ? delayImports : imports).push_back(dll);
    }
}

bool PeImage::ReadResourceDirectory(std::uint32_t base, std::uint32_t offset, int level,
                                    Resource& path)
{
    if (level > 2)
    {
        return Fail("resource tree deeper than type, name and language");
    }
    const long long at = Offset(base + offset, 16);
    if (at < 0)
    {
        return Fail("resource directory outside the file");
    }
    const std::size_t count = static_cast<std::size_t>(Load16(file, at + 12)) +
                              Load16(file, static_cast<std::size_t>(at + 14));
    for (std::size_t i = 0; i < count; ++i)
    {
        const long long entry = Offset(base + offset + 16 + static_cast<std::uint32_t>(8 * i), 8);
        if (entry < 0)
        {
            return Fail("resource entry outside the file");
        }
        const std::uint32_t nameField = Load32(file, static_cast<std::size_t>(entry));
        const std::uint32_t target = Load32(file, static_cast<std::size_t>(entry + 4));
        ResourceId id;
        if (nameField & 0x80000000u)
        {
            const long long name = Offset(base + (nameField & 0x7FFFFFFFu), 2);
            if (name < 0)
            {
                return Fail("resource name outside the file");
            }
            const std::uint16_t length = Load16(file, static_cast<std::size_t>(name));
            const long long text = Offset(base + (nameField & 0x7FFFFFFFu) + 2, 2u * length);
            if (text < 0)
            {
                return Fail("resource name outside the file");
            }
            for (std::uint16_t c = 0; c < length; ++c)
            {
                id.name.push_back(
                    static_cast<char16_t>(Load16(file, static_cast<std::size_t>(text + 2 * c))));
            }
        }
        else
        {
            id.number = static_cast<std::uint16_t>(nameField);
        }
        Resource here = path;
        if (level == 0)
        {
            here.type = id;
        }
        else if (level == 1)
        {
            here.name = id;
        }
        else
        {
            here.language = id.number;
        }
        if (target & 0x80000000u)
        {
            if (!ReadResourceDirectory(base, target & 0x7FFFFFFFu, level + 1, here))
            {
                return false;
            }
            continue;
        }
        const long long leaf = Offset(base + target, 16);
        if (leaf < 0)
        {
            return Fail("resource data entry outside the file");
        }
        const std::uint32_t dataRva = Load32(file, static_cast<std::size_t>(leaf));
        const std::uint32_t dataSize = Load32(file, static_cast<std::size_t>(leaf + 4));
        const long long data = Offset(dataRva, dataSize);
        if (data < 0)
        {
            return Fail("resource data outside the file");
        }
        here.data = file.substr(static_cast<std::size_t>(data), dataSize);
        resources.push_back(here);
    }
    return true;
}

bool PeImage::Parse(const std::string& bytes)
{
    *this = PeImage();
    file = bytes;
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z')
    {
        return Fail("no MZ header");
    }
    const std::uint32_t pe = Load32(file, 0x3C);
    if (pe > file.size() || file.size() - pe < 24 || file.compare(pe, 4, std::string("PE\0\0", 4)))
    {
        return Fail("no PE signature");
    }
    machine = Load16(file, pe + 4);
    const std::uint16_t sectionCount = Load16(file, pe + 6);
    const std::uint16_t optionalSize = Load16(file, pe + 20);
    const std::size_t optional = pe + 24;
    if (file.size() < optional + optionalSize || optionalSize < 96)
    {
        return Fail("optional header cut off");
    }
    magic = Load16(file, optional);
    if (magic != 0x10b && magic != 0x20b)
    {
        return Fail("unknown optional header");
    }
    subsystem = Load16(file, optional + 68);
    const std::size_t directoryCountAt = optional + (magic == 0x10b ? 92 : 108);
    const std::uint32_t directoryCount = Load32(file, directoryCountAt);
    const std::size_t directories = directoryCountAt + 4;

    const std::size_t sectionTable = optional + optionalSize;
    if (file.size() < sectionTable + 40u * sectionCount)
    {
        return Fail("section table cut off");
    }
    for (std::uint16_t i = 0; i < sectionCount; ++i)
    {
        const std::size_t at = sectionTable + 40u * i;
        sections.push_back({Load32(file, at + 12), Load32(file, at + 8), Load32(file, at + 20),
                            Load32(file, at + 16)});
    }

    auto directory = [&](std::uint32_t index) -> std::uint32_t
    {
        if (index >= directoryCount || directories + 8u * index + 8 > optional + optionalSize)
        {
            return 0;
        }
        return Load32(file, directories + 8u * index);
    };
    if (directory(IMPORT_DIRECTORY) != 0 && !ReadImports(directory(IMPORT_DIRECTORY), false))
    {
        return false;
    }
    if (directory(DELAY_IMPORT_DIRECTORY) != 0 &&
        !ReadImports(directory(DELAY_IMPORT_DIRECTORY), true))
    {
        return false;
    }
    Resource root;
    if (directory(RESOURCE_DIRECTORY) != 0 &&
        !ReadResourceDirectory(directory(RESOURCE_DIRECTORY), 0, 0, root))
    {
        return false;
    }
    return true;
}

const PeImage::Resource* PeImage::Find(const ResourceId& type, const ResourceId& name) const
{
    for (const Resource& resource : resources)
    {
        if (resource.type.number == type.number && resource.type.name == type.name &&
            resource.name.number == name.number && resource.name.name == name.name)
        {
            return &resource;
        }
    }
    return nullptr;
}
