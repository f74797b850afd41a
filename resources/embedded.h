#pragma once
// The files compiled into the program by embed.cmake (see CMakeLists.txt).

#include <cstddef>
#include <cstdint>

namespace nuvalo::res::embedded {

#ifndef _WIN32 // on Windows the sheets are the program's resources
extern const std::uint8_t kemriDib[];
extern const std::size_t kemriDibSize;
extern const std::uint8_t steinDib[];
extern const std::size_t steinDibSize;
extern const std::uint8_t botanDib[];
extern const std::size_t botanDibSize;
#endif
extern const std::uint8_t fontData[];
extern const std::size_t fontDataSize;
extern const std::uint8_t defaultWav[];
extern const std::size_t defaultWavSize;
extern const std::uint8_t iconPngData[];
extern const std::size_t iconPngDataSize;

} // namespace nuvalo::res::embedded
