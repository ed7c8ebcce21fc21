// Fuzz target for CGsLZSS::Encode. Input: the source bytes. The stream must be the very bytes
// the plain, byte-at-a-time yardstick writes (the format is fixed to the byte, and the fast
// encoder reorders its tree work to be fast), it must decode back to the source, and a
// destination one byte short must be refused without a write past it.

#include "FuzzCheck.h"
#include "GsLZSS.h"
#include "LzssYardstick.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
constexpr std::size_t CANARY_SIZE = 64;
constexpr unsigned char CANARY = 0x5A;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The objects hold their working memory (tens of KiB): kept off the stack and reused, as
    // callers may reuse them.
    static const std::unique_ptr<CGsLZSS> codec = std::make_unique<CGsLZSS>();
    static const std::unique_ptr<CLzssYardstick> yardstick = std::make_unique<CLzssYardstick>();
    if (size == 0 || size > 1 << 20)
        return 0;
    const int length = static_cast<int>(size);
    const int bound = CGsLZSS::MaxEncodedSize(length);

    std::vector<unsigned char> expected(static_cast<std::size_t>(bound));
    const int expectedSize = yardstick->Encode(data, expected.data(), length, bound);
    FUZZ_CHECK(expectedSize > 0 && expectedSize <= bound);

    std::vector<unsigned char> stream(static_cast<std::size_t>(bound) + CANARY_SIZE, CANARY);
    const int streamSize = codec->Encode(data, stream.data(), length, bound);
    FUZZ_CHECK(streamSize == expectedSize);
    FUZZ_CHECK(codec->encodedSize == streamSize);
    FUZZ_CHECK(std::memcmp(stream.data(), expected.data(), static_cast<std::size_t>(streamSize)) ==
               0);
    for (std::size_t i = static_cast<std::size_t>(bound); i < stream.size(); ++i)
        FUZZ_CHECK(stream[i] == CANARY);

    std::vector<unsigned char> decoded(size);
    FUZZ_CHECK(codec->Decode(stream.data(), decoded.data(), streamSize, length) == 1);
    FUZZ_CHECK(codec->decodedSize == length);
    FUZZ_CHECK(std::memcmp(decoded.data(), data, size) == 0);

    // One byte too few: refused, and nothing written beyond the capacity given.
    const int shortCapacity = streamSize - 1;
    if (shortCapacity > 0)
    {
        std::vector<unsigned char> cut(static_cast<std::size_t>(shortCapacity) + CANARY_SIZE,
                                       CANARY);
        FUZZ_CHECK(codec->Encode(data, cut.data(), length, shortCapacity) == -1);
        for (std::size_t i = static_cast<std::size_t>(shortCapacity); i < cut.size(); ++i)
            FUZZ_CHECK(cut[i] == CANARY);
    }
    return 0;
}
