// The payload container: its layout, the scrambling, every damaged container refused.

#include "PayloadContainer.h"
#include "GsLZSS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

Bytes With32(Bytes container, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        container[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    return container;
}

// The header, then the codec's stream with each byte XORed with its index under the mask.
TEST(PayloadContainer, LayoutIsTheHeaderThenTheScrambledStream)
{
    const Bytes exe(20000, 'x');
    auto codec = std::make_unique<CGsLZSS>();
    Bytes stream(static_cast<std::size_t>(CGsLZSS::MaxEncodedSize(20000))), container;
    stream.resize(static_cast<std::size_t>(
        codec->Encode(exe.data(), stream.data(), 20000, static_cast<int>(stream.size()))));
    ASSERT_TRUE(BuildPayload(exe.data(), exe.size(), 0x5A, container));
    Bytes expected = With32(With32(With32(Bytes(72, 0), 52, stream.size()), 56, 0x5A), 60, 20000);
    for (std::size_t i = 0; i < stream.size(); ++i)
        expected.push_back(static_cast<unsigned char>(stream[i] ^ (i & 0x5A)));
    EXPECT_EQ(expected, container);
    for (int length : {20, 1, 0, -5}) // unscrambling in place tells how many bytes it took
        EXPECT_EQ(std::max(length, 0), Unscramble(stream.data(), length, 0xFF));

    // Every header byte, the reserved ones included, reads and writes back in place.
    const Bytes fields = With32(Bytes(72, 0xA7), 52, 0xF1E2D3C4);
    PayloadHeader header;
    ASSERT_EQ(PAYLOAD_OK, ReadPayloadHeader(fields.data(), fields.size(), header));
    WritePayloadHeader(header, container.data());
    EXPECT_EQ(fields, Bytes(container.begin(), container.begin() + 72));
}

TEST(PayloadContainer, EachContainerHasItsOwnResult)
{
    const Bytes exe(10000, 'x'), zeros(500000, 0), none;
    Bytes good, densest;
    ASSERT_TRUE(BuildPayload(exe.data(), exe.size(), 0x5A, good));
    ASSERT_TRUE(BuildPayload(zeros.data(), zeros.size(), 0x01, densest));
    Bytes noisy = With32(good, 56, 0xABCDEF5A); // only the mask's low byte takes part
    std::fill(noisy.begin(), noisy.begin() + 52, 0xEE);
    std::fill(noisy.begin() + 64, noisy.begin() + 72, 0xEE);
    noisy.insert(noisy.end(), 8, 0); // bytes after the body are ignored
    // clang-format off
    const std::tuple<Bytes, PayloadResult, Bytes> cases[] = { // container, result, executable
        {noisy, PAYLOAD_OK, exe},
        {densest, PAYLOAD_OK, zeros}, // 8.5-fold, the most a stream can make
        {With32(good, 56, 0xA5), PAYLOAD_SHORT, none}, // another mask, another stream
        {Bytes(good.begin(), good.begin() + 71), PAYLOAD_TOO_SHORT, none},
        {Bytes(good.begin(), good.end() - 1), PAYLOAD_BODY_OUTSIDE, none},
        {With32(good, 52, 0xFFFFFFFF), PAYLOAD_BODY_OUTSIDE, none},
        {With32(good, 60, 0), PAYLOAD_BAD_EXPANDED, none},
        {With32(good, 60, PAYLOAD_MAX_EXPANDED + 1), PAYLOAD_BAD_EXPANDED, none},
        {With32(good, 60, 9999), PAYLOAD_OVERRUN, none},
        {With32(good, 60, 10001), PAYLOAD_SHORT, none},
        {With32(Bytes(good.begin(), good.end() - 10), 52, good.size() - 82), PAYLOAD_SHORT, none},
        {With32(Bytes(72, 0), 60, 10), PAYLOAD_SHORT, none}, // an empty body
        // More than any body of its length can make, refused before it is allocated.
        {With32(With32(Bytes(172, 0), 52, 100), 60, PAYLOAD_MAX_EXPANDED), PAYLOAD_SHORT, none}};
    // clang-format on
    for (const auto& [container, result, executable] : cases)
    {
        Bytes out(5, 0xCC); // a failure leaves nothing to hand on
        EXPECT_EQ(result, ExpandPayload(container.data(), container.size(), out))
            << DescribePayloadResult(result);
        EXPECT_EQ(executable, out) << DescribePayloadResult(result);
        EXPECT_STRNE("unknown payload result", DescribePayloadResult(result));
    }
    EXPECT_FALSE(BuildPayload(exe.data(), 0, 0x5A, good));
    EXPECT_TRUE(good.empty());
}
} // namespace
