#pragma once
// What most tests stand on: a fixture that runs each test in a fresh working
// directory (the game reads and writes "save.dat" in the current directory),
// a scratch file, and with them the shared doubles and states.

#include "game/game.h"
#include "game/game_state.h"
#include "tests/support/doubles.h"
#include "tests/support/states.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace nuvalo::test {

class InTempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device entropy;
        dir_ = std::filesystem::temp_directory_path() /
               ("nuvalo-test-" + std::to_string(entropy()) + std::to_string(entropy()));
        std::filesystem::create_directory(dir_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    static void writeFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

// A file to write into and read back. Under wine, with many tests starting at
// once, tmpfile() now and then comes back empty-handed; a named file that goes
// away when closed does the same job.
inline std::FILE* scratchFile() {
    if (std::FILE* file = std::tmpfile()) {
        return file;
    }
    std::random_device entropy;
    const std::string path =
        (std::filesystem::temp_directory_path() /
         ("nuvalo-scratch-" + std::to_string(entropy()) + std::to_string(entropy())))
            .string();
#ifdef _WIN32
    return std::fopen(path.c_str(), "w+bD"); // D: deleted when closed
#else
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (file != nullptr) {
        std::remove(path.c_str());
    }
    return file;
#endif
}

} // namespace nuvalo::test
