#include "render/png.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace nuvalo {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        c = kCrcTable[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(const Bytes& data) {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const std::uint8_t byte : data) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    return b << 16 | a;
}

void putBigEndian(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

// Deflate's bit order: values least significant bit first, Huffman codes
// most significant bit first.
class BitWriter {
  public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void bits(std::uint32_t value, int count) {
        acc_ |= static_cast<std::uint64_t>(value) << fill_;
        fill_ += count;
        while (fill_ >= 8) {
            out_.push_back(static_cast<std::uint8_t>(acc_));
            acc_ >>= 8;
            fill_ -= 8;
        }
    }
    void code(std::uint32_t code, int length) {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) {
            reversed = reversed << 1 | ((code >> i) & 1u);
        }
        bits(reversed, length);
    }
    void flush() {
        if (fill_ > 0) {
            out_.push_back(static_cast<std::uint8_t>(acc_));
        }
        acc_ = 0;
        fill_ = 0;
    }

  private:
    Bytes& out_;
    std::uint64_t acc_ = 0;
    int fill_ = 0;
};

// The fixed Huffman code of deflate for a literal/length symbol.
void literalLength(BitWriter& w, unsigned symbol) {
    if (symbol < 144) {
        w.code(0x30 + symbol, 8);
    } else if (symbol < 256) {
        w.code(0x190 + symbol - 144, 9);
    } else if (symbol < 280) {
        w.code(symbol - 256, 7);
    } else {
        w.code(0xC0 + symbol - 280, 8);
    }
}

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void match(BitWriter& w, unsigned length, unsigned distance) {
    unsigned l = 28;
    while (kLengthBase[l] > length) {
        --l;
    }
    literalLength(w, 257 + l);
    w.bits(length - kLengthBase[l], kLengthExtra[l]);
    unsigned d = 29;
    while (kDistBase[d] > distance) {
        --d;
    }
    w.code(d, 5);
    w.bits(distance - kDistBase[d], kDistExtra[d]);
}

// One fixed-Huffman block with greedy LZ77 over hash chains: plenty for
// frames made of flat colours and repeated glyphs.
Bytes deflate(const Bytes& in) {
    constexpr std::size_t kWindow = 32768;
    constexpr unsigned kMinMatch = 3;
    constexpr unsigned kMaxMatch = 258;
    constexpr int kMaxChain = 32;
    constexpr std::size_t kHashSize = 1u << 15;
    constexpr std::size_t kNone = SIZE_MAX;

    Bytes out;
    out.reserve(in.size() / 8 + 64);
    BitWriter w(out);
    w.bits(1, 1); // final block
    w.bits(1, 2); // fixed Huffman codes

    std::vector<std::size_t> head(kHashSize, kNone);
    std::vector<std::size_t> prev(kWindow, kNone);
    const auto hashAt = [&in](std::size_t i) {
        const std::uint32_t v = static_cast<std::uint32_t>(in[i]) << 16 |
                                static_cast<std::uint32_t>(in[i + 1]) << 8 | in[i + 2];
        return (v * 2654435761u) >> 17;
    };
    const auto insert = [&](std::size_t i) {
        if (i + kMinMatch <= in.size()) {
            const std::size_t h = hashAt(i);
            prev[i % kWindow] = head[h];
            head[h] = i;
        }
    };

    std::size_t i = 0;
    while (i < in.size()) {
        unsigned bestLength = 0;
        std::size_t bestDistance = 0;
        if (i + kMinMatch <= in.size()) {
            const std::size_t limit = std::min<std::size_t>(kMaxMatch, in.size() - i);
            std::size_t candidate = head[hashAt(i)];
            for (int chain = 0; chain < kMaxChain && candidate != kNone && i - candidate <= kWindow;
                 ++chain) {
                unsigned length = 0;
                while (length < limit && in[candidate + length] == in[i + length]) {
                    ++length;
                }
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = i - candidate;
                    if (length == limit) {
                        break;
                    }
                }
                const std::size_t next = prev[candidate % kWindow];
                // Older entries of the ring may have been overwritten.
                if (next == kNone || next >= candidate) {
                    break;
                }
                candidate = next;
            }
        }
        if (bestLength >= kMinMatch) {
            match(w, bestLength, static_cast<unsigned>(bestDistance));
            for (unsigned k = 0; k < bestLength; ++k) {
                insert(i + k);
            }
            i += bestLength;
        } else {
            literalLength(w, in[i]);
            insert(i);
            ++i;
        }
    }
    literalLength(w, 256); // end of block
    w.flush();
    return out;
}

void chunk(Bytes& png, const char type[5], const Bytes& data) {
    putBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    putBigEndian(png, crc32(png.data() + start, png.size() - start));
}

} // namespace

std::vector<std::uint8_t> encodePng(const Pixel* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return {};
    }
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    Bytes raw;
    raw.reserve(h * (1 + w * 3));
    for (std::size_t y = 0; y < h; ++y) {
        raw.push_back(0); // no filter
        for (std::size_t x = 0; x < w; ++x) {
            const Pixel p = pixels[y * w + x];
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
        }
    }

    Bytes zlib = {0x78, 0x01}; // deflate, 32 KiB window, no dictionary
    const Bytes compressed = deflate(raw);
    zlib.insert(zlib.end(), compressed.begin(), compressed.end());
    putBigEndian(zlib, adler32(raw));

    Bytes header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", zlib);
    chunk(png, "IEND", {});
    return png;
}

bool writePng(const char* path, const Bitmap& image) {
    const Bytes png = encodePng(image.pixels.get(), image.width, image.height);
    if (png.empty() || path == nullptr) {
        return false;
    }
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

} // namespace nuvalo
