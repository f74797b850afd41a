#pragma once
// The shell's one message box, for the Shift-JIS texts the game is written in.

#include <cstddef>

namespace nuvalo::win32 {

// The window class name, window title and message box caption.
inline constexpr char kProgramName[] = "Nuvalo";

// Shown when a second copy is started: "a multiple launch was detected".
inline constexpr char kSecondCopyText[] =
    "\x91\xBD\x8F\x64\x8B\x4E\x93\xAE\x82\xF0\x8A\x6D\x94\x46\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

// Converts NUL-terminated Shift-JIS (code page 932) text to UTF-16 in `out`,
// NUL included. Returns the number of characters written without the NUL, or
// -1 when the text is not valid Shift-JIS, does not fit or the system cannot
// convert it.
int shiftJisToWide(const char* text, wchar_t* out, std::size_t capacity);

// A message box with an OK button and no owner window. The text is converted
// from Shift-JIS so that it reads right under every system language, not only
// where the ANSI code page happens to be Japanese.
void showMessage(const char* shiftJisText);

} // namespace nuvalo::win32
