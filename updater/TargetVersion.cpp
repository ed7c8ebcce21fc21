#include "TargetVersion.h"

#include "PeVersionReader.h"
#include "SystemLibrary.h"

#include <cstring>

namespace
{

// The release step of this build, in code page 932 (the compiler converts the generated
// header's UTF-8).
constexpr ReleaseCheckValues RELEASE_STEP = {
    GS_RELEASE_OLD_FILE_DESCRIPTION, GS_RELEASE_OLD_PRODUCT_VERSION,
    GS_RELEASE_OLD_PRODUCT_NAME,     GS_RELEASE_OLD_SPECIAL_BUILD,
    GS_RELEASE_NEW_FILE_DESCRIPTION, GS_RELEASE_NEW_PRODUCT_VERSION,
    GS_RELEASE_NEW_PRODUCT_NAME};

constexpr UINT SHIFT_JIS = 932;

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

// Loaded on first use. The check runs on one thread only, so a plain flag serves where a
// function-local static would bring the runtime's thread-safe initialisation guard along.
VersionApi g_versionApi;
bool g_versionApiLoaded = false;

const VersionApi& GetVersionApi()
{
    if (!g_versionApiLoaded)
    {
        g_versionApiLoaded = true;
        HMODULE module = GsLoadSystemLibrary("version.dll");
        if (module != nullptr)
        {
            g_versionApi.getSize =
                LookUp<VersionApi::SizeFunction>(module, "GetFileVersionInfoSizeW");
            g_versionApi.getInfo = LookUp<VersionApi::InfoFunction>(module, "GetFileVersionInfoW");
            g_versionApi.query = LookUp<VersionApi::QueryFunction>(module, "VerQueryValueW");
        }
    }
    return g_versionApi;
}

// The ANSI path as the wide-character API wants it, NUL-terminated; empty when it does not
// convert. A buffer rather than a wide string class, which would cost the updater tens of
// kilobytes of the runtime for this one conversion.
std::vector<wchar_t> WidenPath(const char* path)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 1)
    {
        return {};
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length) != length)
    {
        return {};
    }
    return wide;
}

// Appends `text` at `*end`, stopping before `limit`; false when it did not fit.
bool Append(char*& end, const char* limit, const char* text)
{
    for (; *text != '\0'; ++text)
    {
        if (end == limit)
        {
            return false;
        }
        *end++ = *text;
    }
    return true;
}

// Looks up "\StringFileInfo\<language><code page>\<name>" and, when found, writes the value
// converted to code page 932 and cut to maxLength bytes.
int QueryPair(char* output, const VersionBlock& block, WORD language, WORD codePage,
              const char* name, int maxLength)
{
    // "\StringFileInfo\" + language and code page as eight lower-case hex digits + "\" + name,
    // put together by hand: the C runtime's formatted output would cost the updater more than
    // the rest of this file.
    char subBlock[96] = {};
    char* end = subBlock;
    const char* const limit = subBlock + sizeof subBlock - 1;
    char hex[9] = {};
    const unsigned long pair = (static_cast<unsigned long>(language) << 16) | codePage;
    for (int digit = 0; digit < 8; ++digit)
    {
        hex[digit] = "0123456789abcdef"[(pair >> (28 - 4 * digit)) & 0xF];
    }
    if (!Append(end, limit, "\\StringFileInfo\\") || !Append(end, limit, hex) ||
        !Append(end, limit, "\\") || !Append(end, limit, name))
    {
        return 0;
    }
    *end = '\0';
    const int formatted = static_cast<int>(end - subBlock);
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
            std::vector<char> converted(static_cast<std::size_t>(needed), '\0');
            WideCharToMultiByte(SHIFT_JIS, WC_NO_BEST_FIT_CHARS, text, characters, converted.data(),
                                needed, nullptr, nullptr);
            const int kept = needed < maxLength ? needed : maxLength;
            std::memcpy(output, converted.data(), static_cast<std::size_t>(kept));
            output[kept] = '\0';
        }
    }
    return 1;
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
    const std::vector<wchar_t> widePath = WidenPath(path);
    if (widePath.empty())
    {
        return 0;
    }
    DWORD ignored = 0;
    const DWORD size = api.getSize(widePath.data(), &ignored);
    if (size == 0)
    {
        return 0;
    }
    block.assign(size, 0);
    void* value = nullptr;
    UINT length = 0;
    if (!api.getInfo(widePath.data(), 0, size, block.data()) ||
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
    for (WORD codePage : VERSION_CODE_PAGES)
    {
        for (WORD language : VERSION_LANGUAGES)
        {
            if (QueryPair(output, block, language, codePage, name, maxLength))
            {
                return 1;
            }
        }
    }
    return 0;
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
    return ClassifyVersionValues(strings.fileDescription, strings.productVersion,
                                 strings.productName, strings.specialBuild, RELEASE_STEP);
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
