#include "GsPathText.h"

#include <windows.h>

namespace
{

bool IsLeadByte(char byte)
{
    return IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
}

} // namespace

const char* GsNextChar(const char* text)
{
    if (*text == '\0')
    {
        return text;
    }
    // A lead byte owns the byte after it, unless that byte is the terminator.
    if (IsLeadByte(text[0]) && text[1] != '\0')
    {
        return text + 2;
    }
    return text + 1;
}

const char* GsFindLastBackslash(const char* text)
{
    if (text == nullptr)
    {
        return nullptr;
    }
    const char* last = nullptr;
    for (const char* p = text; *p != '\0'; p = GsNextChar(p))
    {
        if (*p == '\\')
        {
            last = p;
        }
    }
    return last;
}

char* GsFindLastBackslash(char* text)
{
    return const_cast<char*>(GsFindLastBackslash(static_cast<const char*>(text)));
}

const char* GsFindBackslash(const char* text, std::size_t from, std::size_t limit)
{
    if (text == nullptr)
    {
        return nullptr;
    }
    for (const char* p = text; *p != '\0'; p = GsNextChar(p))
    {
        const std::size_t offset = static_cast<std::size_t>(p - text);
        if (offset >= limit)
        {
            break;
        }
        if (offset >= from && *p == '\\')
        {
            return p;
        }
    }
    return nullptr;
}

int GsCopyText(char* target, const char* source, std::size_t size)
{
    if (target == nullptr || size < 1)
    {
        return 0;
    }
    std::size_t used = 0;
    const char* p = source != nullptr ? source : "";
    while (*p != '\0')
    {
        const char* next = GsNextChar(p);
        const std::size_t length = static_cast<std::size_t>(next - p);
        if (used + length > size - 1)
        {
            target[used] = '\0';
            return 0;
        }
        for (std::size_t i = 0; i < length; ++i)
        {
            target[used++] = p[i];
        }
        p = next;
    }
    target[used] = '\0';
    return 1;
}
