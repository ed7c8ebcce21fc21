#pragma once

// What the encoder (GsLZSS.cpp) and the decoder (GsLZSSDecode.cpp) share besides the class.

#include "GsLZSS.h"

constexpr int RING_MASK = CGsLZSS::RING_SIZE - 1;
constexpr int GROUP_BUFFER_SIZE = 1 + 8 * 2; // a flag byte and eight two-byte references

#define GS_LIKELY(x) __builtin_expect(!!(x), 1)
#define GS_UNLIKELY(x) __builtin_expect(!!(x), 0)
