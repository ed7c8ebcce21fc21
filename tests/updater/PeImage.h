#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A reader for the parts of a Windows program file (PE32 or PE32+) that the tests look at:
// the file header, the subsystem, the imported DLLs and the resources. Reads the file's bytes
// only; nothing is loaded or run, so it reads 32-bit programs from a 64-bit test as well.
class PeImage
{
public:
    // A resource name or type: a number, or a name when `name` is not empty.
    struct ResourceId
    {
        std::uint16_t number = 0;
        std::u16string name;

        bool Is(std::uint16_t value) const { return name.empty() && number == value; }
        bool Is(const char* text) const;
    };

    struct Resource
    {
        ResourceId type;
        ResourceId name;
        std::uint16_t language = 0;
        std::string data;
    };

    // Parses `bytes`. false, with a reason in Error(), when they are not a well-formed program
    // file as far as the parts above go.
    bool Parse(const std::string& bytes);
    const std::string& Error() const { return error; }

    std::uint16_t Machine() const { return machine; }
    std::uint16_t OptionalMagic() const { return magic; } // 0x10b PE32, 0x20b PE32+
    std::uint16_t Subsystem() const { return subsystem; }
    const std::vector<std::string>& Imports() const { return imports; }
    const std::vector<std::string>& DelayImports() const { return delayImports; }
    const std::vector<Resource>& Resources() const { return resources; }

    // The first resource of that type and name (any language), or null.
    const Resource* Find(const ResourceId& type, const ResourceId& name) const;

    static ResourceId Id(std::uint16_t number);
    static ResourceId Id(const char* name);

private:
    struct Section
    {
        std::uint32_t virtualAddress;
        std::uint32_t virtualSize;
        std::uint32_t rawOffset;
        std::uint32_t rawSize;
    };

    bool Fail(const std::string& reason);
    // The file offset of `rva` with at least `length` bytes readable there, or -1.
    long long Offset(std::uint32_t rva, std::uint32_t length) const;
    bool ReadString(std::uint32_t rva, std::string& text) const;
    bool ReadImports(std::uint32_t rva, bool delayed);
    bool ReadResourceDirectory(std::uint32_t base, std::uint32_t offset, int level, Resource& path);

    std::string file;
    std::string error;
    std::vector<Section> sections;
    std::uint16_t machine = 0;
    std::uint16_t magic = 0;
    std::uint16_t subsystem = 0;
    std::vector<std::string> imports;
    std::vector<std::string> delayImports;
    std::vector<Resource> resources;
};
