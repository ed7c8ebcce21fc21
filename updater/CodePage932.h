#pragma once

// Text conversions of the publisher's tools: the version values are compared in code page 932,
// as the updater compares them, and the release description is UTF-8.

#include <string>

// Converts UTF-16 to code page 932 as the updater's check does (no best-fit mapping; a
// character that 932 cannot show becomes '?'). *lossless, when given, tells whether every
// character had its own mapping.
std::string Utf16ToCp932(const std::u16string& text, bool* lossless = nullptr);

// UTF-8 <-> UTF-16. Utf8ToUtf16 returns false for malformed UTF-8 (overlong forms, surrogates,
// values past U+10FFFF); Utf16ToUtf8 writes an unpaired surrogate as U+FFFD.
bool Utf8ToUtf16(const std::string& text, std::u16string* out);
std::string Utf16ToUtf8(const std::u16string& text);
