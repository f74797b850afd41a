#pragma once
// How the game turns its float quantities into whole pixels and counters.

#include <cmath>
#include <cstdint>
#include <limits>

namespace nuvalo {

// Truncates toward zero. Values beyond the int32 range (or NaN, which the game
// never produces) would make a plain cast undefined, so they saturate instead.
inline std::int32_t truncToInt32(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= 2147483648.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (v <= -2147483649.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(v);
}

// Positions are int32; a long stretch of negative speed could otherwise push
// them past the range.
inline std::int32_t addSaturated(std::int32_t a, std::int64_t b) {
    const std::int64_t sum = static_cast<std::int64_t>(a) + b;
    if (sum > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (sum < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(sum);
}

} // namespace nuvalo
