// The decoder, in a file of its own: a program that only expands streams (the updater, through
// CGsLZSS::Expand) links this object and not the encoder's.

#include "GsLZSS.h"
#include "GsLZSSInternal.h"

#include <cstring>
#include <type_traits>

namespace
{

inline void Copy16(unsigned char* to, const unsigned char* from)
{
    unsigned char v[16];
    std::memcpy(v, from, sizeof(v));
    std::memcpy(to, v, sizeof(v));
}

} // namespace

int CGsLZSS::Decode(const unsigned char* stream, unsigned char* destination, int streamLength,
                    int capacity)
{
    // The decoder works in the destination itself, not in the ring; the ring is cleared all
    // the same so that every call leaves the object in the same state.
    std::memset(ring, 0, sizeof(ring));
    return Expand(stream, destination, streamLength, capacity, &decodedSize);
}

int CGsLZSS::Expand(const unsigned char* stream, unsigned char* destination, int streamLength,
                    int capacity, std::int32_t* decodedSize)
{
    *decodedSize = 0;
    if (stream == nullptr || streamLength <= 0)
    {
        return 1;
    }
    if (destination == nullptr || capacity < 0)
    {
        capacity = 0;
    }

    // The destination is the window: output byte j sits at ring position (START + j) & 4095,
    // so a reference to ring position pos at output offset out reads from out - distance, with
    // distance = ((START + out - pos - 1) & 4095) + 1, from 1 to 4096. Offsets below 0 are the
    // ring's initial contents, which are zero.
    int in = 0;
    int out = 0;

    // Whole groups while both the stream and the destination have room to spare: no item
    // then needs a bounds check, and every item may copy 32 bytes, spilling up to 31 bytes
    // past its end. The spill stays inside the capacity, and the items that must follow (at
    // least 64 stream bytes, so at least 56 output bytes) overwrite it.
    constexpr int STREAM_MARGIN = GROUP_BUFFER_SIZE + 64;
    constexpr int OUTPUT_MARGIN = 7 * MAX_MATCH + 32;
    // Output byte j sits at ring position START + j: with this bias, the distance back to a
    // ring position comes straight from the output pointer.
    const std::uintptr_t windowBias = START - 1 - reinterpret_cast<std::uintptr_t>(destination);
    const unsigned char* ip = stream + in;
    unsigned char* op = destination + out;
    const auto decodeGroup = [&](unsigned flags, auto nearStart)
    {
#pragma GCC unroll 8
        for (int item = 0; item < 8; ++item, flags >>= 1)
        {
            // Literal or reference is a coin toss on most data, so both go through the same
            // 32-byte copy, its source, length and stream advance chosen without a branch: a
            // literal is a copy of one byte from the stream.
            const unsigned literal = flags & 1;
            const unsigned b0 = ip[0];
            const unsigned b1 = ip[1];
            const std::uintptr_t position = b0 | ((b1 & 0xF0) << 4);
            const std::uintptr_t distance =
                ((reinterpret_cast<std::uintptr_t>(op) + windowBias - position) & RING_MASK) + 1;
            const unsigned length = (((b1 & 0x0F) + THRESHOLD + 1) & (literal - 1)) | literal;
            // A reference closer than 16 bytes overlaps the copy's blocks, and one that
            // reaches before the first output byte reads the zero-filled start of the window.
            bool awkward = (distance | (literal << 13)) < 16;
            if (decltype(nearStart)::value)
            {
                awkward = awkward ||
                          (!literal && distance > static_cast<std::uintptr_t>(op - destination));
            }
            if (GS_UNLIKELY(awkward))
            {
                if (distance == 1 && op != destination)
                {
                    std::memset(op, op[-1], 32);
                }
                else
                {
                    const std::ptrdiff_t start = op - destination - static_cast<int>(distance);
                    for (int k = 0; k < static_cast<int>(length); ++k)
                    {
                        op[k] = start + k < 0 ? 0 : destination[start + k];
                    }
                }
            }
            else
            {
                // Selected as integers: a reference's source computed for a literal may lie
                // outside the destination.
                const std::uintptr_t fromStream = reinterpret_cast<std::uintptr_t>(ip);
                const std::uintptr_t fromWindow = reinterpret_cast<std::uintptr_t>(op) - distance;
                const unsigned char* from = reinterpret_cast<const unsigned char*>(
                    fromWindow ^ ((fromWindow ^ fromStream) & (std::uintptr_t(0) - literal)));
                // Block by block reads only bytes already written.
                Copy16(op, from);
                Copy16(op + 16, from + 16);
            }
            ip += 2 - literal;
            op += length;
        }
    };
    while (streamLength - (ip - stream) >= STREAM_MARGIN &&
           capacity - (op - destination) >= OUTPUT_MARGIN)
    {
        const unsigned flags = *ip++;
        if (flags == 0xFF)
        {
            std::memcpy(op, ip, 8);
            ip += 8;
            op += 8;
        }
        else if (op - destination >= RING_SIZE)
        {
            decodeGroup(flags, std::false_type());
        }
        else
        {
            decodeGroup(flags, std::true_type());
        }
    }
    in = static_cast<int>(ip - stream);
    out = static_cast<int>(op - destination);

    // The rest one item at a time, with every check.
    unsigned int flags = 0;
    for (;;)
    {
        flags >>= 1;
        if ((flags & 0x100) == 0)
        {
            if (in >= streamLength)
            {
                break;
            }
            flags = stream[in++] | 0xFF00u;
        }
        if (flags & 1)
        {
            if (in >= streamLength)
            {
                break;
            }
            if (out >= capacity)
            {
                *decodedSize = out;
                return 0;
            }
            destination[out++] = stream[in++];
        }
        else
        {
            if (in >= streamLength)
            {
                break;
            }
            const int b0 = stream[in++];
            if (in >= streamLength)
            {
                break; // a lone first byte of a reference is dropped
            }
            const int b1 = stream[in++];
            const int position = b0 | ((b1 & 0xF0) << 4);
            const int length = (b1 & 0x0F) + THRESHOLD + 1;
            const int distance = ((START + out - position - 1) & RING_MASK) + 1;
            for (int k = 0; k < length; ++k)
            {
                if (out >= capacity)
                {
                    *decodedSize = out;
                    return 0;
                }
                const int from = out - distance;
                destination[out] = from < 0 ? 0 : destination[from];
                ++out;
            }
        }
    }
    *decodedSize = out;
    return 1;
}
