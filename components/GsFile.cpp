#include "GsFile.h"

#include <climits>
#include <cstdarg>

namespace
{

// Translation letter shared by every mode; BINARY is checked first so it wins over TEXT.
void AppendTranslation(std::string& mode, int flags)
{
    if (flags & GS_FILE_BINARY)
    {
        mode += 'b';
    }
    else if (flags & GS_FILE_TEXT)
    {
        mode += 't';
    }
}

} // namespace

std::string BuildFileMode(int flags)
{
    std::string mode;
    if ((flags & GS_FILE_READ) && (flags & GS_FILE_WRITE))
    {
        if (flags & GS_FILE_APPEND)
        {
            mode = "a";
        }
        else if (flags & GS_FILE_EXISTING)
        {
            mode = "r";
        }
        else
        {
            mode = "w";
        }
        AppendTranslation(mode, flags);
        mode += '+';
    }
    else if (flags & GS_FILE_WRITE)
    {
        mode = (flags & GS_FILE_APPEND) ? "a" : "w";
        AppendTranslation(mode, flags);
    }
    else
    {
        // Read only, and also no access bit at all: the harmless choice.
        mode = "r";
        AppendTranslation(mode, flags);
    }
    return mode;
}

CGsFile::~CGsFile()
{
    if (stream != nullptr)
    {
        std::fclose(stream);
    }
}

int CGsFile::Open(const char* newPath, int flags)
{
    // Copied before the close, which clears `path`: the caller may pass GetPath() itself.
    std::string wanted = newPath != nullptr ? newPath : "";
    // Through the virtual table on purpose: a derived file that overrides Close sees every
    // close, including the implicit one here.
    Close();
    if (newPath == nullptr)
    {
        return 0;
    }
    const std::string mode = BuildFileMode(flags);
    path = std::move(wanted);
    stream = std::fopen(path.c_str(), mode.c_str());
    return stream != nullptr ? 1 : 0;
}

int CGsFile::Close()
{
    path.clear();
    if (stream == nullptr)
    {
        return 0;
    }
    const int result = std::fclose(stream);
    stream = nullptr;
    return result == 0 ? 0 : -1;
}

int CGsFile::Read(void* buffer, unsigned int count, unsigned int* transferred)
{
    if (stream == nullptr)
    {
        if (transferred != nullptr)
        {
            *transferred = 0;
        }
        return 0;
    }
    // A null buffer transfers nothing rather than handing the library a null pointer.
    const std::size_t done = buffer != nullptr ? std::fread(buffer, 1, count, stream) : 0;
    if (transferred != nullptr)
    {
        *transferred = static_cast<unsigned int>(done);
    }
    return 1;
}

int CGsFile::Write(const void* buffer, unsigned int count, unsigned int* transferred)
{
    if (stream == nullptr)
    {
        if (transferred != nullptr)
        {
            *transferred = 0;
        }
        return 0;
    }
    // A null buffer transfers nothing rather than handing the library a null pointer.
    const std::size_t done = buffer != nullptr ? std::fwrite(buffer, 1, count, stream) : 0;
    if (transferred != nullptr)
    {
        *transferred = static_cast<unsigned int>(done);
    }
    return 1;
}

namespace
{

// 64-bit positions: with the 32-bit long of Windows, ftell fails past 2 GiB, where the
// position may still be restored and the size still told apart from a failure.
long long TellWide(std::FILE* stream)
{
#if defined(_WIN32)
    return _ftelli64(stream);
#else
    return ftello(stream);
#endif
}

int SeekWide(std::FILE* stream, long long offset, int whence)
{
#if defined(_WIN32)
    return _fseeki64(stream, offset, whence);
#else
    return fseeko(stream, static_cast<off_t>(offset), whence);
#endif
}

} // namespace

int CGsFile::GetSize()
{
    if (stream == nullptr)
    {
        return 0;
    }
    // Without a known position there is nothing to come back to: the stream is left alone.
    const long long position = TellWide(stream);
    if (position < 0)
    {
        return -1;
    }
    SeekWide(stream, 0, SEEK_END);
    const long long size = TellWide(stream);
    SeekWide(stream, position, SEEK_SET);
    if (size < 0 || size > INT_MAX)
    {
        return -1;
    }
    return static_cast<int>(size);
}

int CGsFile::Tell()
{
    if (stream == nullptr)
    {
        return 0;
    }
    return static_cast<int>(std::ftell(stream));
}

int CGsFile::Seek(int offset, int origin)
{
    if (stream == nullptr)
    {
        return 0;
    }
    int whence = SEEK_SET;
    if (origin == 1)
    {
        whence = SEEK_CUR;
    }
    else if (origin == 2)
    {
        whence = SEEK_END;
    }
    return std::fseek(stream, offset, whence) == 0 ? 1 : 0;
}

int CGsFile::GetState()
{
    if (stream == nullptr)
    {
        return GS_FILE_STATE_CLOSED;
    }
    if (std::feof(stream))
    {
        return GS_FILE_STATE_EOF;
    }
    if (std::ferror(stream))
    {
        return GS_FILE_STATE_ERROR;
    }
    return GS_FILE_STATE_OK;
}

// The fixed-size writes go through the virtual Write so that an override of Write sees them.
int CGsFile::Write32(const void* value, unsigned int* transferred)
{
    return Write(value, 4, transferred);
}

int CGsFile::Write16(const void* value, unsigned int* transferred)
{
    return Write(value, 2, transferred);
}

int CGsFile::Write8(const void* value, unsigned int* transferred)
{
    return Write(value, 1, transferred);
}

char* CGsFile::ReadLine(char* buffer, int size)
{
    if (stream == nullptr || buffer == nullptr || size < 1)
    {
        return nullptr;
    }
    return std::fgets(buffer, size, stream);
}

int CGsFile::WriteString(const char* text)
{
    if (stream == nullptr || text == nullptr)
    {
        return -1;
    }
    return std::fputs(text, stream) >= 0 ? 0 : -1;
}

int CGsFile::PrintLine(const char* format, ...)
{
    if (stream == nullptr || format == nullptr)
    {
        return -1;
    }
    // Room for the longest text, its line feed and the terminating NUL.
    char line[GS_FILE_LINE_MAX + 2];
    std::va_list arguments;
    va_start(arguments, format);
    const int wanted = std::vsnprintf(line, GS_FILE_LINE_MAX + 1, format, arguments);
    va_end(arguments);
    if (wanted < 0)
    {
        return -1;
    }
    const int length = wanted < GS_FILE_LINE_MAX ? wanted : GS_FILE_LINE_MAX;
    line[length] = '\n';
    line[length + 1] = '\0';
    return std::fputs(line, stream) >= 0 ? 0 : -1;
}
