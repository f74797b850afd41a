#include "app/sim/state_line.h"

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace nuvalo::sim {

namespace {

// A line is built in a buffer and written with one call: a long run prints
// millions of them, and formatting each field through printf cost more than
// the game itself. Whatever does not fit is written as it comes. Everything
// here stays in this file so that builds which instrument the script reader
// can leave the writer alone.
class LineWriter {
  public:
    explicit LineWriter(std::FILE* out) : out_(out) {}
    ~LineWriter() { flush(); }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    LineWriter& text(const char* bytes, std::size_t size) {
        while (size != 0) {
            if (length_ == sizeof buffer_) {
                flush();
            }
            const std::size_t n = size < sizeof buffer_ - length_ ? size : sizeof buffer_ - length_;
            std::memcpy(buffer_ + length_, bytes, n);
            length_ += n;
            bytes += n;
            size -= n;
        }
        return *this;
    }
    LineWriter& text(std::string_view bytes) { return text(bytes.data(), bytes.size()); }
    LineWriter& text(const char* bytes) { return text(bytes, std::strlen(bytes)); }

    // Bytes inside a JSON string or a quoted message: anything that is not
    // plain printable ASCII is escaped.
    LineWriter& escaped(std::string_view bytes) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::size_t from = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
                continue;
            }
            text(bytes.data() + from, i - from);
            from = i + 1;
            if (byte == '"' || byte == '\\') {
                const char code[] = {'\\', bytes[i]};
                text(code, sizeof code);
            } else {
                const char code[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
                text(code, sizeof code);
            }
        }
        return text(bytes.data() + from, bytes.size() - from);
    }

    LineWriter& number(std::int64_t value) {
        // Negated as unsigned, so the most negative value has a magnitude too.
        return value < 0 ? digits(0 - static_cast<std::uint64_t>(value), true)
                         : digits(static_cast<std::uint64_t>(value), false);
    }
    LineWriter& number(std::int32_t value) { return number(static_cast<std::int64_t>(value)); }
    LineWriter& number(std::uint64_t value) { return digits(value, false); }

    LineWriter& number(float value) {
        char digits[32];
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
        const auto result =
            std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 9);
        return text(digits, static_cast<std::size_t>(result.ptr - digits));
#else
        // A library without floating-point to_chars (the browser build's):
        // the printf conversion, which gives the same text.
        const int length = std::snprintf(digits, sizeof digits, "%.9g", static_cast<double>(value));
        return text(digits, static_cast<std::size_t>(length));
#endif
    }

  private:
    // Written straight into the buffer, digits last to first.
    LineWriter& digits(std::uint64_t magnitude, bool negative) {
        constexpr std::size_t kLongest = 21; // a sign and twenty digits
        if (sizeof buffer_ - length_ < kLongest) {
            flush();
        }
        std::size_t count = 1;
        for (std::uint64_t rest = magnitude / 10; rest != 0; rest /= 10) {
            ++count;
        }
        if (negative) {
            buffer_[length_++] = '-';
        }
        for (std::size_t at = length_ + count; at != length_;) {
            buffer_[--at] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        }
        length_ += count;
        return *this;
    }

    void flush() {
        if (length_ != 0) {
            std::fwrite(buffer_, 1, length_, out_);
            length_ = 0;
        }
    }

    std::FILE* out_;
    char buffer_[1024];
    std::size_t length_ = 0;
};

} // namespace

void writeStateLine(std::FILE* out, std::string_view event, std::uint64_t tick, const GameState& s,
                    std::span<const char* const> sounds) {
    LineWriter line(out);
    line.text("{\"event\":\"").escaped(event);
    line.text("\",\"tick\":").number(tick);
    line.text(",\"running\":").number(s.running);
    line.text(",\"crashTimer\":").number(s.crashTimer);
    line.text(",\"resultPhase\":").number(s.resultPhase);
    line.text(",\"bestScore\":").number(s.bestScore);
    line.text(",\"driftTicks\":").number(s.driftTicks);
    line.text(",\"driftDir\":").number(s.driftDir);
    line.text(",\"resultTicks\":").number(s.resultTicks);
    line.text(",\"leftHeld\":").number(s.leftHeld);
    line.text(",\"rightHeld\":").number(s.rightHeld);
    line.text(",\"steer\":").number(s.steer);
    line.text(",\"mouseX\":").number(s.mouseX);
    line.text(",\"mouseY\":").number(s.mouseY);
    line.text(",\"starX\":").number(s.starX);
    line.text(",\"starY\":").number(s.starY);
    line.text(",\"targetsDown\":[").number(s.targetsDown[0]).text(",").number(s.targetsDown[1]);
    line.text("],\"distance\":").number(s.distance);
    line.text(",\"speed\":").number(s.speed);
    line.text(",\"boulderX\":").number(s.boulderX);
    line.text(",\"boulderY\":").number(s.boulderY);
    line.text(",\"stones\":[");
    for (int i = 0; i < kStoneCount; ++i) {
        line.text(i == 0 ? "[" : ",[").number(s.stones[i].x).text(",").number(s.stones[i].y);
        line.text("]");
    }
    line.text("],\"targetX\":").number(s.targetX);
    line.text(",\"targetY\":").number(s.targetY);
    line.text(",\"targetKind\":").number(s.targetKind);
    line.text(",\"sounds\":[");
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        line.text(i == 0 ? "\"" : ",\"").escaped(sounds[i]).text("\"");
    }
    line.text("]}\n");
}

void writeErrorLine(std::FILE* err, std::uint64_t lineNumber, const char* what,
                    std::string_view line) {
    constexpr std::size_t kShown = 80;
    LineWriter(err)
        .text("nuvalo-sim: line ")
        .number(lineNumber)
        .text(": ")
        .text(what)
        .text(": \"")
        .escaped(line.substr(0, kShown))
        .text(line.size() > kShown ? "...\"\n" : "\"\n");
}

} // namespace nuvalo::sim
