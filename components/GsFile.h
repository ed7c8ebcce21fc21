#pragma once

#include "GsInterface.h"

#include <cstdio>
#include <string>

// printf-style checking of a format argument. MinGW's plain "printf" checks the Microsoft
// dialect, but vsnprintf there follows the dialect <cstdio> names in __MINGW_PRINTF_FORMAT
// (C99 when MinGW's own stdio is on), so callers are checked against what really runs.
#if defined(__MINGW32__)
#define GS_FILE_PRINTF_LIKE(formatIndex, firstArgument)                                            \
    __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArgument)))
#elif defined(__GNUC__)
#define GS_FILE_PRINTF_LIKE(formatIndex, firstArgument)                                            \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define GS_FILE_PRINTF_LIKE(formatIndex, firstArgument)
#endif

// Open flags; bits may be combined (see BuildFileMode for how they become a mode string).
enum : int
{
    GS_FILE_READ = 0x01,
    GS_FILE_WRITE = 0x02,
    GS_FILE_EXISTING = 0x04, // with READ and WRITE: open an existing file instead of creating one
    GS_FILE_APPEND = 0x08,   // with WRITE: append
    GS_FILE_TEXT = 0x10,     // text translation
    GS_FILE_BINARY = 0x20,   // no translation; wins over GS_FILE_TEXT
};

// Results of IGsFile::GetState.
enum : int
{
    GS_FILE_STATE_OK = 1,     // open, neither end of file nor error flagged
    GS_FILE_STATE_CLOSED = 2, // no file open
    GS_FILE_STATE_EOF = 3,    // end-of-file indicator set (wins over the error indicator)
    GS_FILE_STATE_ERROR = 4,  // error indicator set
};

// Longest text PrintLine writes before its line feed; longer text is cut to this length.
constexpr int GS_FILE_LINE_MAX = 510;

// A file opened by path and mode flags, over one buffered standard-library stream.
// Every operation on a closed file returns at once without touching the file system.
// Counts are bytes; a short transfer is not a failure, callers compare the count.
class IGsFile : public IGsInterface
{
public:
    GS_IMPLEMENT_RELEASE

    // Closes any open stream, then opens `path` with the mode built from `flags`. The path is
    // kept (see GetPath) also when opening fails. 1 when a stream was obtained, 0 otherwise.
    virtual int Open(const char* path, int flags) = 0;
    // Forgets the path and closes the stream: 0, or fclose's -1 on failure; 0 when closed.
    virtual int Close() = 0;
    // One fread/fwrite of `count` bytes; the number transferred goes to *transferred when
    // given. 1 when a file is open, whatever was transferred; 0 when none is.
    virtual int Read(void* buffer, unsigned int count, unsigned int* transferred) = 0;
    virtual int Write(const void* buffer, unsigned int count, unsigned int* transferred) = 0;
    // Size in bytes; the position is left where it was. 0 when closed; -1 when the size cannot
    // be told or is beyond INT_MAX (2 GiB - 1), which this 32-bit result cannot carry.
    virtual int GetSize() = 0;
    // Current position, -1 on a stream failure, 0 when closed.
    virtual int Tell() = 0;
    // origin 1: from the current position, 2: from the end, anything else: from the start.
    // 1 on success, 0 on failure or when closed.
    virtual int Seek(int offset, int origin) = 0;
    // One of the GS_FILE_STATE_ codes.
    virtual int GetState() = 0;
    virtual ~IGsFile() = default;
    // Write of 4, 2 or 1 bytes at `value`, in the machine's byte order; results as Write.
    virtual int Write32(const void* value, unsigned int* transferred) = 0;
    virtual int Write16(const void* value, unsigned int* transferred) = 0;
    virtual int Write8(const void* value, unsigned int* transferred) = 0;
    // One fgets: at most size - 1 bytes, up to and including a line feed, NUL-terminated.
    // The buffer on success; null at end of file, on error, when closed or when size < 1.
    virtual char* ReadLine(char* buffer, int size) = 0;
    // One fputs: 0 on success, -1 on failure or when closed.
    virtual int WriteString(const char* text) = 0;
    // printf-formats into a 512-byte line (text cut to GS_FILE_LINE_MAX bytes), appends "\n"
    // (CR LF on disk in a text-mode stream on Windows) and writes it: 0, or -1 on failure or
    // when closed.
    virtual int PrintLine(const char* format, ...) = 0;
};

// The file object. Construct it directly (automatic or with new; the latter ends with Release).
class CGsFile : public IGsFile
{
public:
    CGsFile() = default;
    ~CGsFile() override;
    CGsFile(const CGsFile&) = delete;
    CGsFile& operator=(const CGsFile&) = delete;

    int Open(const char* path, int flags) override;
    int Close() override;
    int Read(void* buffer, unsigned int count, unsigned int* transferred) override;
    int Write(const void* buffer, unsigned int count, unsigned int* transferred) override;
    int GetSize() override;
    int Tell() override;
    int Seek(int offset, int origin) override;
    int GetState() override;
    int Write32(const void* value, unsigned int* transferred) override;
    int Write16(const void* value, unsigned int* transferred) override;
    int Write8(const void* value, unsigned int* transferred) override;
    char* ReadLine(char* buffer, int size) override;
    int WriteString(const char* text) override;
    GS_FILE_PRINTF_LIKE(2, 3) int PrintLine(const char* format, ...) override;

    // The path given to the last Open; empty after Close.
    const std::string& GetPath() const { return path; }

private:
    std::string path;
    std::FILE* stream = nullptr;
};

// The fopen mode string for a combination of GS_FILE_ flags ("r", "wb", "rb+", ...).
std::string BuildFileMode(int flags);
