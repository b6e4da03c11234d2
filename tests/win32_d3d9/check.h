// What the Windows checks share: CHECK counts a failed condition and goes on,
// so one run reports every failure; stb_image reads their captures. Each check
// is one source file, which compiles stb_image's implementation once.
#pragma once

#include <cstdio>

inline int failures = 0;

#define CHECK(condition)                                                                       \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                        \
        }                                                                                      \
    } while (0)

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
