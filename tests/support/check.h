// CHECK(condition, printf-style message...) for the fuzz harnesses, which run
// without a test framework: a condition that does not hold prints the message
// with its place in the harness and aborts, which the fuzzer reports as a
// crash and keeps the input for.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace nuvalo::test {

[[noreturn]] inline void __attribute__((format(printf, 3, 4)))
checkFailed(const char* file, int line, const char* format, ...) {
    std::fprintf(stderr, "%s:%d: ", file, line);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

} // namespace nuvalo::test

#define CHECK(cond, ...)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ::nuvalo::test::checkFailed(__FILE__, __LINE__, __VA_ARGS__);                          \
        }                                                                                          \
    } while (0)
