#include "GsLZSS.h"
#include "GsLZSSInternal.h"

#include <cstring>
#include <type_traits>

namespace
{

#if !defined(__BYTE_ORDER__) ||                                                                    \
    (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__ && __BYTE_ORDER__ != __ORDER_BIG_ENDIAN__)
#error "the byte order must be known at compile time"
#endif

// The branch-free selections are written out for x86-64, where compilers tend to turn the
// plain expression into a branch; elsewhere (and with GS_LZSS_PORTABLE, to test that path on
// the host) the plain expressions serve.
#if defined(__x86_64__) && !defined(GS_LZSS_PORTABLE)
#define GS_LZSS_X86_64 1
#else
#define GS_LZSS_X86_64 0
#endif

// Eight bytes as one number whose order is the unsigned lexicographic order of the bytes.
inline std::uint64_t LoadOrdered64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof(v));
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// Of two children, the right one when key > word, else the left one. The choice is as good as
// random, so it is made without a branch: a mispredicted branch costs more than the move.
inline std::size_t PickChild(std::uint64_t key, std::uint64_t word, std::size_t left,
                             std::size_t right)
{
#if GS_LZSS_X86_64
    __asm__("cmpq %[key], %[word]\n\tcmovb %[right], %[left]"
            : [left] "+r"(left)
            : [key] "r"(key), [word] "r"(word), [right] "r"(right)
            : "cc");
    return left;
#else
    return key > word ? right : left;
#endif
}

// The number of equal leading bytes of two different ordered words.
inline std::size_t EqualLeadingBytes(std::uint64_t a, std::uint64_t b)
{
    return static_cast<std::size_t>(__builtin_clzll(a ^ b) >> 3);
}

// Keeps the longer of two matches, the earlier one when they are equally long; without a
// branch, for the same reason as PickChild.
inline void KeepLonger(std::size_t length, std::size_t position, std::size_t& bestLength,
                       std::size_t& bestPosition)
{
#if GS_LZSS_X86_64
    __asm__("cmpq %[best], %[length]\n\t"
            "cmova %[position], %[bestPosition]\n\t"
            "cmova %[length], %[best]"
            : [best] "+r"(bestLength), [bestPosition] "+r"(bestPosition)
            : [length] "r"(length), [position] "r"(position)
            : "cc");
#else
    if (length > bestLength)
    {
        bestLength = length;
        bestPosition = position;
    }
#endif
}
} // namespace

int CGsLZSS::MaxEncodedSize(int sourceLength)
{
    if (sourceLength <= 0)
    {
        return 0;
    }
    // Eight literals cost nine bytes; a reference never costs more than the bytes it replaces.
    return sourceLength + (sourceLength + 7) / 8;
}

void CGsLZSS::InitTrees()
{
    for (int x = 0; x < 256; ++x)
    {
        child[2 * (RING_SIZE + 1 + x) + 1] = NIL;
    }
    for (int i = 0; i < RING_SIZE; ++i)
    {
        slot[i] = NO_SLOT;
    }
}

// The insertion of one string: its key, the node the walk down its tree has reached, the link
// of that node that the walk follows next, and the longest match met so far.
struct CGsLZSS::Walk
{
    std::uint64_t key1; // bytes 1..8 of the string, as an ordered word
    std::uint64_t key2; // bytes 9..16
    unsigned key3;      // byte 17
    std::size_t r;      // the string's position
    // Pointer-sized indices, so that the loads take them as they are.
    std::size_t p;    // the last node compared (at first the tree's root)
    std::size_t link; // index into child of p's link that the walk follows
    std::size_t next; // child[link]: the next node to compare, NIL when the walk has ended
    std::size_t bestLength;
    std::size_t bestPosition;
};

// Comparing 8 bytes at a time finds the first difference, its position and its sign without a
// loop over the bytes.
inline __attribute__((always_inline)) void CGsLZSS::StartWalk(Walk& walk, int r)
{
    const unsigned char* key = &ring[r];
    walk.key1 = LoadOrdered64(key + 1);
    walk.key2 = LoadOrdered64(key + 9);
    walk.key3 = key[17];
    walk.r = static_cast<std::size_t>(r);
    child[2 * r] = child[2 * r + 1] = NIL;
    walk.p = RING_SIZE + 1 + key[0];
    walk.link = 2 * walk.p + 1; // the walk starts right of the root
    walk.next = child[walk.link];
    walk.bestLength = 0;
    walk.bestPosition = static_cast<std::size_t>(matchPosition);
}

