#pragma once
// The best-score file: one decimal integer and a line feed in "save.dat".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace nuvalo {

inline constexpr const char* kSaveFile = "save.dat";

// The stored best score, or 0 when the file is missing, cannot be read or
// holds no number.
float loadBest(const char* path = kSaveFile);

// Stores `score` unless the file holds a greater number or is there but may
// not be read. Returns 1 only when the new number is in place, 0 otherwise.
int saveBestIfHigher(std::int32_t score, const char* path = kSaveFile);

// Where the text of "save.dat" is kept on a system without files for the game
// (a browser's storage).
class SaveStore {
  public:
    enum class Found {
        nothing, // never stored: as a missing file
        text,    // `text` holds what was stored
        locked,  // there, but it may not be read: as a file that may not be read
    };
    virtual Found read(std::string& text) = 0;
    // Puts `text` in place of what was stored; false when it was refused.
    virtual bool write(const char* text, std::size_t length) = 0;

  protected:
    ~SaveStore() = default;
};

// The same two operations on a store instead of the file.
float loadBest(SaveStore& store);
int saveBestIfHigher(std::int32_t score, SaveStore& store);

// Puts `length` bytes in place of the file `path` so that a crash or a full
// disk never leaves it half written: through a new file renamed over it, or,
// in a folder that may not take new files, over the existing file's bytes.
bool writeFileAtomically(const char* path, const char* bytes, std::size_t length);

// Reads the stored number from the file's bytes as a "%d" conversion would:
// white space skipped, an optional sign, then digits up to the first other
// byte. Numbers beyond the int32 range saturate. Empty when there is no number.
std::optional<std::int32_t> parseBest(const char* text, std::size_t length);

} // namespace nuvalo
