#pragma once

// A small program file made to measure for the reader's tests and fuzz target: headers, one
// resource section with a version resource (and optionally a "BIN" resource), nothing else.
// The offsets of its parts are kept so that a test can damage exactly one of them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace petest
{

using Bytes = std::vector<unsigned char>;
using Values = std::vector<std::pair<std::u16string, std::u16string>>;

struct ImageLayout
{
    bool pe32Plus = false;
    std::uint32_t translation = 0x03a40411; // code page 932, Japanese
    bool withTranslation = true;
    bool withFixedInfo = true;
    std::uint32_t productMs = 0x00010000; // 1.0
    std::uint32_t productLs = 0x00000001; // .0.1
    std::vector<std::pair<std::u16string, Values>> tables = {
        {u"041103a4",
         {{u"FileDescription", u"Sample"},
          {u"ProductVersion", u"1, 0, 0, 1"},
          {u"ProductName", u"Larkspurgleam"}}}};
    Bytes bin; // the data of resource "BIN" 109 when not empty
};

struct Image
{
    Bytes bytes;
    // File offsets of the parts.
    std::size_t peHeader = 0;
    std::size_t optionalHeader = 0;
    std::size_t resourceEntry = 0; // the optional header's resource directory entry
    std::size_t sectionHeader = 0;
    std::size_t section = 0;       // the resource section; directories are relative to it
    std::size_t rootDirectory = 0; // == section
    std::size_t typeEntry = 0;     // the root's entry for type 16
    std::size_t nameDirectory = 0;
    std::size_t languageDirectory = 0;
    std::size_t dataEntry = 0;
    std::size_t versionBlock = 0;
    std::uint32_t sectionRva = 0x1000;
};

inline void Put16(Bytes& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

inline void Put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

inline void Align4(Bytes& b)
{
    while (b.size() % 4 != 0)
        b.push_back(0);
}

// One node of a version block: header, key, value, children; wLength covers all but the
// padding after it.
inline Bytes VersionNode(const std::u16string& key, const Bytes& value, std::uint16_t valueLength,
                         bool text, const std::vector<Bytes>& children)
{
    Bytes node(6, 0);
    for (char16_t c : key)
    {
        node.push_back(static_cast<unsigned char>(c));
        node.push_back(static_cast<unsigned char>(c >> 8));
    }
    node.push_back(0);
    node.push_back(0);
    Align4(node);
    node.insert(node.end(), value.begin(), value.end());
    for (const Bytes& child : children)
    {
        Align4(node);
        node.insert(node.end(), child.begin(), child.end());
    }
    Put16(node, 0, static_cast<std::uint32_t>(node.size()));
    Put16(node, 2, valueLength);
    Put16(node, 4, text ? 1 : 0);
    return node;
}

inline Bytes StringNode(const std::u16string& key, const std::u16string& value)
{
    Bytes bytes;
    for (char16_t c : value + u'\0')
    {
        bytes.push_back(static_cast<unsigned char>(c));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return VersionNode(key, bytes, static_cast<std::uint16_t>(value.size() + 1), true, {});
}

inline Bytes VersionBlock(const ImageLayout& layout)
{
    std::vector<Bytes> tables;
    for (const auto& table : layout.tables)
    {
        std::vector<Bytes> strings;
        for (const auto& value : table.second)
            strings.push_back(StringNode(value.first, value.second));
        tables.push_back(VersionNode(table.first, {}, 0, true, strings));
    }
    std::vector<Bytes> top = {VersionNode(u"StringFileInfo", {}, 0, true, tables)};
    if (layout.withTranslation)
    {
        Bytes translation(4, 0);
        Put32(translation, 0, layout.translation);
        top.push_back(VersionNode(u"VarFileInfo", {}, 0, true,
                                  {VersionNode(u"Translation", translation, 4, false, {})}));
    }
    Bytes fixed;
    if (layout.withFixedInfo)
    {
        fixed.assign(52, 0);
        Put32(fixed, 0, 0xFEEF04BD);
        Put32(fixed, 4, 0x00010000);
        Put32(fixed, 8, layout.productMs);
        Put32(fixed, 12, layout.productLs);
        Put32(fixed, 16, layout.productMs);
        Put32(fixed, 20, layout.productLs);
    }
    return VersionNode(u"VS_VERSION_INFO", fixed, static_cast<std::uint16_t>(fixed.size()), false,
                       top);
}

inline Image MakeImage(const ImageLayout& layout)
{
    Image image;
    Bytes& b = image.bytes;
    const std::size_t optionalSize = layout.pe32Plus ? 240 : 224;
    image.peHeader = 0x40;
    image.optionalHeader = image.peHeader + 24;
    image.sectionHeader = image.optionalHeader + optionalSize;
    image.section = 0x200;
    b.assign(image.section, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, static_cast<std::uint32_t>(image.peHeader));
    b[image.peHeader] = 'P';
    b[image.peHeader + 1] = 'E';
    Put16(b, image.peHeader + 4, layout.pe32Plus ? 0x8664 : 0x14c);
    Put16(b, image.peHeader + 6, 1);
    Put16(b, image.peHeader + 20, static_cast<std::uint32_t>(optionalSize));
    Put16(b, image.optionalHeader, layout.pe32Plus ? 0x20b : 0x10b);
    const std::size_t directories = image.optionalHeader + (layout.pe32Plus ? 112 : 96);
    Put32(b, directories - 4, 16);
    image.resourceEntry = directories + 16;

    // The resource section: type directory, name directory, language directory, data entry,
    // the version block, then the optional BIN resource.
    const bool withBin = !layout.bin.empty();
    Bytes s(withBin ? 32 : 24, 0);
    image.rootDirectory = image.section;
    Put16(s, 12, withBin ? 1 : 0);
    Put16(s, 14, 1);
    std::size_t entry = 16;
    std::size_t binTypeEntry = 0;
    if (withBin)
    {
        binTypeEntry = entry;
        entry += 8;
    }
    image.typeEntry = image.section + entry;
    const std::size_t nameDirectory = s.size();
    Put32(s, entry, 16);
    Put32(s, entry + 4, 0x80000000u | static_cast<std::uint32_t>(nameDirectory));
    s.resize(s.size() + 24, 0);
    Put16(s, nameDirectory + 14, 1);
    const std::size_t languageDirectory = s.size();
    Put32(s, nameDirectory + 16, 1);
    Put32(s, nameDirectory + 20, 0x80000000u | static_cast<std::uint32_t>(languageDirectory));
    s.resize(s.size() + 24, 0);
    Put16(s, languageDirectory + 14, 1);
    const std::size_t dataEntry = s.size();
    Put32(s, languageDirectory + 16, 0x0411);
    Put32(s, languageDirectory + 20, static_cast<std::uint32_t>(dataEntry));
    s.resize(s.size() + 16, 0);
    const Bytes block = VersionBlock(layout);
    const std::size_t blockAt = s.size();
    Put32(s, dataEntry, image.sectionRva + static_cast<std::uint32_t>(blockAt));
    Put32(s, dataEntry + 4, static_cast<std::uint32_t>(block.size()));
    s.insert(s.end(), block.begin(), block.end());
    Align4(s);
    if (withBin)
    {
        // Named type "BIN", name 109, language 0x411.
        const std::size_t name = s.size();
        const std::u16string bin = u"BIN";
        s.resize(s.size() + 8, 0);
        Put16(s, name, 3);
        for (std::size_t i = 0; i < 3; ++i)
            Put16(s, name + 2 + 2 * i, bin[i]);
        const std::size_t binNames = s.size();
        s.resize(s.size() + 24, 0);
        Put16(s, binNames + 14, 1);
        const std::size_t binLanguages = s.size();
        Put32(s, binNames + 16, 109);
        Put32(s, binNames + 20, 0x80000000u | static_cast<std::uint32_t>(binLanguages));
        s.resize(s.size() + 24, 0);
        Put16(s, binLanguages + 14, 1);
        const std::size_t binEntry = s.size();
        Put32(s, binLanguages + 16, 0x0411);
        Put32(s, binLanguages + 20, static_cast<std::uint32_t>(binEntry));
        s.resize(s.size() + 16, 0);
        Put32(s, binEntry, image.sectionRva + static_cast<std::uint32_t>(s.size()));
        Put32(s, binEntry + 4, static_cast<std::uint32_t>(layout.bin.size()));
        s.insert(s.end(), layout.bin.begin(), layout.bin.end());
        Put32(s, binTypeEntry, 0x80000000u | static_cast<std::uint32_t>(name));
        Put32(s, binTypeEntry + 4, 0x80000000u | static_cast<std::uint32_t>(binNames));
    }
    Align4(s);
    image.nameDirectory = image.section + nameDirectory;
    image.languageDirectory = image.section + languageDirectory;
    image.dataEntry = image.section + dataEntry;
    image.versionBlock = image.section + blockAt;
    b.insert(b.end(), s.begin(), s.end());

    Put32(b, image.resourceEntry, image.sectionRva);
    Put32(b, image.resourceEntry + 4, static_cast<std::uint32_t>(s.size()));
    const std::size_t h = image.sectionHeader;
    const char name[] = ".rsrc";
    for (std::size_t i = 0; i < 5; ++i)
        b[h + i] = static_cast<unsigned char>(name[i]);
    Put32(b, h + 8, static_cast<std::uint32_t>(s.size()));
    Put32(b, h + 12, image.sectionRva);
    Put32(b, h + 16, static_cast<std::uint32_t>(s.size()));
    Put32(b, h + 20, static_cast<std::uint32_t>(image.section));
    return image;
}

} // namespace petest