// Walks down to the end and puts the string there, or in the place of a string equal over all
// 18 bytes, so the tree always refers to the newest occurrence. With FIND_MATCH, also records
// the longest match met on the way down (the first one met among equally long ones); the
// encoder needs it only at its coding positions.
template <bool FIND_MATCH> inline __attribute__((always_inline)) void CGsLZSS::FinishWalk(Walk& w)
{
    std::size_t p = w.p;
    std::size_t link = w.link;
    std::size_t next = w.next;
    std::size_t bestLength = w.bestLength;
    std::size_t bestPosition = w.bestPosition;
    // The walk is a chain of dependent loads, and which way it turns is a coin toss. Both
    // children are loaded while the comparison is under way and the result picks one without
    // a branch, so each step costs one load, a compare and a move.
    while (next != NIL)
    {
        p = next;
        const std::size_t leftChild = child[2 * p];
        const std::size_t rightChild = child[2 * p + 1];
        const std::uint64_t word1 = LoadOrdered64(&ring[p + 1]);
        if (GS_LIKELY(w.key1 != word1))
        {
            next = PickChild(w.key1, word1, leftChild, rightChild);
            link = 2 * p + (w.key1 > word1);
            if (FIND_MATCH)
            {
                KeepLonger(1 + EqualLeadingBytes(w.key1, word1), p, bestLength, bestPosition);
            }
            continue;
        }
        const std::uint64_t word2 = LoadOrdered64(&ring[p + 9]);
        std::size_t length;
        bool right;
        if (w.key2 != word2)
        {
            length = 9 + EqualLeadingBytes(w.key2, word2);
            right = w.key2 > word2;
        }
        else
        {
            const unsigned byte3 = ring[p + 17];
            if (w.key3 == byte3)
            {
                ReplaceNode(static_cast<unsigned>(p), static_cast<unsigned>(w.r));
                w.bestLength = MAX_MATCH;
                w.bestPosition = p;
                return;
            }
            length = 17;
            right = w.key3 > byte3;
        }
        if (FIND_MATCH && length > bestLength)
        {
            bestLength = length;
            bestPosition = p;
        }
        link = 2 * p + right;
        next = right ? rightChild : leftChild;
    }
    child[link] = static_cast<std::uint16_t>(w.r);
    slot[w.r] = static_cast<std::uint16_t>(link);
    w.bestLength = bestLength;
    w.bestPosition = bestPosition;
}

template <bool FIND_MATCH> inline __attribute__((always_inline)) void CGsLZSS::InsertNode(int r)
{
    Walk walk;
    StartWalk(walk, r);
    FinishWalk<FIND_MATCH>(walk);
    if (FIND_MATCH)
    {
        matchLength = static_cast<std::int32_t>(walk.bestLength);
        matchPosition = static_cast<std::int32_t>(walk.bestPosition);
    }
}

// Inserts two strings whose trees differ, so neither insertion can see the other: their walks
// go down side by side, each hiding the other's load latency, until one of them ends. The rest
// of the other, and whatever is not the plain case (the first eight bytes equal), is left to
// FinishWalk, for each walk from where it stands. The first string's match goes to
// *firstLength and *firstPosition, the second one's to the members.
inline __attribute__((always_inline)) void
CGsLZSS::InsertPair(int first, int second, std::int32_t* firstLength, std::int32_t* firstPosition)
{
    Walk a;
    Walk b;
    StartWalk(a, first);
    StartWalk(b, second);
    // Node indices below RING_SIZE never have NIL's bit.
    static_assert(NIL == RING_SIZE && (RING_SIZE & (RING_SIZE - 1)) == 0, "NIL is one bit");
    while (((a.next | b.next) & NIL) == 0)
    {
        const std::size_t pa = a.next;
        const std::size_t pb = b.next;
        const std::size_t leftA = child[2 * pa];
        const std::size_t rightA = child[2 * pa + 1];
        const std::size_t leftB = child[2 * pb];
        const std::size_t rightB = child[2 * pb + 1];
        const std::uint64_t wordA = LoadOrdered64(&ring[pa + 1]);
        const std::uint64_t wordB = LoadOrdered64(&ring[pb + 1]);
        if (GS_UNLIKELY(wordA == a.key1 || wordB == b.key1))
        {
            break;
        }
        a.p = pa;
        b.p = pb;
        a.next = PickChild(a.key1, wordA, leftA, rightA);
        b.next = PickChild(b.key1, wordB, leftB, rightB);
        a.link = 2 * pa + (a.key1 > wordA);
        b.link = 2 * pb + (b.key1 > wordB);
        KeepLonger(1 + EqualLeadingBytes(a.key1, wordA), pa, a.bestLength, a.bestPosition);
        KeepLonger(1 + EqualLeadingBytes(b.key1, wordB), pb, b.bestLength, b.bestPosition);
    }
    // Usually one walk has ended and only has to be put in place, and the other goes on
    // alone. The trees differ, so the order does not matter: a fixed one saves telling them
    // apart, a coin toss.
    FinishWalk<true>(a);
    FinishWalk<true>(b);
    *firstLength = static_cast<std::int32_t>(a.bestLength);
    *firstPosition = static_cast<std::int32_t>(a.bestPosition);
    matchLength = static_cast<std::int32_t>(b.bestLength);
    matchPosition = static_cast<std::int32_t>(b.bestPosition);
}

