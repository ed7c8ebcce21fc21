#pragma once

// Reads a Windows program file's resources and version information from its bytes alone, with
// no Windows API: the publisher's tool runs on Linux, and it must see exactly what the updater's
// version check sees. Every offset and length is checked against the bytes given; malformed
// input yields an error, never a read outside them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum PeResult : int
{
    PE_OK = 0,
    PE_NOT_PE,         // no MZ header or no PE signature
    PE_TRUNCATED,      // a header or the section table runs past the end of the file
    PE_BAD_RESOURCES,  // the resource tree points outside the file or is not three levels deep
    PE_NO_RESOURCE,    // no resource of the wanted type and name
    PE_BAD_VERSION,    // the version block's root node is malformed
    PE_NO_TRANSLATION, // the version block has no usable "\VarFileInfo\Translation" value
};

// A short English description of a result, for messages.
const char* DescribePeResult(PeResult result);

// The character sets and languages that the version-resource documentation lists, in the order
// in which the version check tries them after the first Translation entry.
inline constexpr std::uint16_t VERSION_CODE_PAGES[] = {0,    932,  949,  950,  1200, 1250,
                                                       1251, 1252, 1253, 1254, 1255, 1256};
inline constexpr std::uint16_t VERSION_LANGUAGES[] = {
    0x0401, 0x0402, 0x0403, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409, 0x040a, 0x040b, 0x040c,
    0x040d, 0x040e, 0x040f, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418,
    0x0419, 0x041a, 0x041b, 0x041c, 0x041d, 0x041e, 0x041f, 0x0420, 0x0421, 0x0804, 0x0807, 0x0809,
    0x080a, 0x080c, 0x0810, 0x0813, 0x0814, 0x0816, 0x081a, 0x0c0c, 0x100c};

// The headers of a program file and a way to its resources.
class PeFile
{
public:
    // Parses the headers and the section table of `data` (which must outlive this object).
    PeResult Open(const unsigned char* data, std::size_t size);

    std::uint16_t Machine() const { return machine; } // 0x14c i386, 0x8664 x86-64, ...
    bool IsPe32Plus() const { return pe32Plus; }
    // "32-bit" or "64-bit" from the optional header's magic.
    const char* Bitness() const { return pe32Plus ? "64-bit" : "32-bit"; }

    // Finds the resource of `type` and `name` (each a number, or an upper-case ASCII name when
    // `typeName` is not null) and points *resource at its bytes inside the file. Of several
    // languages the one the system would load on a Japanese system is taken: neutral,
    // Japanese, English, else the first in the directory.
    PeResult FindResource(const char* typeName, std::uint16_t typeNumber, std::uint16_t name,
                          const unsigned char** resource, std::size_t* length) const;

private:
    struct Section
    {
        std::uint32_t virtualAddress;
        std::uint32_t size; // the part backed by the file
        std::uint32_t rawOffset;
    };

    // The file offset of `length` bytes at `rva`, or -1 when they are not all in the file.
    long long Offset(std::uint32_t rva, std::uint32_t length) const;
    // The entry of the directory at `directory` (relative to the resource section) matching the
    // id; its 32-bit target in *target. PE_NO_RESOURCE when absent.
    PeResult FindEntry(std::uint32_t directory, const char* name, std::uint16_t number,
                       bool anyOrNeutral, std::uint32_t* target) const;
    bool NameEquals(std::uint32_t nameOffset, const char* name) const;

    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    std::uint16_t machine = 0;
    bool pe32Plus = false;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    std::vector<Section> sections;
};

// A VS_VERSIONINFO block (the wide-character form), queried as the version API does: path
// components matched without regard to ASCII case, the first match winning.
class VersionBlock16
{
public:
    // Checks the root node and its fixed part. The bytes must outlive this object.
    PeResult Open(const unsigned char* data, std::size_t size);

    // Whether the root carries the fixed part (VS_FIXEDFILEINFO), and its product version:
    // major.minor in the high word pair, build.revision in the low one.
    bool HasFixedInfo() const { return fixedInfo; }
    std::uint32_t ProductVersionMs() const { return productMs; }
    std::uint32_t ProductVersionLs() const { return productLs; }

    // The first "\VarFileInfo\Translation" entry (language in the low 16 bits); false when the
    // value is missing or shorter than one entry.
    bool FirstTranslation(std::uint32_t* translation) const;

    // Looks up the string `name` as the updater's check does: under the language and code page
    // of `translation` first, then under every pair of VERSION_CODE_PAGES x VERSION_LANGUAGES,
    // code page first. The value ends at its first NUL. false when not found.
    bool QueryString(std::uint32_t translation, const char* name, std::u16string* value) const;

private:
    struct Node
    {
        std::size_t start;
        std::size_t end;   // start + wLength, within the parent
        std::size_t value; // first byte of the value
        std::size_t valueLength;
        std::size_t children;
    };

    bool ReadNode(std::size_t at, std::size_t limit, Node* node) const;
    bool KeyEquals(const Node& node, const char* key) const;
    bool FindChild(const Node& parent, const char* key, Node* child) const;
    bool QueryPair(std::uint16_t language, std::uint16_t codePage, const char* name,
                   std::u16string* value) const;

    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    Node root{};
    bool fixedInfo = false;
    std::uint32_t productMs = 0;
    std::uint32_t productLs = 0;
};

// The four values the version check compares, each in UTF-16 as stored; an absent value reads
// as empty, as in the check.
struct PeVersionStrings
{
    std::u16string fileDescription;
    std::u16string productVersion;
    std::u16string productName;
    std::u16string specialBuild;
};

// What the publisher's tool needs of a release: its kind, its product version and the four
// values, chosen as the updater's check chooses them.
struct PeVersion
{
    std::uint16_t machine = 0;
    bool pe32Plus = false;
    bool hasFixedInfo = false;
    std::uint32_t productVersionMs = 0;
    std::uint32_t productVersionLs = 0;
    PeVersionStrings strings;
};

// Reads the version resource (type 16, name 1) of the program file in `data`: PE_OK once it
// has a Translation value (the updater's check needs one too).
PeResult ReadPeVersion(const unsigned char* data, std::size_t size, PeVersion& version);
