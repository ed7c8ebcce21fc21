#include "TargetVersion.h"

#include "SystemLibrary.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

// Values as they stand in the releases' version resources, in code page 932.
constexpr char EXPECTED_DESCRIPTION[] = "ラークスパーグリーム";
constexpr char NEW_VERSION[] = "1, 0, 0, 1";
constexpr char NEW_PRODUCT_NAME[] = "Larkspurgleam";
constexpr char OLD_VERSION[] = "1, 0, 0, 0";
constexpr char OLD_BUILD_TAG[] = "QX20050721a";

constexpr UINT SHIFT_JIS = 932;

// The character sets and languages that the version-resource documentation lists, in the
// order in which they are tried.
constexpr WORD CODE_PAGES[] = {0, 932, 949, 950, 1200, 1250, 1251, 1252, 1253, 1254, 1255, 1256};
constexpr WORD LANGUAGES[] = {
    0x0401, 0x0402, 0x0403, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409, 0x040a, 0x040b, 0x040c,
    0x040d, 0x040e, 0x040f, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418,
    0x0419, 0x041a, 0x041b, 0x041c, 0x041d, 0x041e, 0x041f, 0x0420, 0x0421, 0x0804, 0x0807, 0x0809,
    0x080a, 0x080c, 0x0810, 0x0813, 0x0814, 0x0816, 0x081a, 0x0c0c, 0x100c};

// The wide-character version API, from version.dll in the system folder (see
// SystemLibrary.h for why it is not imported).
struct VersionApi
{
    using SizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

    SizeFunction getSize = nullptr;
    InfoFunction getInfo = nullptr;
    QueryFunction query = nullptr;

    bool IsUsable() const { return getSize != nullptr && getInfo != nullptr && query != nullptr; }
};

template <typename Function> Function LookUp(HMODULE module, const char* name)
{
    void* address = reinterpret_cast<void*>(GetProcAddress(module, name));
    return reinterpret_cast<Function>(address);
}

const VersionApi& GetVersionApi()
{
    static const VersionApi api = []
    {
        VersionApi loaded;
        HMODULE module = GsLoadSystemLibrary("version.dll");
        if (module != nullptr)
        {
            loaded.getSize = LookUp<VersionApi::SizeFunction>(module, "GetFileVersionInfoSizeW");
            loaded.getInfo = LookUp<VersionApi::InfoFunction>(module, "GetFileVersionInfoW");
            loaded.query = LookUp<VersionApi::QueryFunction>(module, "VerQueryValueW");
        }
        return loaded;
    }();
    return api;
}

// The ANSI path as the wide-character API wants it; empty when it does not convert.
std::wstring WidenPath(const char* path)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 1)
    {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length) != length)
    {
        return std::wstring();
    }
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

// Looks up "\StringFileInfo\<language><code page>\<name>" and, when found, writes the value
// converted to code page 932 and cut to maxLength bytes.
int QueryPair(char* output, const VersionBlock& block, WORD language, WORD codePage,
              const char* name, int maxLength)
{
    char subBlock[96];
    const int formatted = std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s",
                                        language, codePage, name);
    if (formatted <= 0 || formatted >= static_cast<int>(sizeof subBlock))
    {
        return 0;
    }
    // The sub-block name is ASCII: widening is a copy.
    wchar_t wideSubBlock[sizeof subBlock];
    for (int i = 0; i <= formatted; ++i)
    {
        wideSubBlock[i] = static_cast<unsigned char>(subBlock[i]);
    }
    void* value = nullptr;
    UINT length = 0;
    if (!GetVersionApi().query(block.data(), wideSubBlock, &value, &length) || value == nullptr)
    {
        return 0;
    }
    // The reported length counts characters and may include the NUL; stop at the first NUL.
    const wchar_t* text = static_cast<const wchar_t*>(value);
    int characters = 0;
    while (static_cast<UINT>(characters) < length && text[characters] != L'\0')
    {
        ++characters;
    }
    if (characters > 0)
    {
        const int needed = WideCharToMultiByte(SHIFT_JIS, WC_NO_BEST_FIT_CHARS, text, characters,
                                               nullptr, 0, nullptr, nullptr);
        if (needed > 0)
        {
            std::string converted(static_cast<std::size_t>(needed), '\0');
            WideCharToMultiByte(SHIFT_JIS, WC_NO_BEST_FIT_CHARS, text, characters, &converted[0],
                                needed, nullptr, nullptr);
            const std::size_t kept = converted.size() < static_cast<std::size_t>(maxLength)
                                         ? converted.size()
                                         : static_cast<std::size_t>(maxLength);
            std::memcpy(output, converted.data(), kept);
            output[kept] = '\0';
        }
    }
    return 1;
}