// r, equal to p over all 18 bytes, takes p's place in the tree.
void CGsLZSS::ReplaceNode(unsigned p, unsigned r)
{
    const unsigned at = slot[p];
    const unsigned left = child[2 * p];
    const unsigned right = child[2 * p + 1];
    child[2 * r] = static_cast<std::uint16_t>(left);
    child[2 * r + 1] = static_cast<std::uint16_t>(right);
    slot[left] = static_cast<std::uint16_t>(2 * r);
    slot[right] = static_cast<std::uint16_t>(2 * r + 1);
    child[at] = static_cast<std::uint16_t>(r);
    slot[r] = static_cast<std::uint16_t>(at);
    slot[p] = NO_SLOT;
}

// When the string at `candidate`, in a tree, equals the string at r over all 18 bytes, it is
// the one r's walk would end at (strings in a tree are distinct, and a search meets the equal
// one), and r takes its place without the walk. 0 when it is no such string.
inline __attribute__((always_inline)) int CGsLZSS::TryReplace(int candidate, int r)
{
    if (slot[candidate] == NO_SLOT)
    {
        return 0;
    }
    const unsigned char* a = &ring[candidate];
    const unsigned char* b = &ring[r];
    std::uint64_t a1, a2, b1, b2;
    std::memcpy(&a1, a, 8);
    std::memcpy(&b1, b, 8);
    std::memcpy(&a2, a + 8, 8);
    std::memcpy(&b2, b + 8, 8);
    // The last two bytes one by one: r's last byte has just been stored, and a wider load that
    // takes in a byte still on its way to the cache waits for it.
    if (((a1 ^ b1) | (a2 ^ b2)) != 0 || a[16] != b[16] || a[17] != b[17])
    {
        return 0;
    }
    ReplaceNode(static_cast<unsigned>(candidate), static_cast<unsigned>(r));
    return 1;
}

inline __attribute__((always_inline)) void CGsLZSS::DeleteNode(int p)
{
    const unsigned at = slot[p];
    if (at == NO_SLOT)
    {
        return;
    }
    const unsigned left = child[2 * p];
    const unsigned right = child[2 * p + 1];
    unsigned q;
    if (right == NIL)
    {
        q = left;
    }
    else if (left == NIL)
    {
        q = right;
    }
    else
    {
        // Both subtrees: the rightmost node of the left subtree takes p's place.
        q = left;
        if (child[2 * q + 1] != NIL)
        {
            do
            {
                q = child[2 * q + 1];
            } while (child[2 * q + 1] != NIL);
            const unsigned qAt = slot[q];
            const unsigned qLeft = child[2 * q];
            child[qAt] = static_cast<std::uint16_t>(qLeft);
            slot[qLeft] = static_cast<std::uint16_t>(qAt);
            child[2 * q] = static_cast<std::uint16_t>(left);
            slot[left] = static_cast<std::uint16_t>(2 * q);
        }
        child[2 * q + 1] = static_cast<std::uint16_t>(right);
        slot[right] = static_cast<std::uint16_t>(2 * q + 1);
    }
    child[at] = static_cast<std::uint16_t>(q);
    slot[q] = static_cast<std::uint16_t>(at);
    slot[p] = NO_SLOT;
}

