#pragma once

#include <cstddef>

// Character-aware scanning of ANSI path text. In a double-byte code page (932 in this program)
// the trail byte of a character may equal 0x5C, the backslash ("ソ" is 83 5C, "表" is 95 5C),
// so a path is walked character by character, never byte by byte. Lead bytes are those of the
// process's ANSI code page (IsDBCSLeadByte).
//
// All functions take NUL-terminated text and never read past its terminator: a lead byte
// directly before the terminator counts as a character of one byte.

// The start of the character after the one at `text`; `text` itself when it points at the
// terminator.
const char* GsNextChar(const char* text);

// The last backslash of `text` that is a character of its own (not the trail byte of a
// double-byte character), or null when there is none. Null text gives null.
const char* GsFindLastBackslash(const char* text);
char* GsFindLastBackslash(char* text);

// The first such backslash at or after byte offset `from` and before byte offset `limit`
// (offsets from the start of `text`), or null. Characters are counted from the start of
// `text`, so `from` may fall inside a character without splitting it.
const char* GsFindBackslash(const char* text, std::size_t from, std::size_t limit);

// Copies whole characters of `source` into `target` (capacity `size` bytes, terminator
// included) and always terminates it when size >= 1. A double-byte character that would not
// fit is left out whole. Returns 1 when all of `source` fitted, 0 when it was cut or when
// `target` is null or size < 1 (nothing is written then).
int GsCopyText(char* target, const char* source, std::size_t size);
