// CGsLZSS::Encode: the very bytes the yardstick writes, decoding back to the source; a
// destination one byte short refused without a write past it.
#include "FuzzCheck.h"
#include "GsLZSS.h"
#include "LzssYardstick.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Reused, as callers may reuse them: no call may depend on what the one before left.
    static const auto codec = std::make_unique<CGsLZSS>();
    static const auto yardstick = std::make_unique<CLzssYardstick>();
    if (size == 0 || size > 1 << 20)
        return 0;
    const int length = static_cast<int>(size);
    const int bound = CGsLZSS::MaxEncodedSize(length);
    std::vector<unsigned char> expected(bound), stream(bound + 64, 0x5A), decoded(length);
    const int written = yardstick->Encode(data, expected.data(), length, bound);
    for (const int capacity : {bound, written - 1})
    {
        std::fill(stream.begin() + capacity, stream.end(), 0x5A);
        FUZZ_CHECK(codec->Encode(data, stream.data(), length, capacity) ==
                   (capacity == bound ? written : -1));
        FUZZ_CHECK(std::all_of(stream.begin() + capacity, stream.end(),
                               [](unsigned char b) { return b == 0x5A; }));
        FUZZ_CHECK(std::equal(expected.begin(), expected.begin() + written, stream.begin()) ||
                   capacity < bound);
    }
    FUZZ_CHECK(codec->Decode(expected.data(), decoded.data(), written, length) == 1);
    FUZZ_CHECK(codec->decodedSize == length && std::equal(decoded.begin(), decoded.end(), data));
    return 0;
}