int CGsLZSS::Encode(const unsigned char* source, unsigned char* destination, int sourceLength,
                    int capacity)
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

    // Puts a byte in the ring, and in its mirror for the first positions.
    const auto store = [&](int at, unsigned char b)
    {
        ring[at] = b;
        if (at < MAX_MATCH - 1)
        {
            ring[at + RING_SIZE] = b;
        }
    };
    // Source byte j is the first byte of the string at ring position (START + j) & 4095. Every
    // source byte's string is inserted in turn, each after the deletion of the oldest string;
    // that sequence does not depend on what is coded, so the coder only picks the matches it
    // needs, at its coding positions (the next one is `coding`), out of the insertions.
    int coding = 0;
    // Codes the item at source position j from the match found when j's string was inserted.
    // 0 when the destination is full.
    const auto code = [&](int j, int length, int position)
    {
        if (j != coding)
        {
            return 1;
        }
        if (length > sourceLength - j)
        {
            length = sourceLength - j;
        }
        if (length <= THRESHOLD)
        {
            length = 1;
            group[0] |= flagMask;
            group[groupIndex++] = source[j];
        }
        else
        {
            group[groupIndex++] = static_cast<unsigned char>(position & 0xFF);
            group[groupIndex++] =
                static_cast<unsigned char>(((position >> 4) & 0xF0) | (length - (THRESHOLD + 1)));
        }
        coding = j + length;
        flagMask = static_cast<unsigned char>(flagMask << 1);
        if (flagMask == 0)
        {
            if (groupIndex > capacity - encodedSize)
            {
                return 0;
            }
            std::memcpy(destination + encodedSize, group, groupIndex);
            encodedSize += groupIndex;
            group[0] = 0;
            groupIndex = 1;
            flagMask = 1;
        }
        return 1;
    };

    for (int i = 0; i < MAX_MATCH && i < sourceLength; ++i)
    {
        ring[START + i] = source[i];
    }
    for (int i = 1; i <= MAX_MATCH; ++i)
    {
        InsertNode<false>(START - i);
    }
    InsertNode<true>(START);
    if (!code(0, matchLength, matchPosition))
    {
        return -1;
    }

    // The oldest string sits MAX_MATCH - 1 places ahead of the newest, and its first byte is
    // where the newest string's last byte goes.
    constexpr int AHEAD = MAX_MATCH - 1;
    int j = 1;
    int r = (START + 1) & RING_MASK;
    // Two positions at a time where their insertions are independent: the two new strings
    // start with different bytes, and the second deletion, done before the first insertion,
    // removes no string from the first one's tree. The second new string's last byte is stored
    // before the first insertion, which never reads it (it lies past the end of every string
    // in the trees).
    while (j < sourceLength)
    {
        const int s = (r + AHEAD) & RING_MASK;
        const int second = (r + 1) & RING_MASK;
        const int secondS = (s + 1) & RING_MASK;
        DeleteNode(s);
        if (j + AHEAD < sourceLength)
        {
            store(s, source[j + AHEAD]);
        }
        // Inside a repeat, each string tends to equal the one after the string the previous
        // position equalled, and then needs no walk.
        if (matchLength == MAX_MATCH)
        {
            const int candidate = (matchPosition + 1) & RING_MASK;
            if (TryReplace(candidate, r))
            {
                matchPosition = candidate;
                if (!code(j, MAX_MATCH, candidate))
                {
                    return -1;
                }
                ++j;
                r = second;
                continue;
            }
        }
        // Every insertion looks for its match, needed or not: the search costs a few
        // instructions a step, and one path through the loop keeps it simple.
        if (j + 1 == sourceLength || ring[r] == ring[second] ||
            (ring[secondS] == ring[r] && slot[secondS] != NO_SLOT))
        {
            InsertNode<true>(r);
            if (!code(j, matchLength, matchPosition))
            {
                return -1;
            }
            ++j;
            r = second;
            continue;
        }
        DeleteNode(secondS);
        if (j + AHEAD + 1 < sourceLength)
        {
            store(secondS, source[j + AHEAD + 1]);
        }
        std::int32_t firstLength = 0;
        std::int32_t firstPosition = 0;
        InsertPair(r, second, &firstLength, &firstPosition);
        if (!code(j, firstLength, firstPosition) || !code(j + 1, matchLength, matchPosition))
        {
            return -1;
        }
        j += 2;
        r = (second + 1) & RING_MASK;
    }

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
