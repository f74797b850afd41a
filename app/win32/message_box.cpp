#include "app/win32/message_box.h"

#include <windows.h>

namespace nuvalo::win32 {

namespace {
constexpr UINT kShiftJisCodePage = 932;
constexpr std::size_t kMaxText = 256;
} // namespace

int shiftJisToWide(const char* text, wchar_t* out, std::size_t capacity) {
    if (text == nullptr || out == nullptr || capacity == 0 || capacity > 0x7FFFFFFF) {
        return -1;
    }
    const int written = MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, text, -1, out,
                                            static_cast<int>(capacity));
    if (written <= 0) {
        out[0] = L'\0';
        return -1;
    }
    return written - 1;
}

void showMessage(const char* shiftJisText) {
    wchar_t text[kMaxText];
    wchar_t caption[kMaxText];
    if (shiftJisToWide(shiftJisText, text, kMaxText) < 0 ||
        shiftJisToWide(kProgramName, caption, kMaxText) < 0) {
        // No Shift-JIS support on this system: the bytes as the ANSI code
        // page reads them are still better than no notice at all.
        MessageBoxA(nullptr, shiftJisText, kProgramName, MB_OK);
        return;
    }
    MessageBoxW(nullptr, text, caption, MB_OK);
}

void showAnsiMessage(const char* text) {
    MessageBoxA(nullptr, text, kProgramName, MB_OK);
}

} // namespace nuvalo::win32
