// Fuzz target for the payload reader: ExpandPayload on arbitrary bytes, as the updater would
// meet a damaged or hostile resource. It must classify the input without reading outside it
// or writing to it, and produce exactly the expanded length or nothing.

#include "FuzzCheck.h"
#include "GsLZSS.h"
#include "PayloadContainer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace
{

// The cross-checks below each allocate and decode the expanded length again; past this size
// they would only slow the fuzzer down (the reader itself is still run on every input).
constexpr std::uint32_t CROSS_CHECK_LIMIT = 1u << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<unsigned char> original(data, data + size);

    // Leftovers in the caller's vector must not survive into the result.
    std::vector<unsigned char> executable(size % 5, 0xEE);
    const PayloadResult result = ExpandPayload(data, size, executable);
    FUZZ_CHECK(std::equal(original.begin(), original.end(), data));
    FUZZ_CHECK(result >= PAYLOAD_OK && result <= PAYLOAD_SHORT);
    const char* description = DescribePayloadResult(result);
    FUZZ_CHECK(description != nullptr && description[0] != '\0');
    FUZZ_CHECK((result == PAYLOAD_TOO_SHORT) == (size < PAYLOAD_HEADER_SIZE));
    if (result == PAYLOAD_TOO_SHORT)
    {
        FUZZ_CHECK(executable.empty());
        return 0;
    }

    // The header reads back to the same 72 bytes, reserved areas included.
    PayloadHeader header{};
    FUZZ_CHECK(ReadPayloadHeader(data, size, header) == PAYLOAD_OK);
    unsigned char rewritten[PAYLOAD_HEADER_SIZE];
    WritePayloadHeader(header, rewritten);
    FUZZ_CHECK(std::equal(rewritten, rewritten + PAYLOAD_HEADER_SIZE, data));

    const bool bodyInside = header.compressedLength <= size - PAYLOAD_HEADER_SIZE;
    const bool expandedSane =
        header.expandedLength >= 1 && header.expandedLength <= PAYLOAD_MAX_EXPANDED;
    if (result != PAYLOAD_OK)
    {
        FUZZ_CHECK(executable.empty());
        FUZZ_CHECK((result == PAYLOAD_BODY_OUTSIDE) == !bodyInside);
        if (bodyInside)
            FUZZ_CHECK((result == PAYLOAD_BAD_EXPANDED) == !expandedSane);
    }
    else
    {
        FUZZ_CHECK(bodyInside && expandedSane);
        FUZZ_CHECK(executable.size() == header.expandedLength);
    }
    if (!bodyInside || header.expandedLength > CROSS_CHECK_LIMIT)
        return 0;

    // The verdict agrees with the codec run by hand on an unscrambled copy of the body.
    if (header.expandedLength != 0)
    {
        std::vector<unsigned char> body(data + PAYLOAD_HEADER_SIZE,
                                        data + PAYLOAD_HEADER_SIZE + header.compressedLength);
        const int bodyLength = static_cast<int>(body.size());
        Unscramble(body.data(), bodyLength, static_cast<unsigned char>(header.mask & 0xFF));
        const int expanded = static_cast<int>(header.expandedLength);
        std::vector<unsigned char> decoded(header.expandedLength);
        auto codec = std::make_unique<CGsLZSS>();
        const int fits = codec->Decode(body.data(), decoded.data(), bodyLength, expanded);
        if (fits == 0)
            FUZZ_CHECK(result == PAYLOAD_OVERRUN);
        else if (codec->decodedSize < expanded)
            FUZZ_CHECK(result == PAYLOAD_SHORT);
        else
            FUZZ_CHECK(result == PAYLOAD_OK && executable == decoded);
    }

    // Bytes after the body play no part.
    const std::size_t exactSize = PAYLOAD_HEADER_SIZE + header.compressedLength;
    if (exactSize < size)
    {
        std::vector<unsigned char> trimmed;
        FUZZ_CHECK(ExpandPayload(data, exactSize, trimmed) == result);
        FUZZ_CHECK(trimmed == executable);
    }

    // A container rebuilt from the result reads back to the same executable.
    if (result == PAYLOAD_OK)
    {
        std::vector<unsigned char> rebuilt;
        FUZZ_CHECK(BuildPayload(executable.data(), executable.size(),
                                static_cast<unsigned char>(header.mask & 0xFF), rebuilt));
        std::vector<unsigned char> again;
        FUZZ_CHECK(ExpandPayload(rebuilt.data(), rebuilt.size(), again) == PAYLOAD_OK);
        FUZZ_CHECK(again == executable);
    }
    return 0;
}
