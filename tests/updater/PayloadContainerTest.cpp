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

Bytes SampleExecutable(std::size_t n)
{
    // Text-like head, zero padding and noise: the shapes a real executable has.
    std::mt19937 gen(42);
    Bytes out;
    const char* head = "MZ\x90 This program cannot be run in this mode. ";
    while (out.size() < n / 3)
    {
        out.insert(out.end(), head, head + std::strlen(head));
    }
    out.resize(n / 3);
    out.insert(out.end(), n / 3, 0);
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

void PutLittleEndian32(Bytes& container, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
    {
        container[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

TEST(PayloadUnscramble, MaskZeroIsTheIdentity)
{
    Bytes body(1000);
    for (std::size_t i = 0; i < body.size(); ++i)
    {
        body[i] = static_cast<unsigned char>(i * 7);
    }
    const Bytes before = body;
    EXPECT_EQ(Unscramble(body.data(), 1000, 0), 1000);
    EXPECT_EQ(body, before);
}

TEST(PayloadUnscramble, XorsEachByteWithItsIndexUnderTheMask)
{
    Bytes body(600, 0);
    Unscramble(body.data(), 600, 0xFF);
    for (std::size_t i = 0; i < body.size(); ++i)
    {
        ASSERT_EQ(body[i], static_cast<unsigned char>(i & 0xFF)) << i;
    }
    Bytes masked(600, 0);
    Unscramble(masked.data(), 600, 0x0F);
    EXPECT_EQ(masked[0x1F], 0x0F);
    EXPECT_EQ(masked[0x30], 0x00);
}

TEST(PayloadUnscramble, MultiplesOf256NeverChangeAndTwiceRestores)
{
    std::mt19937 gen(1);
    Bytes body(5000);
    for (auto& b : body)
    {
        b = static_cast<unsigned char>(gen());
    }
    const Bytes original = body;
    for (int mask = 0; mask < 256; ++mask)
    {
        Unscramble(body.data(), static_cast<int>(body.size()), static_cast<unsigned char>(mask));
        for (std::size_t i = 0; i < body.size(); i += 256)
        {
            ASSERT_EQ(body[i], original[i]) << "mask " << mask << " index " << i;
        }
        Unscramble(body.data(), static_cast<int>(body.size()), static_cast<unsigned char>(mask));
        ASSERT_EQ(body, original) << "mask " << mask;
    }
}

TEST(PayloadUnscramble, NothingForZeroOrNegativeLength)
{
    unsigned char byte = 0x11;
    EXPECT_EQ(Unscramble(&byte, 0, 0xFF), 0);
    EXPECT_EQ(Unscramble(&byte, -5, 0xFF), 0);
    EXPECT_EQ(byte, 0x11);
}

TEST(PayloadContainer, BuildsTheDocumentedLayout)
{
    const Bytes exe = SampleExecutable(50000);
    const Bytes container = Build(exe, 0x5A);
    PayloadHeader header;
    ASSERT_EQ(ReadPayloadHeader(container.data(), container.size(), header), PAYLOAD_OK);
    EXPECT_EQ(header.expandedLength, 50000u);
    EXPECT_EQ(header.mask, 0x5Au);
    EXPECT_EQ(container.size(), 72u + header.compressedLength);
    for (std::size_t i = 0; i < 52; ++i)
    {
        EXPECT_EQ(container[i], 0) << i;
    }
    for (std::size_t i = 64; i < 72; ++i)
    {
        EXPECT_EQ(container[i], 0) << i;
    }
    // Fields are little-endian at 52, 56 and 60 whatever the host.
    EXPECT_EQ(container[56], 0x5A);
    EXPECT_EQ(container[60] | container[61] << 8 | container[62] << 16, 50000);

    // The body is the codec's stream, scrambled.
    auto codec = std::make_unique<CGsLZSS>();
    Bytes stream(CGsLZSS::MaxEncodedSize(50000));
    stream.resize(codec->Encode(exe.data(), stream.data(), 50000, static_cast<int>(stream.size())));
    Bytes body(container.begin() + 72, container.end());
    Unscramble(body.data(), static_cast<int>(body.size()), 0x5A);
    EXPECT_EQ(body, stream);
}

TEST(PayloadContainer, ExpandsBackToTheExecutableForEveryMask)
{
    const Bytes exe = SampleExecutable(20000);
    for (unsigned mask : {0u, 1u, 0x5Au, 0xFFu})
    {
        const Bytes container = Build(exe, static_cast<unsigned char>(mask));
        const Bytes untouched = container;
        Bytes out;
        EXPECT_EQ(ExpandPayload(container.data(), container.size(), out), PAYLOAD_OK) << mask;
        EXPECT_EQ(out, exe) << mask;
        EXPECT_EQ(container, untouched) << "the resource stays scrambled";
    }
}

TEST(PayloadContainer, IgnoresReservedBytesHighMaskBitsAndTrailingBytes)
{
    const Bytes exe = SampleExecutable(3000);
    Bytes container = Build(exe, 0x33);
    for (std::size_t i = 0; i < 52; ++i)
    {
        container[i] = 0xEE;
    }
    for (std::size_t i = 64; i < 72; ++i)
    {
        container[i] = 0xEE;
    }
    PutLittleEndian32(container, 56, 0xABCDEF33u); // only the low byte takes part
    container.insert(container.end(), 8, 0);       // padding after the body
    Bytes out;
    EXPECT_EQ(ExpandPayload(container.data(), container.size(), out), PAYLOAD_OK);
    EXPECT_EQ(out, exe);
}

TEST(PayloadContainer, EmptyBodyIsShortOfAnyExpandedLength)
{
    // A zero compressed length decodes to nothing, which cannot be a whole executable.
    Bytes container(72, 0);
    PutLittleEndian32(container, 60, 10);
    Bytes out{1, 2, 3};
    EXPECT_EQ(ExpandPayload(container.data(), container.size(), out), PAYLOAD_SHORT);
    EXPECT_TRUE(out.empty());
}

TEST(PayloadContainer, RejectsExpansionNoStreamCanReachBeforeAllocatingIt)
{
    // The densest stream (all references of 18 bytes) expands about 8.5-fold: still accepted.
    const Bytes zeros(500000, 0);
    const Bytes dense = Build(zeros, 0x5A);
    Bytes out;
    ASSERT_EQ(ExpandPayload(dense.data(), dense.size(), out), PAYLOAD_OK);
    EXPECT_EQ(out, zeros);

    // A 100-byte body cannot make 256 MiB: refused as short without decoding.
    Bytes tiny(172, 0);
    PutLittleEndian32(tiny, 52, 100);
    PutLittleEndian32(tiny, 60, PAYLOAD_MAX_EXPANDED);
    EXPECT_EQ(ExpandPayload(tiny.data(), tiny.size(), out), PAYLOAD_SHORT);
    EXPECT_TRUE(out.empty());
}

TEST(PayloadContainer, EachMalformedContainerHasItsOwnResult)
{
    const Bytes exe = SampleExecutable(10000);
    const Bytes good = Build(exe, 0x5A);
    Bytes out;

    auto expand = [&out](const Bytes& c)
    {
        out.assign(5, 0xCC); // a failure must leave nothing to hand on
        const PayloadResult result = ExpandPayload(c.data(), c.size(), out);
        if (result != PAYLOAD_OK)
        {
            EXPECT_TRUE(out.empty());
        }
        return result;
    };

    EXPECT_EQ(expand(Bytes()), PAYLOAD_TOO_SHORT);
    EXPECT_EQ(expand(Bytes(good.begin(), good.begin() + 71)), PAYLOAD_TOO_SHORT);

    EXPECT_EQ(expand(Bytes(good.begin(), good.end() - 1)), PAYLOAD_BODY_OUTSIDE);
    Bytes huge = good;
    PutLittleEndian32(huge, 52, 0xFFFFFFFFu);
    EXPECT_EQ(expand(huge), PAYLOAD_BODY_OUTSIDE);

    Bytes zero = good;
    PutLittleEndian32(zero, 60, 0);
    EXPECT_EQ(expand(zero), PAYLOAD_BAD_EXPANDED);
    Bytes absurd = good;
    PutLittleEndian32(absurd, 60, PAYLOAD_MAX_EXPANDED + 1);
    EXPECT_EQ(expand(absurd), PAYLOAD_BAD_EXPANDED);

    Bytes tooSmall = good;
    PutLittleEndian32(tooSmall, 60, 9999);
    EXPECT_EQ(expand(tooSmall), PAYLOAD_OVERRUN);

    Bytes tooLarge = good;
    PutLittleEndian32(tooLarge, 60, 10001);
    EXPECT_EQ(expand(tooLarge), PAYLOAD_SHORT);

    // A body cut short (with the length to match) decodes to too little.
    Bytes truncated(good.begin(), good.end() - 100);
    PutLittleEndian32(truncated, 52, static_cast<std::uint32_t>(truncated.size() - 72));
    EXPECT_EQ(expand(truncated), PAYLOAD_SHORT);

    // A different mask scrambles the body into another stream: rejected, never handed on.
    Bytes wrongMask = good;
    PutLittleEndian32(wrongMask, 56, 0xA5);
    EXPECT_NE(expand(wrongMask), PAYLOAD_OK);

    EXPECT_EQ(expand(good), PAYLOAD_OK);
    EXPECT_EQ(out, exe);
}

TEST(PayloadContainer, BuildRefusesAnEmptyExecutable)
{
    Bytes container{9};
    const unsigned char byte = 0;
    EXPECT_FALSE(BuildPayload(&byte, 0, 0x5A, container));
    EXPECT_TRUE(container.empty());
}

TEST(PayloadContainer, DescribesEveryResult)
{
    for (int r = PAYLOAD_OK; r <= PAYLOAD_SHORT; ++r)
    {
        EXPECT_STRNE(DescribePayloadResult(static_cast<PayloadResult>(r)),
                     "unknown payload result");
    }
}
} // namespace
