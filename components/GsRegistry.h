#pragma once

#include "GsInterface.h"

#include <windows.h>

// One open registry key and the string, number and binary values under it. OpenKey and
// CreateKey ask for full access (KEY_ALL_ACCESS), since callers write through the key they
// hold; where that is refused (HKEY_LOCAL_MACHINE to a program that is not elevated) they take
// read access (KEY_READ) instead, so that reading works for every user and only the writes
// fail. The registry view is the process's own (a 32-bit program sees the 32-bit view).
//
// Results: 1 when the registry call returned ERROR_SUCCESS, 0 otherwise; every operation that
// needs the key returns 0 at once, without calling the registry, when none is open (GetNumber
// returns the number itself; see there). Nothing is shown and no error code is kept.
// Texts are ANSI, passed to the A functions. Sizes are in bytes.
class IGsRegistry : public IGsInterface
{
public:
    GS_IMPLEMENT_RELEASE

    // Closes the open key (through CloseKey), then opens `subKey` under `root` with full
    // access, or with read access where full access is refused. On failure the object is left
    // without a key.
    virtual int OpenKey(HKEY root, const char* subKey) = 0;
    // As OpenKey, but creates the key (non-volatile, empty class) when it does not exist. An
    // existing key whose full access is refused is opened for reading; a missing one under a
    // key the user may not write is not created (0).
    virtual int CreateKey(HKEY root, const char* subKey) = 0;
    // 1 when a key was open and is now closed; 0 when none was open.
    virtual int CloseKey() = 0;
    // Deletes a value of the open key.
    virtual int DeleteValue(const char* valueName) = 0;
    // Deletes a subkey of the open key (one without subkeys of its own).
    virtual int DeleteKey(const char* subKey) = 0;
    // Flushes `key` when it is not null, else the open key; 0 when both are null.
    virtual int FlushKey(HKEY key) = 0;
    // Reads a REG_SZ value into `buffer` (`bufferSize` bytes) and returns 1; the text is
    // always terminated inside the buffer. When the value is missing, too large, or of another
    // type (REG_EXPAND_SZ included) `defaultText` is copied instead and 1 returned; a default
    // longer than the buffer is cut to whole characters. Without a default the result is 0 and
    // the buffer may hold what the failed read left. No key open: 0, buffer untouched.
    virtual int GetString(const char* valueName, char* buffer, int bufferSize,
                          const char* defaultText) = 0;
    // Stores `text` as REG_SZ, its terminator included.
    virtual int SetString(const char* valueName, const char* text) = 0;
    // The REG_DWORD value, or `defaultValue` when it is missing, of another type or larger than
    // 4 bytes. No key open: 0, whatever the default.
    virtual int GetNumber(const char* valueName, int defaultValue) = 0;
    // Stores the REG_DWORD value, or `defaultValue` where GetNumber would give it, in *value
    // and returns 1. No key open (or a null `value`): 0, *value untouched.
    virtual int ReadNumber(const char* valueName, int* value, int defaultValue) = 0;
    // Stores a REG_DWORD.
    virtual int SetNumber(const char* valueName, DWORD value) = 0;
    // Reads a value into `data`; *size holds the capacity on entry and the count read on
    // return (as the registry reports it). 1 only when the read succeeds and the value is
    // REG_BINARY.
    virtual int GetBinary(const char* valueName, void* data, DWORD* size) = 0;
    // Stores `size` bytes at `data` as REG_BINARY.
    virtual int SetBinary(const char* valueName, const void* data, DWORD size) = 0;
    virtual ~IGsRegistry() = default;
};

// The registry component. The object owns its key: every open or create closes the previous
// one first, and the destructor closes it.
class CGsRegistry : public IGsRegistry
{
public:
    // Without arguments the object starts with no key (as the component factory makes it).
    // With a root and a subkey it opens the key as OpenKey does and stays without a key when
    // that fails; the outcome is not reported.
    explicit CGsRegistry(HKEY root = nullptr, const char* subKey = nullptr);
    ~CGsRegistry() override;
    CGsRegistry(const CGsRegistry&) = delete;
    CGsRegistry& operator=(const CGsRegistry&) = delete;

    int OpenKey(HKEY root, const char* subKey) override;
    int CreateKey(HKEY root, const char* subKey) override;
    int CloseKey() override;
    int DeleteValue(const char* valueName) override;
    int DeleteKey(const char* subKey) override;
    int FlushKey(HKEY key) override;
    int GetString(const char* valueName, char* buffer, int bufferSize,
                  const char* defaultText) override;
    int SetString(const char* valueName, const char* text) override;
    int GetNumber(const char* valueName, int defaultValue) override;
    int ReadNumber(const char* valueName, int* value, int defaultValue) override;
    int SetNumber(const char* valueName, DWORD value) override;
    int GetBinary(const char* valueName, void* data, DWORD* size) override;
    int SetBinary(const char* valueName, const void* data, DWORD size) override;

    // As OpenKey, but asks only for read access (KEY_READ): for a caller that only reads.
    int OpenKeyToRead(HKEY root, const char* subKey);

    // The open key, or null.
    HKEY GetKey() const { return key; }

private:
    HKEY key = nullptr;
};

// Test seam: the functions through which every CGsRegistry opens and creates keys, the system's
// RegOpenKeyExA and RegCreateKeyExA by default. A stand-in reproduces what the system decides
// for a user (wine grants every access to every program). Null restores the system's.
using GsRegOpenKeyFunction = decltype(&RegOpenKeyExA);
using GsRegCreateKeyFunction = decltype(&RegCreateKeyExA);
void GsSetRegistryKeyFunctions(GsRegOpenKeyFunction open, GsRegCreateKeyFunction create);
