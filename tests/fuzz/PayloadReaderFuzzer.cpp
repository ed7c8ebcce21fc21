// The payload reader on arbitrary bytes: the verdict follows from the header, the input is never
// written, the result is exactly the expanded length or nothing.

#include "FuzzCheck.h"
#include "PayloadContainer.h"

#include <algorithm>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<unsigned char> original(data, data + size);
    std::vector<unsigned char> executable(size % 5, 0xEE), trimmed;
    const PayloadResult result = ExpandPayload(data, size, executable);
    FUZZ_CHECK(std::equal(original.begin(), original.end(), data));
    FUZZ_CHECK(DescribePayloadResult(result)[0] != 'u'); // not "unknown payload result"
    FUZZ_CHECK((result == PAYLOAD_TOO_SHORT) == (size < PAYLOAD_HEADER_SIZE));
    FUZZ_CHECK(result == PAYLOAD_OK || executable.empty());
    PayloadHeader header{};
    unsigned char rewritten[PAYLOAD_HEADER_SIZE]; // the same 72 bytes, reserved areas included
    if (ReadPayloadHeader(data, size, header) != PAYLOAD_OK)
        return 0;
    WritePayloadHeader(header, rewritten);
    FUZZ_CHECK(std::equal(rewritten, rewritten + PAYLOAD_HEADER_SIZE, data));
    const bool bodyInside = header.compressedLength <= size - PAYLOAD_HEADER_SIZE;
    const bool expandedSane = header.expandedLength - 1 < PAYLOAD_MAX_EXPANDED; // 1 to the limit
    FUZZ_CHECK((result == PAYLOAD_BODY_OUTSIDE) == !bodyInside);
    FUZZ_CHECK((result == PAYLOAD_BAD_EXPANDED) == (bodyInside && !expandedSane));
    FUZZ_CHECK(result != PAYLOAD_OK || executable.size() == header.expandedLength);
    if (!bodyInside)
        return 0;

    // Bytes after the body play no part.
    const std::size_t exact = PAYLOAD_HEADER_SIZE + header.compressedLength;
    FUZZ_CHECK(ExpandPayload(data, exact, trimmed) == result && trimmed == executable);
    return 0;
}
