#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace ambrel::fuzz {

// A promise broken: says which, with the value that broke it when there is one, and aborts so
// that libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what, const std::string& value = {}) {
    if (value.empty()) {
        std::fprintf(stderr, "%s\n", what);
    } else {
        std::fprintf(stderr, "%s: \"%s\"\n", what, value.c_str());
    }
    std::abort();
}

} // namespace ambrel::fuzz
