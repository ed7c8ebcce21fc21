#include "SystemLibrary.h"

#include <cstring>

namespace
{

// Not named in older SDK headers; the value is fixed by the loader.
constexpr DWORD SEARCH_SYSTEM32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);

// GetProcAddress gives a generic pointer; the cast to the real signature goes through void*
// so that the compiler does not warn about unrelated function types.
template <typename Function> Function LookUp(HMODULE module, const char* name)
{
    void* address = reinterpret_cast<void*>(GetProcAddress(module, name));
    return reinterpret_cast<Function>(address);
}

} // namespace

int GsRestrictDllSearch()
{
    static int restricted = -1;
    if (restricted >= 0)
    {
        return restricted;
    }
    // kernel32 is always loaded already: this lookup loads nothing.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto setDefault =
        LookUp<SetDefaultDllDirectoriesFunction>(kernel, "SetDefaultDllDirectories");
    if (setDefault != nullptr && setDefault(SEARCH_SYSTEM32))
    {
        restricted = 1;
        return restricted;
    }
    const auto setDirectory = LookUp<SetDllDirectoryFunction>(kernel, "SetDllDirectoryA");
    if (setDirectory != nullptr)
    {
        setDirectory("");
    }
    restricted = 0;
    return restricted;
}

HMODULE GsLoadSystemLibrary(const char* name)
{
    GsRestrictDllSearch();
    if (name == nullptr || name[0] == '\0')
    {
        return nullptr;
    }
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    const std::size_t nameLength = std::strlen(name);
    // The folder, a backslash, the name and the NUL must all fit.
    if (length == 0 || length + 1 + nameLength >= MAX_PATH)
    {
        return nullptr;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, name, nameLength + 1);
    // A full path is taken as it stands; the DLL's own dependencies come from the restricted
    // search, so the system folder again.
    return LoadLibraryA(path);
}
