#pragma once
// The shell's one message box, for the Shift-JIS texts the game is written in.

#include <cstddef>

namespace nuvalo::win32 {

// The window class name, window title and message box caption.
inline constexpr char kProgramName[] = "Nuvalo";

// Converts NUL-terminated Shift-JIS (code page 932) text to UTF-16 in `out`,
// NUL included. Returns the number of characters written without the NUL, or
// -1 when the text is not valid Shift-JIS, does not fit or the system cannot
// convert it.
int shiftJisToWide(const char* text, wchar_t* out, std::size_t capacity);

// A message box with an OK button and no owner window. The text is converted
// from Shift-JIS so that it reads right under every system language, not only
// where the ANSI code page happens to be Japanese.
void showMessage(const char* shiftJisText);

// The same for a text in the ANSI code page, the one the narrow file
// functions spell file names in: what is wrong with a file the player named.
void showAnsiMessage(const char* text);

} // namespace nuvalo::win32
