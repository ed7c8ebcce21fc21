#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 in plain C++, for the publisher's tools on any host. The updater itself uses the
// system's provider; both must give the same digest, which the tests compare.
class Sha256
{
public:
    using Digest = std::array<unsigned char, 32>;

    Sha256();
    void Update(const unsigned char* data, std::size_t size);
    // Ends the hash; the object must not be updated afterwards.
    Digest Finish();

    static Digest Of(const unsigned char* data, std::size_t size);
    // Lower-case hexadecimal, 64 characters.
    static std::string ToHex(const Digest& digest);

private:
    void Block(const unsigned char* block);

    std::uint32_t state[8];
    unsigned char pending[64];
    std::size_t pendingSize = 0;
    std::uint64_t totalBytes = 0;
};
