// Clips on Windows: the Windows Imaging Component's GIF encoder codes the
// pixels of every image. Its own file cannot be a clip everywhere the game
// runs: wine's (8.0) takes no frame delay, position or loop through its
// metadata writers (each is E_NOTIMPL) and puts every image at the top left.
// So each image is coded alone, as a one-image GIF in memory, and its coded
// pixels are placed in the clip's file behind the few fixed blocks that say
// where it goes, how long it shows and that the clip loops.
#include "clip/gif_writer.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace nuvalo::clip {

namespace {

// Owns one reference of a COM object.
template <typename T> class Com {
  public:
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() { reset(); }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_ != nullptr) {
            p_->Release();
            p_ = nullptr;
        }
    }

  private:
    T* p_ = nullptr;
};

// The blocks of a GIF file, as far as finding an image's coded pixels needs.
class GifReader {
  public:
    GifReader(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

    // The first image's LZW data: its code size byte, its sub-blocks and their
    // terminator. Empty when the bytes are not such a file.
    std::vector<std::uint8_t> firstImageData() {
        if (!skip(6) || !has(7)) {
            return {};
        }
        const std::uint8_t screen = bytes_[at_ + 4];
        if (!skip(7) || !skipColourTable(screen)) {
            return {};
        }
        while (has(1)) {
            const std::uint8_t block = bytes_[at_];
            if (block == 0x21) { // an extension: its label, then sub-blocks
                if (!skip(2) || !skipSubBlocks()) {
                    return {};
                }
            } else if (block == 0x2C && has(10)) {
                const std::uint8_t image = bytes_[at_ + 9];
                if ((image & 0x40) != 0 || !skip(10) || !skipColourTable(image)) {
                    return {}; // interlaced rows were never asked for
                }
                const std::size_t start = at_;
                if (!skip(1) || !skipSubBlocks()) {
                    return {};
                }
                return {bytes_ + start, bytes_ + at_};
            } else {
                return {};
            }
        }
        return {};
    }

  private:
    bool has(std::size_t n) const { return size_ - at_ >= n; }
    bool skip(std::size_t n) {
        if (!has(n)) {
            return false;
        }
        at_ += n;
        return true;
    }
    bool skipColourTable(std::uint8_t flags) {
        return (flags & 0x80) == 0 || skip(std::size_t{3} << ((flags & 7) + 1));
    }
    bool skipSubBlocks() {
        while (has(1)) {
            const std::size_t length = bytes_[at_];
            if (!skip(1 + length)) {
                return false;
            }
            if (length == 0) {
                return true;
            }
        }
        return false;
    }

    const std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class WicWriter final : public GifWriter {
  public:
    WicWriter() {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        comStarted_ = SUCCEEDED(com);
        const HRESULT made = CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                              CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory_.put()));
        if (FAILED(made)) {
            failed("no Windows Imaging Component", made);
        }
    }
    ~WicWriter() override {
        close();
        palette_.reset();
        factory_.reset();
        if (comStarted_) {
            CoUninitialize();
        }
    }

    bool open(const std::string& path, int width, int height,
              std::span<const Pixel> palette) override {
        close();
        if (factory_.get() == nullptr) {
            return false;
        }
        error_.clear();
        if (palette.empty() || palette.size() > 256) {
            return failed("a palette of 1 to 256 colours");
        }
        std::vector<WICColor> colours(palette.size());
        for (std::size_t i = 0; i < palette.size(); ++i) {
            colours[i] = 0xFF000000u | palette[i];
        }
        HRESULT hr = factory_->CreatePalette(palette_.put());
        if (SUCCEEDED(hr)) {
            hr = palette_->InitializeCustom(colours.data(), static_cast<UINT>(colours.size()));
        }
        if (FAILED(hr)) {
            return failed("the palette", hr);
        }
        file_ = std::fopen(path.c_str(), "wb");
        if (file_ == nullptr) {
            return failed(std::strerror(errno));
        }
        // The screen's colour table holds 256 colours whatever the palette:
        // the encoder codes every image with 8-bit codes.
        std::vector<std::uint8_t> head = {'G', 'I', 'F', '8', '9', 'a'};
        put16(head, width);
        put16(head, height);
        head.insert(head.end(), {0xF7, 0, 0}); // a colour table of 256, 8 bits a colour
        for (std::size_t i = 0; i < 256; ++i) {
            const Pixel colour = i < palette.size() ? palette[i] : kBlack;
            head.insert(head.end(), {static_cast<std::uint8_t>(colour >> 16),
                                     static_cast<std::uint8_t>(colour >> 8),
                                     static_cast<std::uint8_t>(colour)});
        }
        // NETSCAPE2.0's loop block, with a count of 0: forever.
        const char* application = "NETSCAPE2.0";
        head.insert(head.end(), {0x21, 0xFF, 11});
        head.insert(head.end(), application, application + 11);
        head.insert(head.end(), {3, 1, 0, 0, 0});
        return write(head);
    }

