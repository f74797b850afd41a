#pragma once
// The best-score file: one decimal integer and a line feed in "save.dat".

#include <cstddef>
#include <cstdint>
#include <optional>

namespace nuvalo {

inline constexpr const char* kSaveFile = "save.dat";

// The stored best score, or 0 when the file is missing, cannot be read or
// holds no number.
float loadBest(const char* path = kSaveFile);

// Stores `score` unless the file holds a greater number or is there but may
// not be read. Returns 1 only when the new number is in place, 0 otherwise.
int saveBestIfHigher(std::int32_t score, const char* path = kSaveFile);

// Reads the stored number from the file's bytes as a "%d" conversion would:
// white space skipped, an optional sign, then digits up to the first other
// byte. Numbers beyond the int32 range saturate. Empty when there is no number.
std::optional<std::int32_t> parseBest(const char* text, std::size_t length);

} // namespace nuvalo
