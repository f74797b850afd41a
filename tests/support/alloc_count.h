// Counts every allocation through operator new, in every form, in a program
// built with nuvalo_alloc_count (tests/support/CMakeLists.txt). What must not
// allocate is checked by reading the count before and after it.
#pragma once

#include <cstdint>

namespace nuvalo::test {

std::uint64_t allocationCount();

} // namespace nuvalo::test
