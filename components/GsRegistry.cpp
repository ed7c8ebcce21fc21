#include "GsRegistry.h"

#include "GsPathText.h"

#include <cstring>

namespace
{

// Null: the system's. Kept null rather than set to the imported functions, whose addresses are
// known only once the program runs, so that a registry object made during static
// initialisation elsewhere still finds them.
GsRegOpenKeyFunction g_pOpenKey = nullptr;
GsRegCreateKeyFunction g_pCreateKey = nullptr;

LONG OpenRegistryKey(HKEY root, const char* subKey, REGSAM access, HKEY* key)
{
    return (g_pOpenKey != nullptr ? g_pOpenKey : RegOpenKeyExA)(root, subKey, 0, access, key);
}

LONG CreateRegistryKey(HKEY root, const char* subKey, REGSAM access, HKEY* key)
{
    char emptyClass[] = "";
    // Created or opened: not wanted.
    DWORD disposition = 0;
    return (g_pCreateKey != nullptr ? g_pCreateKey : RegCreateKeyExA)(
        root, subKey, 0, emptyClass, REG_OPTION_NON_VOLATILE, access, nullptr, key, &disposition);
}

using KeyFunction = LONG (*)(HKEY root, const char* subKey, REGSAM access, HKEY* key);

// The key through `function` with full access where that is granted, else for reading: a
// program that is not elevated may read HKEY_LOCAL_MACHINE but not write it. Only a refusal of
// access falls back; a missing key stays missing. Null when neither works.
HKEY FullOrReadAccess(KeyFunction function, HKEY root, const char* subKey, REGSAM firstAccess)
{
    HKEY key = nullptr;
    LONG status = function(root, subKey, firstAccess, &key);
    if (status == ERROR_ACCESS_DENIED && firstAccess != KEY_READ)
    {
        status = function(root, subKey, KEY_READ, &key);
    }
    return status == ERROR_SUCCESS ? key : nullptr;
}

int Succeeded(LONG status)
{
    return status == ERROR_SUCCESS ? 1 : 0;
}

// After a REG_SZ read of `read` bytes into a buffer of `capacity` bytes: makes sure the text is
// terminated inside the buffer. A value stored without its terminator that fills the buffer
// exactly cannot be terminated without losing a byte, so it counts as too large.
bool TerminateText(char* buffer, DWORD read, DWORD capacity)
{
    if (read > 0 && buffer[read - 1] == '\0')
    {
        return true;
    }
    if (read < capacity)
    {
        buffer[read] = '\0';
        return true;
    }
    return false;
}

// Reads a REG_DWORD of exactly four bytes. False for a missing value, another type, or one of
// another size (a larger one fails the read; a shorter one is not a number either).
bool QueryNumber(HKEY key, const char* valueName, DWORD& number)
{
    DWORD type = 0;
    DWORD stored = 0;
    DWORD size = sizeof(stored);
    const LONG status =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(stored))
    {
        return false;
    }
    number = stored;
    return true;
}

} // namespace

CGsRegistry::CGsRegistry(HKEY root, const char* subKey)
{
    if (root != nullptr && subKey != nullptr)
    {
        OpenKey(root, subKey);
    }
}

CGsRegistry::~CGsRegistry()
{
    if (key != nullptr)
    {
        RegCloseKey(key);
    }
}

int CGsRegistry::OpenKey(HKEY root, const char* subKey)
{
    // Through the table on purpose, so that a derived registry sees every close.
    CloseKey();
    key = FullOrReadAccess(OpenRegistryKey, root, subKey, KEY_ALL_ACCESS);
    return key != nullptr ? 1 : 0;
}

int CGsRegistry::OpenKeyToRead(HKEY root, const char* subKey)
{
    CloseKey();
    key = FullOrReadAccess(OpenRegistryKey, root, subKey, KEY_READ);
    return key != nullptr ? 1 : 0;
}

int CGsRegistry::CreateKey(HKEY root, const char* subKey)
{
    CloseKey();
    key = FullOrReadAccess(CreateRegistryKey, root, subKey, KEY_ALL_ACCESS);
    return key != nullptr ? 1 : 0;
}

int CGsRegistry::CloseKey()
{
    if (key == nullptr)
    {
        return 0;
    }
    RegCloseKey(key);
    key = nullptr;
    return 1;
}

int CGsRegistry::DeleteValue(const char* valueName)
{
    if (key == nullptr)
    {
        return 0;
    }
    return Succeeded(RegDeleteValueA(key, valueName));
}

int CGsRegistry::DeleteKey(const char* subKey)
{
    if (key == nullptr)
    {
        return 0;
    }
    return Succeeded(RegDeleteKeyA(key, subKey));
}

int CGsRegistry::FlushKey(HKEY other)
{
    HKEY target = other != nullptr ? other : key;
    if (target == nullptr)
    {
        return 0;
    }
    return Succeeded(RegFlushKey(target));
}

int CGsRegistry::GetString(const char* valueName, char* buffer, int bufferSize,
                           const char* defaultText)
{
    if (key == nullptr || buffer == nullptr || bufferSize < 1)
    {
        return 0;
    }
    DWORD type = 0;
    const DWORD capacity = static_cast<DWORD>(bufferSize);
    DWORD size = capacity;
    const LONG status =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_SUCCESS && type == REG_SZ && TerminateText(buffer, size, capacity))
    {
        return 1;
    }
    if (defaultText == nullptr)
    {
        return 0;
    }
    GsCopyText(buffer, defaultText, capacity);
    return 1;
}

int CGsRegistry::SetString(const char* valueName, const char* text)
{
    if (key == nullptr || text == nullptr)
    {
        return 0;
    }
    const DWORD size = static_cast<DWORD>(std::strlen(text) + 1);
    return Succeeded(
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size));
}

int CGsRegistry::GetNumber(const char* valueName, int defaultValue)
{
    if (key == nullptr)
    {
        return 0;
    }
    DWORD number = 0;
    return QueryNumber(key, valueName, number) ? static_cast<int>(number) : defaultValue;
}

int CGsRegistry::ReadNumber(const char* valueName, int* value, int defaultValue)
{
    if (key == nullptr || value == nullptr)
    {
        return 0;
    }
    DWORD number = 0;
    *value = QueryNumber(key, valueName, number) ? static_cast<int>(number) : defaultValue;
    return 1;
}

int CGsRegistry::SetNumber(const char* valueName, DWORD value)
{
    if (key == nullptr)
    {
        return 0;
    }
    return Succeeded(RegSetValueExA(key, valueName, 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&value), sizeof(value)));
}

int CGsRegistry::GetBinary(const char* valueName, void* data, DWORD* size)
{
    if (key == nullptr || size == nullptr)
    {
        return 0;
    }
    DWORD type = 0;
    const LONG status =
        RegQueryValueExA(key, valueName, nullptr, &type, static_cast<BYTE*>(data), size);
    return status == ERROR_SUCCESS && type == REG_BINARY ? 1 : 0;
}

int CGsRegistry::SetBinary(const char* valueName, const void* data, DWORD size)
{
    if (key == nullptr)
    {
        return 0;
    }
    return Succeeded(
        RegSetValueExA(key, valueName, 0, REG_BINARY, static_cast<const BYTE*>(data), size));
}

void GsSetRegistryKeyFunctions(GsRegOpenKeyFunction open, GsRegCreateKeyFunction create)
{
    g_pOpenKey = open;
    g_pCreateKey = create;
}
