// The shell's Windows-facing parts, run under wine: Shift-JIS conversion, the
// tick timer, and the resources inside the built nuvalo.exe.
#include "app/win32/message_box.h"
#include "app/win32/tick_timer.h"
#include "host/host.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace nuvalo::win32 {
namespace {

TEST(ShiftJis, TheSecondCopyNoticeReadsInJapaneseWhateverTheSystemLanguage) {
    wchar_t text[64];
    ASSERT_EQ(shiftJisToWide(kSecondCopyNotice, text, 64), 11);
    // 多重起動を確認しました
    EXPECT_STREQ(text, L"\u591A\u91CD\u8D77\u52D5\u3092\u78BA\u8A8D\u3057\u307E\u3057\u305F");

    wchar_t caption[16];
    ASSERT_EQ(shiftJisToWide(kProgramName, caption, 16), 6);
    EXPECT_STREQ(caption, L"Nuvalo");
}

TEST(ShiftJis, BrokenOrOversizedTextIsRefused) {
    wchar_t out[64];
    EXPECT_EQ(shiftJisToWide("\x82", out, 64), -1); // a lead byte without its trail byte
    EXPECT_EQ(out[0], L'\0');
    EXPECT_EQ(shiftJisToWide(kSecondCopyNotice, out, 11), -1); // no room for the NUL
    EXPECT_EQ(shiftJisToWide(nullptr, out, 64), -1);
    EXPECT_EQ(shiftJisToWide("", out, 64), 0);
}

TEST(TickTimer, SleepsUntilEachDeadlineInsteadOfSpinning) {
    TickTimer timer;
    EXPECT_NE(timer.kind(), TickTimer::Kind::Polled) << "no waitable timer on this system";
    const std::uint64_t start = timer.now();
    int waits = 0;
    for (std::uint64_t k = 1; k <= 10; ++k) {
        const std::uint64_t at = start + k * timer.frequency() / 50;
        while (timer.now() < at) {
            timer.waitUntil(at);
            ++waits;
        }
    }
    // No message comes to this thread: a wake-up may come a hair early and
    // wait again for the rest, but a wait that ended at once would spin.
    EXPECT_LE(waits, 20);
    timer.waitUntil(start); // a deadline passed: no wait at all
}

TEST(TickTimer, AMessageEndsTheWait) {
    TickTimer timer;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // this thread's message queue
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER, 0, 0));
    const std::uint64_t start = timer.now();
    timer.waitUntil(start + 60 * timer.frequency());
    EXPECT_LT(timer.now() - start, 30 * timer.frequency());
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
}

// The built game, opened as data only.
class GameResources : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = std::getenv("NUVALO_EXE");
        ASSERT_NE(path, nullptr) << "NUVALO_EXE must name the built nuvalo.exe";
        module_ = LoadLibraryExA(path, nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr)
            << "cannot open " << path << " (error " << GetLastError() << ")";
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    std::string_view resource(const char* type, const char* name, WORD language) const {
        HRSRC found = FindResourceExA(module_, type, name, language);
        if (found == nullptr) {
            return {};
        }
        HGLOBAL loaded = LoadResource(module_, found);
        const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
        return data != nullptr ? std::string_view(static_cast<const char*>(data),
                                                  SizeofResource(module_, found))
                               : std::string_view{};
    }

    HMODULE module_ = nullptr;
};

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);
static_assert(kJapanese == 1041);

TEST_F(GameResources, SheetsAreTheEmbeddedDibBytesInJapanese) {
    for (const char* name : {"Kemri", "Stein", "Botan"}) {
        SCOPED_TRACE(name);
        const auto embedded = res::sheet(name);
        ASSERT_FALSE(embedded.empty());
        const std::string_view stored = resource(RT_BITMAP, name, kJapanese);
        ASSERT_EQ(stored.size(), embedded.size());
        EXPECT_EQ(std::memcmp(stored.data(), embedded.data(), stored.size()), 0);
        // Found whatever the case of the name asked for.
        std::string lower(name);
        for (char& c : lower) {
            c = static_cast<char>(c | 0x20);
        }
        EXPECT_EQ(resource(RT_BITMAP, lower.c_str(), kJapanese).size(), embedded.size());
    }
    EXPECT_EQ(resource(RT_BITMAP, "Kemri", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)).size(),
              0u);
    EXPECT_EQ(res::sheet("Kemri").size(), 1904u);
    EXPECT_EQ(res::sheet("Stein").size(), 11064u);
    EXPECT_EQ(res::sheet("Botan").size(), 10504u);
}

TEST_F(GameResources, IconGroupNamesOneOpaque32PixelImage) {
    const std::string_view group = resource(RT_GROUP_ICON, "Aicon", kJapanese);
    // Header (reserved, type 1, count) and one 14-byte entry.
    ASSERT_EQ(group.size(), 6u + 14u);
    const auto* g = reinterpret_cast<const unsigned char*>(group.data());
    EXPECT_EQ(g[2] | g[3] << 8, 1); // icons, not cursors
    EXPECT_EQ(g[4] | g[5] << 8, 1); // one image
    EXPECT_EQ(g[6], 32);            // width
    EXPECT_EQ(g[7], 32);            // height
    const unsigned bytes = g[14] | g[15] << 8 | g[16] << 16 | static_cast<unsigned>(g[17]) << 24;
    const int id = g[18] | g[19] << 8;
    const std::string_view image = resource(RT_ICON, MAKEINTRESOURCEA(id), kJapanese);
    EXPECT_EQ(image.size(), bytes);

    HICON icon = static_cast<HICON>(LoadImageA(module_, "Aicon", IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
}

TEST_F(GameResources, ManifestAsksForPerMonitorDpiAwareness) {
    const std::string_view manifest = resource(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID,
                                               MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("<dpiAware"), std::string_view::npos);
    EXPECT_NE(manifest.find("true/pm"), std::string_view::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string_view::npos);
}

} // namespace
} // namespace nuvalo::win32