    bool add(const GifImage& image) override {
        if (file_ == nullptr) {
            return failed("the file is not open");
        }
        const std::vector<std::uint8_t> coded = code(image);
        if (coded.empty()) {
            return false;
        }
        // Its delay, and drawn over what is there (disposal 1), no transparency.
        std::vector<std::uint8_t> blocks = {0x21, 0xF9, 4, 1 << 2};
        put16(blocks, image.delay);
        blocks.insert(blocks.end(), {0, 0, 0x2C});
        put16(blocks, image.left);
        put16(blocks, image.top);
        put16(blocks, image.width);
        put16(blocks, image.height);
        blocks.push_back(0); // no colour table of its own, not interlaced
        blocks.insert(blocks.end(), coded.begin(), coded.end());
        return write(blocks);
    }

    bool close() override {
        if (file_ == nullptr) {
            return error_.empty();
        }
        const bool ended = std::fputc(0x3B, file_) != EOF;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        return ((ended && closed) || failed("cannot finish the file")) && error_.empty();
    }

    std::string error() const override { return error_; }

  private:
    static void put16(std::vector<std::uint8_t>& out, int value) {
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
        out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }

    bool write(const std::vector<std::uint8_t>& bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() ||
               failed("cannot write the file");
    }

    // The image coded by the system's encoder, as a GIF of its own, and
    // taken out of it.
    std::vector<std::uint8_t> code(const GifImage& image) {
        Com<IStream> stream;
        Com<IWICBitmapEncoder> encoder;
        Com<IWICBitmapFrameEncode> frame;
        Com<IPropertyBag2> options;
        const auto width = static_cast<UINT>(image.width);
        const auto height = static_cast<UINT>(image.height);
        WICPixelFormatGUID format = GUID_WICPixelFormat8bppIndexed;
        // The encoder only takes rows through a pointer to non-const; it reads them.
        auto* pixels = const_cast<BYTE*>(image.indexes);
        HGLOBAL memory = nullptr;
        STATSTG stat{};
        HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
        if (SUCCEEDED(hr)) {
            hr = factory_->CreateEncoder(GUID_ContainerFormatGif, nullptr, encoder.put());
        }
        if (SUCCEEDED(hr)) {
            hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
        }
        if (SUCCEEDED(hr)) {
            hr = encoder->CreateNewFrame(frame.put(), options.put());
        }
        if (SUCCEEDED(hr)) {
            hr = frame->Initialize(options.get());
        }
        if (SUCCEEDED(hr)) {
            hr = frame->SetSize(width, height);
        }
        if (SUCCEEDED(hr)) {
            hr = frame->SetPixelFormat(&format);
        }
        if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed)) {
            hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
        }
        if (SUCCEEDED(hr)) {
            hr = frame->SetPalette(palette_.get());
        }
        if (SUCCEEDED(hr)) {
            hr = frame->WritePixels(height, width, width * height, pixels);
        }
        if (SUCCEEDED(hr)) {
            hr = frame->Commit();
        }
        if (SUCCEEDED(hr)) {
            hr = encoder->Commit();
        }
        if (SUCCEEDED(hr)) {
            hr = GetHGlobalFromStream(stream.get(), &memory);
        }
        if (SUCCEEDED(hr)) {
            hr = stream->Stat(&stat, STATFLAG_NONAME);
        }
        if (FAILED(hr)) {
            failed("the imaging component could not code an image", hr);
            return {};
        }
        std::vector<std::uint8_t> coded;
        if (const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory))) {
            coded =
                GifReader(bytes, static_cast<std::size_t>(stat.cbSize.QuadPart)).firstImageData();
            GlobalUnlock(memory);
        }
        if (coded.empty()) {
            failed("the imaging component's GIF could not be read back");
        }
        return coded;
    }

    bool failed(const char* why, HRESULT hr = S_OK) {
        if (error_.empty()) {
            char text[160];
            if (hr != S_OK) {
                std::snprintf(text, sizeof text, "%s (0x%08lX)", why,
                              static_cast<unsigned long>(hr));
            } else {
                std::snprintf(text, sizeof text, "%s", why);
            }
            error_ = text;
        }
        return false;
    }

    bool comStarted_ = false;
    Com<IWICImagingFactory> factory_;
    Com<IWICPalette> palette_;
    std::FILE* file_ = nullptr;
    std::string error_;
};

} // namespace

std::unique_ptr<GifWriter> makeGifWriter() {
    return std::make_unique<WicWriter>();
}

} // namespace nuvalo::clip
