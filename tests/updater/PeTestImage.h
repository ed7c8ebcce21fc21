#pragma once

// A program file made to measure (also the fuzz seeds): a version and "BIN" resources, its parts
// at fixed offsets (MakeImage) so that a test can damage exactly one of them.

#include <algorithm>
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
    std::vector<std::pair<std::u16string, Values>> tables = {
        {u"041103a4",
         {{u"FileDescription", u"Sample"},
          {u"ProductVersion", u"1, 0, 0, 1"},
          {u"ProductName", u"Larkspurgleam"}}}};
    std::vector<std::pair<std::uint16_t, Bytes>> bins; // resources "BIN" by number
};

// Writes the `width` low bytes of v at `at` (appending where needed), little-endian.
inline void Put(Bytes& b, std::size_t at, std::uint64_t v, int width = 4)
{
    b.resize(std::max(b.size(), at + width), 0);
    for (int i = 0; i < width; ++i)
        b[at + i] = static_cast<unsigned char>(i < 8 ? v >> 8 * i : 0);
}

inline Bytes Utf16(const std::u16string& text, Bytes bytes = {})
{
    for (char16_t c : text)
        Put(bytes, bytes.size(), c, 2);
    return bytes;
}

// One node of a version block: header, key, value, children, each part at a multiple of four.
inline Bytes Node(const std::u16string& key, const Bytes& value, std::uint64_t valueLength,
                  bool text, const std::vector<Bytes>& children)
{
    Bytes node = Utf16(u"\1\1\1" + key + u'\0'); // the header's six bytes, then the key
    for (const std::vector<Bytes>& parts : {std::vector<Bytes>{value}, children})
        for (const Bytes& part : parts)
        {
            node.resize((node.size() + 3) & ~std::size_t{3}, 0);
            node.insert(node.end(), part.begin(), part.end());
        }
    Put(node, 0, node.size() | valueLength << 16 | std::uint64_t{text} << 32, 6);
    return node;
}

inline Bytes VersionBlock(const ImageLayout& layout)
{
    std::vector<Bytes> tables;
    for (const auto& [key, values] : layout.tables)
    {
        std::vector<Bytes> strings;
        for (const auto& [name, value] : values)
            strings.push_back(Node(name, Utf16(value + u'\0'), value.size() + 1, true, {}));
        tables.push_back(Node(key, {}, 0, true, strings));
    }
    Bytes translation, fixed(52, 0); // the signature, then file and product version 1.0.0.1
    Put(translation, 0, layout.translation);
    Put(fixed, 0, 0x00010000FEEF04BD, 8);
    Put(fixed, 8, 0x0000000100010000, 8);
    Put(fixed, 16, 0x0000000100010000, 8);
    return Node(
        u"VS_VERSION_INFO", fixed, 52, false,
        {Node(u"StringFileInfo", {}, 0, true, tables),
         Node(u"VarFileInfo", {}, 0, true, {Node(u"Translation", translation, 4, false, {})})});
}

// Headers at 0x40 (PE), 0x58 (optional header), and the resource section at 0x200: the root
// directory, then for the version resource the name directory (+0x18 without BIN resources),
// the language directory (+0x30), the data entry (+0x48) and the version block (+0x58).
inline Bytes MakeImage(const ImageLayout& layout)
{
    constexpr std::uint32_t RVA = 0x1000, SECTION = 0x200;
    const std::size_t optional = 0x58, sectionHeader = optional + (layout.pe32Plus ? 240 : 224);
    const std::size_t resourceEntry = optional + (layout.pe32Plus ? 128 : 112);
    Bytes b;
    Put(b, 0, 'M' | 'Z' << 8, 2);
    Put(b, 0x3C, 0x40);
    Put(b, 0x40, 'P' | 'E' << 8);
    Put(b, 0x44, (layout.pe32Plus ? 0x8664 : 0x14c) | 1 << 16); // one section
    Put(b, 0x54, sectionHeader - optional, 2);
    Put(b, optional, layout.pe32Plus ? 0x20b : 0x10b, 2);
    Put(b, resourceEntry - 20, 16); // directories
    Bytes s;
    auto directory = [&s](std::uint64_t named, std::uint64_t ids)
    {
        const std::size_t at = s.size();
        Put(s, at + 12, named | ids << 16, 4 + 8 * (named + ids));
        return at;
    };
    // Points the entry at `at` to what is written next: a directory or a data entry.
    auto link = [&s](std::size_t at, std::uint32_t id, bool toDirectory)
    { Put(s, at, id | std::uint64_t{(toDirectory ? 0x80000000u : 0) | s.size()} << 32, 8); };
    // Name entry -> language directory -> data entry -> data.
    auto resource = [&](std::size_t entry, std::uint32_t name, const Bytes& data)
    {
        link(entry, name, true);
        link(directory(0, 1) + 16, 0x0411, false);
        Put(s, s.size(), (RVA + s.size() + 16) | std::uint64_t{data.size()} << 32, 16);
        s.insert(s.end(), data.begin(), data.end());
        s.resize((s.size() + 3) & ~std::size_t{3}, 0);
    };
    link(directory(layout.bins.empty() ? 0 : 1, 1) + (layout.bins.empty() ? 16 : 24), 16, true);
    resource(directory(0, 1) + 16, 1, VersionBlock(layout));
    if (!layout.bins.empty())
    {
        s.insert(s.end(), {3, 0, 'B', 0, 'I', 0, 'N', 0}); // a counted UTF-16 name
        link(16, 0x80000000u | static_cast<std::uint32_t>(s.size() - 8), true);
        const std::size_t names = directory(0, layout.bins.size());
        for (std::size_t i = 0; i < layout.bins.size(); ++i)
            resource(names + 16 + 8 * i, layout.bins[i].first, layout.bins[i].second);
    }
    b.resize(SECTION, 0);
    b.insert(b.end(), s.begin(), s.end());
    Put(b, resourceEntry, RVA | std::uint64_t{s.size()} << 32, 8);
    Put(b, sectionHeader, 0x637273722E, 8); // ".rsrc"
    Put(b, sectionHeader + 8, s.size() | std::uint64_t{RVA} << 32, 8);
    Put(b, sectionHeader + 16, s.size() | std::uint64_t{SECTION} << 32, 8);
    return b;
}

} // namespace petest
