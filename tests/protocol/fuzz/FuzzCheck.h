// A check for the fuzz targets that holds in every build type: a broken property ends the run
// with a crash that libFuzzer records together with the input.
#pragma once

#include <cstdlib>

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) std::abort(); \
    } while (0)
