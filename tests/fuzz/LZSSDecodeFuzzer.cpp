// Fuzz target for CGsLZSS::Decode. Input: two bytes of little-endian destination capacity
// (0..65535), then the stream. The decoder must stay inside its buffer whatever the stream
// says, agree with the plain yardstick decoder, report an overrun only when there is one, and
// agree with the encoder.

#include "FuzzCheck.h"
#include "GsLZSS.h"
#include "LzssYardstick.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace
{

constexpr std::size_t CANARY_SIZE = 64;
constexpr unsigned char CANARY = 0xA5;

void CheckCanary(const std::vector<unsigned char>& buffer, std::size_t from)
{
    for (std::size_t i = from; i < buffer.size(); ++i)
        FUZZ_CHECK(buffer[i] == CANARY);
}

// Decodes into `capacity` bytes followed by a canary region that must come back untouched
// (the sanitizers cannot see a write that stays inside the allocation). `out` is left holding
// the decoded bytes.
int GuardedDecode(CGsLZSS& codec, const unsigned char* stream, int length, int capacity,
                  std::vector<unsigned char>& out)
{
    out.assign(static_cast<std::size_t>(capacity) + CANARY_SIZE, CANARY);
    const int result = codec.Decode(stream, out.data(), length, capacity);
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(codec.decodedSize >= 0 && codec.decodedSize <= capacity);
    CheckCanary(out, static_cast<std::size_t>(capacity));
    out.resize(static_cast<std::size_t>(codec.decodedSize));
    return result;
}

bool StartsWith(const std::vector<unsigned char>& whole, const std::vector<unsigned char>& prefix)
{
    return whole.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int capacity = data[0] | data[1] << 8;
    const unsigned char* stream = data + 2;
    const int length = static_cast<int>(std::min<std::size_t>(size - 2, INT_MAX));
    // One object for every call below: each call must start from a clean state whatever the
    // previous one left in the ring and trees.
    auto codec = std::make_unique<CGsLZSS>();

    std::vector<unsigned char> output;
    const int result = GuardedDecode(*codec, stream, length, capacity, output);
    static const std::unique_ptr<CLzssYardstick> yardstick = std::make_unique<CLzssYardstick>();
    std::vector<unsigned char> again(static_cast<std::size_t>(capacity) + 1);
    FUZZ_CHECK(yardstick->Decode(stream, again.data(), length, capacity) == result);
    again.resize(static_cast<std::size_t>(yardstick->decodedSize));
    FUZZ_CHECK(again == output);
    if (result == 0)
    {
        // An overrun is real: with more room the stream yields more than `capacity` bytes,
        // and the bytes written before stopping were the right ones.
        GuardedDecode(*codec, stream, length, capacity * 2 + 64, again);
        FUZZ_CHECK(again.size() > static_cast<std::size_t>(capacity));
        FUZZ_CHECK(StartsWith(again, output));
        return 0;
    }

    // An exact fit is not an overrun; one byte less is.
    const int produced = static_cast<int>(output.size());
    FUZZ_CHECK(GuardedDecode(*codec, stream, length, produced, again) == 1);
    FUZZ_CHECK(again == output);
    if (produced > 0)
    {
        FUZZ_CHECK(GuardedDecode(*codec, stream, length, produced - 1, again) == 0);
        FUZZ_CHECK(StartsWith(output, again));
    }

    // Whatever came out re-encodes within the advertised bound and decodes back to itself.
    const int bound = CGsLZSS::MaxEncodedSize(produced);
    std::vector<unsigned char> encoded(static_cast<std::size_t>(bound) + CANARY_SIZE, CANARY);
    const int written = codec->Encode(output.data(), encoded.data(), produced, bound);
    FUZZ_CHECK(written >= 0 && written <= bound);
    FUZZ_CHECK((written == 0) == (produced == 0));
    FUZZ_CHECK(codec->encodedSize == written);
    CheckCanary(encoded, static_cast<std::size_t>(bound));
    encoded.resize(static_cast<std::size_t>(written));
    FUZZ_CHECK(GuardedDecode(*codec, encoded.data(), written, produced, again) == 1);
    FUZZ_CHECK(again == output);

    // A destination one byte too small is refused without being overrun.
    if (written > 0)
    {
        std::vector<unsigned char> tight(static_cast<std::size_t>(written) - 1 + CANARY_SIZE,
                                         CANARY);
        FUZZ_CHECK(codec->Encode(output.data(), tight.data(), produced, written - 1) == -1);
        CheckCanary(tight, static_cast<std::size_t>(written) - 1);
    }
    return 0;
}
