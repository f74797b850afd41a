// The stored form of the three sheets: what the resource loader and the
// drawing layer are given.
#include "bitmap.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <string>

namespace nuvalo::test {
namespace {

struct Expected {
    const char* name;
    int width;
    int height;
    std::size_t bytes;
    std::size_t stride;
};

constexpr Expected kSheets[] = {
    {"Kemri", 25, 30, 1904, 28},
    {"Stein", 100, 100, 11064, 100},
    {"Botan", 234, 40, 10504, 236},
};

TEST(SheetFormat, HeaderFieldsAndSizes) {
    for (const auto& e : kSheets) {
        SCOPED_TRACE(e.name);
        const auto dib = res::sheet(e.name);
        ASSERT_EQ(dib.size(), e.bytes);
        EXPECT_EQ(le32(dib, 0), 40U);                        // info header size
        EXPECT_EQ(static_cast<int>(le32(dib, 4)), e.width);  // width
        EXPECT_EQ(static_cast<int>(le32(dib, 8)), e.height); // positive: bottom-up
        EXPECT_EQ(le16(dib, 12), 1U);                        // planes
        EXPECT_EQ(le16(dib, 14), 8U);                        // bits per pixel
        EXPECT_EQ(le32(dib, 16), 0U);                        // BI_RGB, uncompressed
        EXPECT_EQ(le32(dib, 20), e.stride * static_cast<std::size_t>(e.height)); // image size
        const auto used = le32(dib, 32);
        EXPECT_TRUE(used == 0 || used == 256) << used; // a full 256-entry palette
        EXPECT_EQ(40 + 1024 + e.stride * static_cast<std::size_t>(e.height), e.bytes);
    }
}

TEST(SheetFormat, PaletteEntriesAndRowPadding) {
    for (const auto& e : kSheets) {
        SCOPED_TRACE(e.name);
        const auto dib = res::sheet(e.name);
        for (std::size_t i = 0; i < 256; ++i) {
            EXPECT_EQ(dib[40 + 4 * i + 3], 0) << "palette entry " << i;
        }
        const auto w = static_cast<std::size_t>(e.width);
        for (std::size_t row = 0; row < static_cast<std::size_t>(e.height); ++row) {
            for (std::size_t x = w; x < e.stride; ++x) {
                EXPECT_EQ(dib[40 + 1024 + row * e.stride + x], 0)
                    << "padding of stored row " << row;
            }
        }
    }
}

TEST(SheetFormat, NamesIgnoreCaseAndUnknownNamesAreEmpty) {
    EXPECT_EQ(res::sheet("kemri").data(), res::sheet("Kemri").data());
    EXPECT_EQ(res::sheet("STEIN").data(), res::sheet("Stein").data());
    EXPECT_EQ(res::sheet("bOtAn").data(), res::sheet("Botan").data());
    EXPECT_NE(res::sheet("Kemri").data(), res::sheet("Stein").data());
    EXPECT_TRUE(res::sheet("Aicon").empty());
    EXPECT_TRUE(res::sheet("").empty());
    EXPECT_TRUE(res::sheet("Kemri ").empty());
    EXPECT_TRUE(res::sheet("Botan2").empty());
}

TEST(SheetFormat, EmbeddedBytesAreTheCommittedFiles) {
    for (const auto& e : kSheets) {
        SCOPED_TRACE(e.name);
        const auto file = readFile(std::string("sheets/") + e.name + ".dib");
        const auto dib = res::sheet(e.name);
        ASSERT_EQ(file.size(), dib.size());
        EXPECT_TRUE(std::equal(file.begin(), file.end(), dib.begin()));
    }
}

// The .bmp copies feed the Windows resource compiler, which strips the 14-byte
// file header; what remains must be the sheet itself.
TEST(SheetFormat, BmpFilesAreTheSheetsWithAFileHeader) {
    for (const auto& e : kSheets) {
        SCOPED_TRACE(e.name);
        const auto bmp = readFile(std::string("sheets/") + e.name + ".bmp");
        const auto dib = res::sheet(e.name);
        ASSERT_EQ(bmp.size(), dib.size() + 14);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(le32(bmp, 2), bmp.size());
        EXPECT_EQ(le32(bmp, 6), 0U);
        EXPECT_EQ(le32(bmp, 10), 14U + 40U + 1024U);
        EXPECT_TRUE(std::equal(dib.begin(), dib.end(), bmp.begin() + 14));
    }
}

} // namespace
} // namespace nuvalo::test
