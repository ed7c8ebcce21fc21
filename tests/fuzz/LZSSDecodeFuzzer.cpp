// CGsLZSS::Decode on a capacity (two bytes, little-endian) and a stream: it stays inside its
// room, decodes what the yardstick decodes, and reports an overrun exactly when there is more.
#include "FuzzCheck.h"
#include "GsLZSS.h"
#include "LzssYardstick.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

// A decode into `capacity` bytes and a canary (the sanitizers see no write inside the allocation).
template <typename Codec> std::pair<int, Bytes> Decode(Codec& codec, const Bytes& in, int capacity)
{
    Bytes out(static_cast<std::size_t>(capacity) + 64, 0xA5);
    const int result = codec.Decode(in.data(), out.data(), static_cast<int>(in.size()), capacity);
    FUZZ_CHECK((result == 0 || result == 1) && codec.decodedSize <= capacity);
    FUZZ_CHECK(std::all_of(out.begin() + capacity, out.end(), [](auto b) { return b == 0xA5; }));
    out.resize(static_cast<std::size_t>(codec.decodedSize));
    return {result, out};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Reused, as callers may reuse them: no call may depend on what the one before left.
    static const auto codec = std::make_unique<CGsLZSS>();
    static const auto yardstick = std::make_unique<CLzssYardstick>();
    if (size < 2 || size > 1 << 20)
        return 0;
    const int capacity = data[0] | data[1] << 8;
    const Bytes stream(data + 2, data + size);
    const auto [result, output] = Decode(*codec, stream, capacity);
    FUZZ_CHECK(Decode(*yardstick, stream, capacity) == std::make_pair(result, output));

    // An exact fit is no overrun, one byte less is; more room gives an overrun more, same first.
    const int produced = static_cast<int>(output.size());
    const auto [roomy, more] = Decode(*codec, stream, result == 1 ? produced : capacity * 2 + 64);
    FUZZ_CHECK(result == 0 ? more.size() > output.size() : roomy == 1 && more == output);
    FUZZ_CHECK(std::equal(output.begin(), output.end(), more.begin()));
    FUZZ_CHECK(result == 0 || produced == 0 || Decode(*codec, stream, produced - 1).first == 0);
    return 0;
}
