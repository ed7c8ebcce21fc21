#pragma once

#include "GsInterface.h"

// Compression of memory blocks.
class IGsCompress : public IGsInterface
{
public:
    GS_IMPLEMENT_RELEASE

    // Compresses `sourceLength` bytes of `source` into `destination`, writing at most
    // `capacity` bytes. Returns the number of bytes written (0 for an empty source), or -1
    // when the output would not fit in `capacity`; nothing is written past `capacity`.
    virtual int Encode(const unsigned char* source, unsigned char* destination, int sourceLength,
                       int capacity) = 0;
    // Expands `streamLength` bytes of `stream` into `destination`, writing at most `capacity`
    // bytes and reading no byte past `streamLength`. Returns 1, or 0 when the stream would
    // expand past `capacity` (decoding stops at the limit). A truncated stream yields what
    // was decoded before the cut, and returns 1.
    virtual int Decode(const unsigned char* stream, unsigned char* destination, int streamLength,
                       int capacity) = 0;
    virtual ~IGsCompress() = default;
};
