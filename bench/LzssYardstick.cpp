#include "LzssYardstick.h"

#include <cstring>

namespace
{
constexpr int RING_MASK = CLzssYardstick::RING_SIZE - 1;
constexpr int GROUP_BUFFER_SIZE = 1 + 8 * 2; // a flag byte and eight two-byte references
} // namespace

void CLzssYardstick::InitTrees()
{
    for (int i = RING_SIZE + 1; i <= RING_SIZE + 256; ++i)
    {
        rightChild[i] = NIL;
    }
    for (int i = 0; i < RING_SIZE; ++i)
    {
        treeParent[i] = NIL;
    }
}

// Inserts the 18-byte string at ring position r into the tree of its first byte, and records
// the longest match met on the way down. A string equal over all 18 bytes replaces the older
// node, so the tree always refers to the newest occurrence.
void CLzssYardstick::InsertNode(int r)
{
    const unsigned char* key = &ring[r];
    int cmp = 1;
    int p = RING_SIZE + 1 + key[0];
    rightChild[r] = leftChild[r] = NIL;
    matchLength = 0;
    for (;;)
    {
        if (cmp >= 0)
        {
            if (rightChild[p] != NIL)
            {
                p = rightChild[p];
            }
            else
            {
                rightChild[p] = r;
                treeParent[r] = p;
                return;
            }
        }
        else
        {
            if (leftChild[p] != NIL)
            {
                p = leftChild[p];
            }
            else
            {
                leftChild[p] = r;
                treeParent[r] = p;
                return;
            }
        }
        int i = 1;
        for (; i < MAX_MATCH; ++i)
        {
            cmp = key[i] - ring[p + i];
            if (cmp != 0)
            {
                break;
            }
        }
        if (i > matchLength)
        {
            matchPosition = p;
            matchLength = i;
            if (i >= MAX_MATCH)
            {
                break;
            }
        }
    }
    // Full-length match: r takes p's place.
    treeParent[r] = treeParent[p];
    leftChild[r] = leftChild[p];
    rightChild[r] = rightChild[p];
    treeParent[leftChild[p]] = r;
    treeParent[rightChild[p]] = r;
    if (rightChild[treeParent[p]] == p)
    {
        rightChild[treeParent[p]] = r;
    }
    else
    {
        leftChild[treeParent[p]] = r;
    }
    treeParent[p] = NIL;
}

void CLzssYardstick::DeleteNode(int p)
{
    if (treeParent[p] == NIL)
    {
        return;
    }
    int q;
    if (rightChild[p] == NIL)
    {
        q = leftChild[p];
    }
    else if (leftChild[p] == NIL)
    {
        q = rightChild[p];
    }
    else
    {
        q = leftChild[p];
        if (rightChild[q] != NIL)
        {
            do
            {
                q = rightChild[q];
            } while (rightChild[q] != NIL);
            rightChild[treeParent[q]] = leftChild[q];
            treeParent[leftChild[q]] = treeParent[q];
            leftChild[q] = leftChild[p];
            treeParent[leftChild[p]] = q;
        }
        rightChild[q] = rightChild[p];
        treeParent[rightChild[p]] = q;
    }
    treeParent[q] = treeParent[p];
    if (rightChild[treeParent[p]] == p)
    {
        rightChild[treeParent[p]] = q;
    }
    else
    {
        leftChild[treeParent[p]] = q;
    }
    treeParent[p] = NIL;
}

