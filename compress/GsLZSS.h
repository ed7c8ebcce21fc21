#pragma once

#include "GsCompress.h"

#include <cstdint>

// LZSS over a 4096-byte ring that starts zero-filled: matches of 3 to 18 bytes found through
// binary search trees, announced by flag bytes that each cover eight items (bit set: literal
// byte; bit clear: two bytes b0 b1 naming ring position b0 | (b1 & 0xF0) << 4 and length
// (b1 & 0x0F) + 3). The stream has no header and no end marker; its decoded size travels
// beside it.
//
// All working memory is inside the object (about 54 KiB): the calls allocate nothing, and an
// automatic object needs that much stack. One object serves one call at a time.
// Encode needs at most n + ceil(n / 8) bytes of destination for n source bytes.
class CGsLZSS : public IGsCompress
{
public:
    static constexpr int RING_SIZE = 4096;
    static constexpr int MAX_MATCH = 18;
    static constexpr int THRESHOLD = 2; // longest match still sent as a literal
    static constexpr int NIL = RING_SIZE;
    static constexpr int START = RING_SIZE - MAX_MATCH; // first ring position written

    CGsLZSS() = default;
    ~CGsLZSS() override = default;

    int Encode(const unsigned char* source, unsigned char* destination, int sourceLength,
               int capacity) override;
    int Decode(const unsigned char* stream, unsigned char* destination, int streamLength,
               int capacity) override;

    // The largest stream Encode can produce from `sourceLength` bytes.
    static int MaxEncodedSize(int sourceLength);

    // Bytes written by the current or last Encode (its result when it succeeded).
    std::int32_t encodedSize = 0;
    // Bytes written by the last Decode, so callers can check an expected length.
    std::int32_t decodedSize = 0;

private:
    void InitTrees();
    void InsertNode(int r);
    void DeleteNode(int p);

    // Positions 0..4095, then a mirror of 0..16 so an 18-byte comparison never wraps.
    unsigned char ring[RING_SIZE + MAX_MATCH - 1];
    std::int32_t treeParent[RING_SIZE + 1];
    std::int32_t leftChild[RING_SIZE + 1];
    // Entries RING_SIZE + 1 + x are the roots of the trees for first byte x.
    std::int32_t rightChild[RING_SIZE + 257];
    std::int32_t matchPosition = 0;
    std::int32_t matchLength = 0;
};
