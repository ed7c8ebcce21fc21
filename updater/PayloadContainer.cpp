#include "PayloadContainer.h"

#include "GsLZSS.h"

#include <cstring>

namespace
{
constexpr std::size_t COMPRESSED_LENGTH_OFFSET = 52;
constexpr std::size_t MASK_OFFSET = 56;
constexpr std::size_t EXPANDED_LENGTH_OFFSET = 60;
constexpr std::size_t RESERVED_TAIL_OFFSET = 64;

std::uint32_t LoadLittleEndian32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void StoreLittleEndian32(std::uint32_t value, unsigned char* p)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}
} // namespace

int Unscramble(unsigned char* body, int length, unsigned char mask)
{
    if (body == nullptr || length <= 0)
    {
        return 0;
    }
    for (int i = 0; i < length; ++i)
    {
        body[i] = static_cast<unsigned char>(body[i] ^ (i & mask));
    }
    return length;
}

const char* DescribePayloadResult(PayloadResult result)
{
    switch (result)
    {
    case PAYLOAD_OK:
        return "payload is well formed";
    case PAYLOAD_TOO_SHORT:
        return "payload is shorter than its 72-byte header";
    case PAYLOAD_BODY_OUTSIDE:
        return "compressed length runs past the end of the payload";
    case PAYLOAD_BAD_EXPANDED:
        return "expanded length is 0 or larger than 256 MiB";
    case PAYLOAD_OVERRUN:
        return "body decodes to more bytes than the expanded length";
    case PAYLOAD_SHORT:
        return "body decodes to fewer bytes than the expanded length";
    }
    return "unknown payload result";
}

PayloadResult ReadPayloadHeader(const unsigned char* resource, std::size_t size,
                                PayloadHeader& header)
{
    if (resource == nullptr || size < PAYLOAD_HEADER_SIZE)
    {
        return PAYLOAD_TOO_SHORT;
    }
    std::memcpy(header.reserved, resource, sizeof(header.reserved));
    header.compressedLength = LoadLittleEndian32(resource + COMPRESSED_LENGTH_OFFSET);
    header.mask = LoadLittleEndian32(resource + MASK_OFFSET);
    header.expandedLength = LoadLittleEndian32(resource + EXPANDED_LENGTH_OFFSET);
    std::memcpy(header.reservedTail, resource + RESERVED_TAIL_OFFSET, sizeof(header.reservedTail));
    return PAYLOAD_OK;
}

void WritePayloadHeader(const PayloadHeader& header, unsigned char* out)
{
    std::memcpy(out, header.reserved, sizeof(header.reserved));
    StoreLittleEndian32(header.compressedLength, out + COMPRESSED_LENGTH_OFFSET);
    StoreLittleEndian32(header.mask, out + MASK_OFFSET);
    StoreLittleEndian32(header.expandedLength, out + EXPANDED_LENGTH_OFFSET);
    std::memcpy(out + RESERVED_TAIL_OFFSET, header.reservedTail, sizeof(header.reservedTail));
}

PayloadResult ExpandPayload(const unsigned char* resource, std::size_t size,
                            std::vector<unsigned char>& executable)
{
    executable.clear();
    PayloadHeader header;
    const PayloadResult headerResult = ReadPayloadHeader(resource, size, header);
    if (headerResult != PAYLOAD_OK)
    {
        return headerResult;
    }
    // Both lengths must also fit the codec's signed 32-bit counts.
    if (header.compressedLength > size - PAYLOAD_HEADER_SIZE ||
        header.compressedLength > 0x7FFFFFFFu)
    {
        return PAYLOAD_BODY_OUTSIDE;
    }
    if (header.expandedLength == 0 || header.expandedLength > PAYLOAD_MAX_EXPANDED)
    {
        return PAYLOAD_BAD_EXPANDED;
    }
    // A group of 17 stream bytes yields at most 8 x 18 = 144 bytes, so a body can never expand
    // more than 9-fold. Refusing before allocating keeps a tiny damaged resource from claiming
    // hundreds of megabytes.
    if (header.expandedLength / 9 > header.compressedLength)
    {
        return PAYLOAD_SHORT;
    }

    // The resource stays scrambled; the body is unscrambled in a copy.
    std::vector<unsigned char> body(resource + PAYLOAD_HEADER_SIZE,
                                    resource + PAYLOAD_HEADER_SIZE + header.compressedLength);
    const int bodyLength = static_cast<int>(header.compressedLength);
    Unscramble(body.data(), bodyLength, static_cast<unsigned char>(header.mask & 0xFF));

    std::vector<unsigned char> expanded(header.expandedLength, 0);
    const int expandedLength = static_cast<int>(header.expandedLength);
    // Without a codec object: the updater carries no encoder.
    std::int32_t decodedSize = 0;
    if (CGsLZSS::Expand(body.data(), expanded.data(), bodyLength, expandedLength, &decodedSize) !=
        1)
    {
        return PAYLOAD_OVERRUN;
    }
    if (decodedSize != expandedLength)
    {
        return PAYLOAD_SHORT;
    }
    executable.swap(expanded);
    return PAYLOAD_OK;
}
