#pragma once

#include <windows.h>

// Identifiers of the components that CGsUtility::CreateComponent makes, in the standard GUID
// layout (a 32-bit and two 16-bit numbers, little-endian, then eight bytes in order). Each is
// compared byte for byte: any other 16 bytes, including the same value with its first three
// fields stored big-endian, identify nothing.

// CGsRegistry, without an open key. In memory: 29 F8 0C 26 BC 9A AD 46 95 68 F5 D3 50 DA 6F 8C.
inline constexpr GUID IID_IGsRegistry = {
    0x260CF829, 0x9ABC, 0x46AD, {0x95, 0x68, 0xF5, 0xD3, 0x50, 0xDA, 0x6F, 0x8C}};
// CGsShortcut; its Initialize starts COM for the thread.
inline constexpr GUID IID_IGsShortcut = {
    0x06649AC0, 0x7CA4, 0x4EF8, {0x80, 0xC4, 0xBC, 0xA5, 0x35, 0x2C, 0x75, 0xB8}};
// CGsSearchFile.
inline constexpr GUID IID_IGsSearchFile = {
    0xA2A95A9A, 0x6C74, 0x4AED, {0x8F, 0x14, 0x5C, 0x4D, 0xAF, 0xDB, 0x63, 0x40}};
// CGsInstallManager.
inline constexpr GUID IID_IGsInstallManager = {
    0x0395BF21, 0xE089, 0x4586, {0xB1, 0x69, 0xEF, 0x0A, 0xC4, 0x8E, 0xC3, 0x35}};
