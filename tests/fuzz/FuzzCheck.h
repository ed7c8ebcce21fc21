#pragma once

#include <cstdio>
#include <cstdlib>

// Always on, including in release builds: a fuzz target without its checks finds nothing.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition)                                                                                   \
         ? (void)0                                                                                 \
         : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition),     \
            std::abort()))
