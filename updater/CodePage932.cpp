#include "CodePage932.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace
{

constexpr char UNMAPPED = '?';

#ifdef _WIN32

// One character (one or two UTF-16 units) to code page 932; false when it has no mapping.
bool ConvertCharacter(const char16_t* units, int count, std::string* out)
{
    char buffer[8];
    BOOL defaulted = FALSE;
    const int written =
        WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(units),
                            count, buffer, sizeof buffer, nullptr, &defaulted);
    if (written <= 0 || defaulted)
    {
        return false;
    }
    out->append(buffer, static_cast<std::size_t>(written));
    return true;
}

#else

class Converter
{
public:
    Converter() : handle(iconv_open("CP932", "UTF-16LE")) {}
    ~Converter()
    {
        if (handle != reinterpret_cast<iconv_t>(-1))
        {
            iconv_close(handle);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Convert(const char16_t* units, int count, std::string* out)
    {
        if (handle == reinterpret_cast<iconv_t>(-1))
        {
            return false;
        }
        char input[4];
        for (int i = 0; i < count; ++i)
        {
            input[2 * i] = static_cast<char>(units[i] & 0xFF);
            input[2 * i + 1] = static_cast<char>(units[i] >> 8);
        }
        char output[8];
        char* in = input;
        char* outAt = output;
        std::size_t inLeft = static_cast<std::size_t>(2 * count);
        std::size_t outLeft = sizeof output;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle, &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) ||
            inLeft != 0)
        {
            return false;
        }
        out->append(output, static_cast<std::size_t>(outAt - output));
        return true;
    }

private:
    iconv_t handle;
};

bool ConvertCharacter(const char16_t* units, int count, std::string* out)
{
    static thread_local Converter converter;
    return converter.Convert(units, count, out);
}

#endif

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

std::string Utf16ToCp932(const std::u16string& text, bool* lossless)
{
    std::string out;
    bool exact = true;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] < 0x80)
        {
            out.push_back(static_cast<char>(text[i]));
            continue;
        }
        // A pair stands for one character that 932 does not have; like the system's
        // conversion, each of its units becomes a '?'.
        if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]) ||
            !ConvertCharacter(&text[i], 1, &out))
        {
            out.push_back(UNMAPPED);
            exact = false;
        }
    }
    if (lossless != nullptr)
    {
        *lossless = exact;
    }
    return out;
}

bool Utf8ToUtf16(const std::string& text, std::u16string* out)
{
    out->clear();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;)
    {
        const unsigned char lead = p[i];
        std::size_t extra;
        std::uint32_t code;
        std::uint32_t minimum;
        if (lead < 0x80)
        {
            extra = 0;
            code = lead;
            minimum = 0;
        }
        else if (lead >= 0xC2 && lead <= 0xDF)
        {
            extra = 1;
            code = lead & 0x1Fu;
            minimum = 0x80;
        }
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            extra = 2;
            code = lead & 0x0Fu;
            minimum = 0x800;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            extra = 3;
            code = lead & 0x07u;
            minimum = 0x10000;
        }
        else
        {
            return false;
        }
        if (size - i - 1 < extra)
        {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k)
        {
            if ((p[i + k] & 0xC0) != 0x80)
            {
                return false;
            }
            code = code << 6 | (p[i + k] & 0x3Fu);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        {
            return false;
        }
        if (code >= 0x10000)
        {
            code -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        }
        else
        {
            out->push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

std::string Utf16ToUtf8(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        std::uint32_t code = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
        {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]))
        {
            code = 0xFFFD;
        }
        if (code < 0x80)
        {
            out.push_back(static_cast<char>(code));
        }
        else if (code < 0x800)
        {
            out.push_back(static_cast<char>(0xC0 | code >> 6));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else if (code < 0x10000)
        {
            out.push_back(static_cast<char>(0xE0 | code >> 12));
            out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else
        {
            out.push_back(static_cast<char>(0xF0 | code >> 18));
            out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}
