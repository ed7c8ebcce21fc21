#pragma once

#include "GsCompress.h"

#include <cstdint>

// LZSS over a 4096-byte ring that starts zero-filled: matches of 3 to 18 bytes found through
// binary search trees, announced by flag bytes that each cover eight items (bit set: literal
// byte; bit clear: two bytes b0 b1 naming ring position b0 | (b1 & 0xF0) << 4 and length
// (b1 & 0x0F) + 3). The stream has no header and no end marker; its decoded size travels
// beside it.
//
// All working memory is inside the object (about 30 KiB): the calls allocate nothing, and an
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

    // Decode without an object: the same result and output, the bytes written stored in
    // *decodedSize. A program that only expands streams calls this one, so that the encoder,
    // which the object's table of operations names, stays out of it.
    static int Expand(const unsigned char* stream, unsigned char* destination, int streamLength,
                      int capacity, std::int32_t* decodedSize);

    // The largest stream Encode can produce from `sourceLength` bytes.
    static int MaxEncodedSize(int sourceLength);

    // Bytes written by the current or last Encode (its result when it succeeded).
    std::int32_t encodedSize = 0;
    // Bytes written by the last Decode, so callers can check an expected length.
    std::int32_t decodedSize = 0;

private:
    struct Walk;

    void InitTrees();
    void StartWalk(Walk& walk, int r);
    template <bool FIND_MATCH> void FinishWalk(Walk& walk);
    template <bool FIND_MATCH> void InsertNode(int r);
    void InsertPair(int first, int second, std::int32_t* firstLength, std::int32_t* firstPosition);
    void ReplaceNode(unsigned p, unsigned r);
    int TryReplace(int candidate, int r);
    void DeleteNode(int p);

    // Positions 0..4095, then a mirror of 0..16 so an 18-byte comparison never wraps.
    unsigned char ring[RING_SIZE + MAX_MATCH - 1];
    // The match trees, 16-bit so that they and the ring stay in the first-level cache. Node p's
    // children are child[2p] (left: strings that compare smaller) and child[2p + 1] (right);
    // nodes RING_SIZE + 1 + x are the roots of the trees for first byte x (right link only).
    // Instead of a parent, each node p records slot[p], the index in child of the link that
    // points to it (NO_SLOT when p is in no tree): that is all deletion needs to unlink it.
    // Entry RING_SIZE of `slot` takes the writes addressed to NIL.
    static constexpr std::uint16_t NO_SLOT = 0xFFFF;
    std::uint16_t child[2 * (RING_SIZE + 257)];
    std::uint16_t slot[RING_SIZE + 1];
    std::int32_t matchPosition = 0;
    std::int32_t matchLength = 0;
};
