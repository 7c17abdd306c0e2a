#pragma once
// Invariant check for the fuzz targets: a broken invariant aborts, which both the plain
// driver and libFuzzer report as a failure with the input that caused it.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (false)
