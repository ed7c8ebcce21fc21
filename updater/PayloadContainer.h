#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The payload resource: a 72-byte header, then the new executable LZSS-encoded and scrambled
// with a one-byte mask. All multi-byte fields are unsigned 32-bit little-endian.
struct PayloadHeader
{
    std::uint8_t reserved[52];      // zero when built; ignored when read
    std::uint32_t compressedLength; // bytes of the body that follows the header
    std::uint32_t mask;             // scrambling mask; only the low 8 bits take part
    std::uint32_t expandedLength;   // size of the file the body decodes to
    std::uint8_t reservedTail[8];   // zero when built; ignored when read
};
static_assert(sizeof(PayloadHeader) == 72, "the header is 72 bytes on every target");

constexpr std::size_t PAYLOAD_HEADER_SIZE = sizeof(PayloadHeader);
// Largest expanded length accepted: a release far larger than any plausible executable means
// a damaged header, and the reader must not try to allocate it.
constexpr std::uint32_t PAYLOAD_MAX_EXPANDED = 256u * 1024 * 1024;

// XORs body[i] with (i & mask) for i in [0, length): scrambles and unscrambles alike, since
// the transformation is its own inverse. Bytes whose index is a multiple of 256 never change.
// Returns the number of bytes processed (0 when length is 0 or negative).
int Unscramble(unsigned char* body, int length, unsigned char mask);

// Outcome of reading a payload resource. Each failure is distinct so a caller (or the
// publisher's tool) can say what is wrong.
enum PayloadResult : int
{
    PAYLOAD_OK = 0,
    PAYLOAD_TOO_SHORT,    // fewer bytes than the header
    PAYLOAD_BODY_OUTSIDE, // the compressed length runs past the resource
    PAYLOAD_BAD_EXPANDED, // expanded length 0 or over PAYLOAD_MAX_EXPANDED
    PAYLOAD_OVERRUN,      // the body would decode past the expanded length
    PAYLOAD_SHORT,        // the body decodes to fewer bytes than the expanded length
};

// A short English description of a result, for diagnostics.
const char* DescribePayloadResult(PayloadResult result);

// Reads the header fields from the first 72 bytes of `resource` (little-endian, whatever the
// host). Returns PAYLOAD_TOO_SHORT when `size` is smaller than the header.
PayloadResult ReadPayloadHeader(const unsigned char* resource, std::size_t size,
                                PayloadHeader& header);

// Writes `header` as the 72 bytes of a container (little-endian).
void WritePayloadHeader(const PayloadHeader& header, unsigned char* out);

// Turns the raw bytes of a payload resource into the new executable: checks the header
// against `size`, unscrambles a copy of the body and decodes it into `executable`, which holds
// exactly the expanded length on PAYLOAD_OK and is left empty on any failure. Bytes after the
// body are ignored. `resource` is not modified.
PayloadResult ExpandPayload(const unsigned char* resource, std::size_t size,
                            std::vector<unsigned char>& executable);

// Builds a container from an executable: encodes, scrambles with `mask`, and writes a header
// with zeros in both reserved areas. Returns false when the executable is empty or larger
// than PAYLOAD_MAX_EXPANDED.
bool BuildPayload(const unsigned char* executable, std::size_t size, unsigned char mask,
                  std::vector<unsigned char>& container);
