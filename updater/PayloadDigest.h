#pragma once

#include <array>
#include <cstddef>

// SHA-256 digest of the new executable, as the payload's second resource carries it.
using PayloadDigest = std::array<unsigned char, 32>;

// SHA-256 of `size` bytes through the system's cryptographic provider. false when the
// provider cannot be had or fails.
bool DigestOfBytes(const unsigned char* data, std::size_t size, PayloadDigest& digest);

// SHA-256 of the whole content of the file at `path` (ANSI), read back as it now is. false
// when the file cannot be opened or read, or the provider fails.
bool DigestOfFile(const char* path, PayloadDigest& digest);

// SHA-256 of what is left to read of the open file `file` (read access, from its current
// position). false when it cannot be read or the provider fails.
bool DigestOfHandle(void* file, PayloadDigest& digest);