int CLzssYardstick::Encode(const unsigned char* source, unsigned char* destination,
                           int sourceLength, int capacity)
{
    encodedSize = 0;
    if (sourceLength <= 0 || source == nullptr)
    {
        return 0;
    }
    if (destination == nullptr || capacity <= 0)
    {
        return -1;
    }
    matchPosition = 0;
    matchLength = 0;
    InitTrees();
    // The whole ring, mirror included, so the output never depends on an earlier call.
    std::memset(ring, 0, sizeof(ring));

    unsigned char group[GROUP_BUFFER_SIZE];
    group[0] = 0;
    int groupIndex = 1;
    unsigned char flagMask = 1;
    int s = 0;
    int r = START;
    int sourceIndex = 0;

    int len = 0;
    while (len < MAX_MATCH && sourceIndex < sourceLength)
    {
        ring[r + len] = source[sourceIndex++];
        ++len;
    }
    for (int i = 1; i <= MAX_MATCH; ++i)
    {
        InsertNode(r - i);
    }
    InsertNode(r);

    do
    {
        if (matchLength > len)
        {
            matchLength = len;
        }
        if (matchLength <= THRESHOLD)
        {
            matchLength = 1;
            group[0] |= flagMask;
            group[groupIndex++] = ring[r];
        }
        else
        {
            group[groupIndex++] = static_cast<unsigned char>(matchPosition & 0xFF);
            group[groupIndex++] = static_cast<unsigned char>(((matchPosition >> 4) & 0xF0) |
                                                             (matchLength - (THRESHOLD + 1)));
        }
        flagMask = static_cast<unsigned char>(flagMask << 1);
        if (flagMask == 0)
        {
            if (groupIndex > capacity - encodedSize)
            {
                return -1;
            }
            std::memcpy(destination + encodedSize, group, groupIndex);
            encodedSize += groupIndex;
            group[0] = 0;
            groupIndex = 1;
            flagMask = 1;
        }

        const int last = matchLength;
        int advanced = 0;
        for (; advanced < last && sourceIndex < sourceLength; ++advanced)
        {
            const unsigned char b = source[sourceIndex++];
            DeleteNode(s);
            ring[s] = b;
            if (s < MAX_MATCH - 1)
            {
                ring[s + RING_SIZE] = b;
            }
            s = (s + 1) & RING_MASK;
            r = (r + 1) & RING_MASK;
            InsertNode(r);
        }
        for (; advanced < last; ++advanced)
        {
            DeleteNode(s);
            s = (s + 1) & RING_MASK;
            r = (r + 1) & RING_MASK;
            if (--len != 0)
            {
                InsertNode(r);
            }
        }
    } while (len > 0);

    if (groupIndex > 1)
    {
        if (groupIndex > capacity - encodedSize)
        {
            return -1;
        }
        std::memcpy(destination + encodedSize, group, groupIndex);
        encodedSize += groupIndex;
    }
    return encodedSize;
}

int CLzssYardstick::Decode(const unsigned char* stream, unsigned char* destination,
                           int streamLength, int capacity)
{
    decodedSize = 0;
    if (stream == nullptr || streamLength <= 0)
    {
        return 1;
    }
    if (destination == nullptr || capacity < 0)
    {
        capacity = 0;
    }
    std::memset(ring, 0, sizeof(ring));

    int r = START;
    unsigned int flags = 0;
    int in = 0;
    int out = 0;
    for (;;)
    {
        flags >>= 1;
        if ((flags & 0x100) == 0)
        {
            if (in >= streamLength)
            {
                break;
            }
            flags = stream[in++] | 0xFF00u;
        }
        if (flags & 1)
        {
            if (in >= streamLength)
            {
                break;
            }
            if (out >= capacity)
            {
                decodedSize = out;
                return 0;
            }
            const unsigned char c = stream[in++];
            destination[out++] = c;
            ring[r] = c;
            r = (r + 1) & RING_MASK;
        }
        else
        {
            if (in >= streamLength)
            {
                break;
            }
            const int b0 = stream[in++];
            if (in >= streamLength)
            {
                break; // a lone first byte of a reference is dropped
            }
            const int b1 = stream[in++];
            const int position = b0 | ((b1 & 0xF0) << 4);
            const int length = (b1 & 0x0F) + THRESHOLD + 1;
            for (int k = 0; k < length; ++k)
            {
                if (out >= capacity)
                {
                    decodedSize = out;
                    return 0;
                }
                const unsigned char c = ring[(position + k) & RING_MASK];
                destination[out++] = c;
                ring[r] = c;
                r = (r + 1) & RING_MASK;
            }
        }
    }
    decodedSize = out;
    return 1;
}