int IsLeadByte932(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC) ? 1 : 0;
}

unsigned char FoldAsciiCase(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

} // namespace

int LoadVersionInfo(const char* path, VersionBlock& block, const DWORD** translation)
{
    block.clear();
    const VersionApi& api = GetVersionApi();
    if (path == nullptr || translation == nullptr || !api.IsUsable())
    {
        return 0;
    }
    const std::wstring widePath = WidenPath(path);
    if (widePath.empty())
    {
        return 0;
    }
    DWORD ignored = 0;
    const DWORD size = api.getSize(widePath.c_str(), &ignored);
    if (size == 0)
    {
        return 0;
    }
    block.assign(size, 0);
    void* value = nullptr;
    UINT length = 0;
    if (!api.getInfo(widePath.c_str(), 0, size, block.data()) ||
        !api.query(block.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
        value == nullptr || length < sizeof(DWORD))
    {
        block.clear();
        return 0;
    }
    *translation = static_cast<const DWORD*>(value);
    return 1;
}

int QueryVersionString(char* output, const VersionBlock& block, DWORD translation, const char* name,
                       int maxLength)
{
    if (output == nullptr)
    {
        return 0;
    }
    output[0] = '\0';
    if (block.empty() || name == nullptr || maxLength < 0 || !GetVersionApi().IsUsable())
    {
        return 0;
    }
    if (QueryPair(output, block, LOWORD(translation), HIWORD(translation), name, maxLength))
    {
        return 1;
    }
    for (WORD codePage : CODE_PAGES)
    {
        for (WORD language : LANGUAGES)
        {
            if (QueryPair(output, block, language, codePage, name, maxLength))
            {
                return 1;
            }
        }
    }
    return 0;
}

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

int ReadTargetVersion(const char* path, TargetVersionStrings& strings)
{
    std::memset(&strings, 0, sizeof strings);
    VersionBlock block;
    const DWORD* translation = nullptr;
    if (!LoadVersionInfo(path, block, &translation))
    {
        return 0;
    }
    const DWORD first = *translation;
    QueryVersionString(strings.fileDescription, block, first, "FileDescription", VERSION_VALUE_MAX);
    QueryVersionString(strings.productVersion, block, first, "ProductVersion", VERSION_VALUE_MAX);
    QueryVersionString(strings.productName, block, first, "ProductName", VERSION_VALUE_MAX);
    QueryVersionString(strings.specialBuild, block, first, "SpecialBuild", VERSION_VALUE_MAX);
    return 1;
}

int ClassifyTargetVersion(const TargetVersionStrings& strings)
{
    if (!VersionTextEquals(strings.fileDescription, EXPECTED_DESCRIPTION))
    {
        return UPDATE_WRONG_FILE;
    }
    if (VersionTextEquals(strings.productVersion, NEW_VERSION) &&
        VersionTextEquals(strings.productName, NEW_PRODUCT_NAME))
    {
        return UPDATE_ALREADY_DONE;
    }
    if (VersionTextEquals(strings.productName, OLD_BUILD_TAG) &&
        VersionTextEquals(strings.specialBuild, OLD_BUILD_TAG) &&
        VersionTextEquals(strings.productVersion, OLD_VERSION))
    {
        return UPDATE_ELIGIBLE;
    }
    return UPDATE_WRONG_FILE;
}

int CheckTargetVersion(const char* path)
{
    TargetVersionStrings strings;
    if (!ReadTargetVersion(path, strings))
    {
        return UPDATE_WRONG_FILE;
    }
    return ClassifyTargetVersion(strings);
}
