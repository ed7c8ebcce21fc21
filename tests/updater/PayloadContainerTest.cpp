// The payload container: its layout, the scrambling, and every way a damaged container is
// refused before anything is handed on.

#include "PayloadContainer.h"
#include "GsLZSS.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

// Text-like head, zero padding and noise: the shapes a real executable has.
Bytes SampleExecutable(std::size_t n)
{
    std::mt19937 gen(42);
    const char* head = "MZ\x90 This program cannot be run in this mode. ";
    Bytes out;
    while (out.size() < n / 3)
    {
        out.insert(out.end(), head, head + std::strlen(head));
    }
    out.resize(2 * (n / 3));
    while (out.size() < n)
    {
        out.push_back(static_cast<unsigned char>(gen()));
    }
    return out;
}

Bytes Build(const Bytes& exe, unsigned char mask)
{
    Bytes container;
    EXPECT_TRUE(BuildPayload(exe.data(), exe.size(), mask, container));
    return container;
}

Bytes With32(Bytes container, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
    {
        container[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    return container;
}

TEST(PayloadContainer, UnscrambleXorsEachByteWithItsIndexUnderTheMask)
{
    const struct
    {
        int length;
        unsigned char mask;
        int result;
    } cases[] = {{600, 0xFF, 600}, {600, 0x0F, 600}, {600, 0, 600},
                 {1, 0xFF, 1},     {0, 0xFF, 0},     {-5, 0xFF, 0}};
    for (const auto& row : cases)
    {
        Bytes body(600, 0x11);
        EXPECT_EQ(row.result, Unscramble(body.data(), row.length, row.mask)) << row.length;
        for (int i = 0; i < 600; ++i)
        {
            const int changed = i < row.length ? (i & row.mask) : 0;
            ASSERT_EQ(0x11 ^ changed, body[static_cast<std::size_t>(i)]) << row.length << " " << i;
        }
    }
}

TEST(PayloadContainer, BuildsTheDocumentedLayoutAndExpandsBackForEveryMask)
{
    const Bytes exe = SampleExecutable(20000);
    auto codec = std::make_unique<CGsLZSS>();
    Bytes stream(static_cast<std::size_t>(CGsLZSS::MaxEncodedSize(20000)));
    stream.resize(static_cast<std::size_t>(
        codec->Encode(exe.data(), stream.data(), 20000, static_cast<int>(stream.size()))));
    for (unsigned mask : {0u, 1u, 0x5Au, 0xFFu})
    {
        const Bytes container = Build(exe, static_cast<unsigned char>(mask));
        ASSERT_EQ(72 + stream.size(), container.size());
        Bytes expected(72, 0);
        expected = With32(
            With32(With32(expected, 52, static_cast<std::uint32_t>(stream.size())), 56, mask), 60,
            20000);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), container.begin())) << mask;
        // The body is the codec's stream, scrambled.
        Bytes body(container.begin() + 72, container.end());
        Unscramble(body.data(), static_cast<int>(body.size()), static_cast<unsigned char>(mask));
        EXPECT_EQ(stream, body) << mask;

        Bytes out;
        EXPECT_EQ(PAYLOAD_OK, ExpandPayload(container.data(), container.size(), out)) << mask;
        EXPECT_EQ(exe, out) << mask;
    }
}

TEST(PayloadContainer, HeaderFieldsRoundTripWholeAndLittleEndian)
{
    PayloadHeader header = {};
    header.compressedLength = 0x01020304;
    header.mask = 0xABCDEF5A;
    header.expandedLength = 0xF0E0D0C0;
    std::memset(header.reservedTail, 0x77, sizeof header.reservedTail);
    Bytes raw(72);
    WritePayloadHeader(header, raw.data());
    EXPECT_EQ(0x04, raw[52]);
    EXPECT_EQ(0xAB, raw[59]);
    EXPECT_EQ(0xF0, raw[63]);
    PayloadHeader read = {};
    ASSERT_EQ(PAYLOAD_OK, ReadPayloadHeader(raw.data(), raw.size(), read));
    EXPECT_EQ(0, std::memcmp(&header, &read, sizeof header));
}

TEST(PayloadContainer, EachMalformedContainerHasItsOwnResult)
{
    const Bytes exe = SampleExecutable(10000);
    const Bytes good = Build(exe, 0x5A);
    const std::uint32_t body = static_cast<std::uint32_t>(good.size() - 72);
    Bytes noisy = With32(good, 56, 0xABCDEF5A); // only the mask's low byte takes part
    std::fill(noisy.begin(), noisy.begin() + 52, 0xEE);
    std::fill(noisy.begin() + 64, noisy.begin() + 72, 0xEE);
    noisy.insert(noisy.end(), 8, 0); // bytes after the body are ignored
    Bytes truncated(good.begin(), good.end() - 100);
    truncated = With32(truncated, 52, body - 100);
    Bytes tiny = With32(With32(Bytes(172, 0), 52, 100), 60, PAYLOAD_MAX_EXPANDED);
    const Bytes zeros(500000, 0);

    const struct
    {
        const char* name;
        Bytes container;
        PayloadResult result;
        const Bytes* expanded = nullptr;
    } cases[] = {
        {"reserved bytes, high mask bits, trailing bytes", noisy, PAYLOAD_OK, &exe},
        {"the densest stream, 8.5-fold", Build(zeros, 0x5A), PAYLOAD_OK, &zeros},
        {"empty", {}, PAYLOAD_TOO_SHORT},
        {"71 bytes", Bytes(good.begin(), good.begin() + 71), PAYLOAD_TOO_SHORT},
        {"one byte of body missing", Bytes(good.begin(), good.end() - 1), PAYLOAD_BODY_OUTSIDE},
        {"compressed length 2^32-1", With32(good, 52, 0xFFFFFFFF), PAYLOAD_BODY_OUTSIDE},
        {"expanded length 0", With32(good, 60, 0), PAYLOAD_BAD_EXPANDED},
        {"expanded length past the limit", With32(good, 60, PAYLOAD_MAX_EXPANDED + 1),
         PAYLOAD_BAD_EXPANDED},
        {"expanded length one too small", With32(good, 60, 9999), PAYLOAD_OVERRUN},
        {"expanded length one too large", With32(good, 60, 10001), PAYLOAD_SHORT},
        {"body cut short", truncated, PAYLOAD_SHORT},
        {"an empty body", With32(Bytes(72, 0), 60, 10), PAYLOAD_SHORT},
        {"more than any body of its length can make", tiny, PAYLOAD_SHORT},
    };
    for (const auto& row : cases)
    {
        Bytes out(5, 0xCC);
        EXPECT_EQ(row.result, ExpandPayload(row.container.data(), row.container.size(), out))
            << row.name;
        // A failure leaves nothing to hand on.
        EXPECT_EQ(row.expanded != nullptr ? *row.expanded : Bytes(), out) << row.name;
        EXPECT_STRNE("unknown payload result", DescribePayloadResult(row.result));
    }
    Bytes out;
    EXPECT_NE(PAYLOAD_OK, ExpandPayload(With32(good, 56, 0xA5).data(), good.size(), out))
        << "another mask makes another stream";
    EXPECT_FALSE(BuildPayload(exe.data(), 0, 0x5A, out));
    EXPECT_TRUE(out.empty());
}
} // namespace
