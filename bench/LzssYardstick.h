#pragma once

#include <cstdint>

// The codec's algorithm written out plainly, one byte at a time: tree insertion and deletion
// with byte-by-byte comparison, and a decoder that copies every byte through the ring. The
// product does not use it; the benchmark runs it beside CGsLZSS so that every run measures
// both on the same machine, and the tests compare CGsLZSS's streams and outputs against it.
// Same calls, results and limits as CGsLZSS (capacity checks included).
class CLzssYardstick
{
public:
    static constexpr int RING_SIZE = 4096;
    static constexpr int MAX_MATCH = 18;
    static constexpr int THRESHOLD = 2;
    static constexpr int NIL = RING_SIZE;
    static constexpr int START = RING_SIZE - MAX_MATCH;

    int Encode(const unsigned char* source, unsigned char* destination, int sourceLength,
               int capacity);
    int Decode(const unsigned char* stream, unsigned char* destination, int streamLength,
               int capacity);

    std::int32_t encodedSize = 0;
    std::int32_t decodedSize = 0;

private:
    void InitTrees();
    void InsertNode(int r);
    void DeleteNode(int p);

    unsigned char ring[RING_SIZE + MAX_MATCH - 1];
    std::int32_t treeParent[RING_SIZE + 1];
    std::int32_t leftChild[RING_SIZE + 1];
    std::int32_t rightChild[RING_SIZE + 257];
    std::int32_t matchPosition = 0;
    std::int32_t matchLength = 0;
};
