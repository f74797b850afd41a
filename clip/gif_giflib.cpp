// Clips on Linux: giflib (Debian's libgif-dev) writes the whole file.
#include "clip/gif_writer.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace nuvalo::clip {

namespace {

class GiflibWriter final : public GifWriter {
  public:
    ~GiflibWriter() override { close(); }

    bool open(const std::string& path, int width, int height,
              std::span<const Pixel> palette) override {
        close();
        error_.clear();
        if (palette.empty() || palette.size() > 256) {
            return failed("a palette of 1 to 256 colours");
        }
        // giflib's colour tables come in powers of two, of two colours at least.
        int bits = 1;
        while ((std::size_t{1} << bits) < palette.size()) {
            ++bits;
        }
        std::vector<GifColorType> colours(std::size_t{1} << bits, GifColorType{0, 0, 0});
        for (std::size_t i = 0; i < palette.size(); ++i) {
            colours[i] = {static_cast<GifByteType>(palette[i] >> 16),
                          static_cast<GifByteType>(palette[i] >> 8),
                          static_cast<GifByteType>(palette[i])};
        }
        // Opened here rather than by giflib, which would make it readable by
        // its owner alone: a clip is for showing.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            return failed(std::strerror(errno));
        }
        int error = 0;
        gif_ = EGifOpenFileHandle(fd, &error);
        if (gif_ == nullptr) {
            ::close(fd);
            return failed(GifErrorString(error));
        }
        ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
        if (map == nullptr) {
            return failed(GifErrorString(E_GIF_ERR_NOT_ENOUGH_MEM));
        }
        // GIF89a: the delays and the loop are its extensions.
        EGifSetGifVersion(gif_, true);
        const bool described = EGifPutScreenDesc(gif_, width, height, 8, 0, map) == GIF_OK;
        GifFreeMapObject(map);
        // The loop block browsers and viewers agree on: NETSCAPE2.0, sub-block
        // 1, a count of 0 for forever.
        static const GifByteType kLoopForever[3] = {1, 0, 0};
        const bool looped = described &&
                            EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                            EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_OK &&
                            EGifPutExtensionBlock(gif_, 3, kLoopForever) == GIF_OK &&
                            EGifPutExtensionTrailer(gif_) == GIF_OK;
        return looped || failed(GifErrorString(gif_->Error));
    }

    bool add(const GifImage& image) override {
        if (gif_ == nullptr) {
            return failed("the file is not open");
        }
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT; // the next image is drawn over this one
        control.UserInputFlag = false;
        control.DelayTime = image.delay;
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        std::array<GifByteType, 4> extension{};
        EGifGCBToExtension(&control, extension.data());
        bool ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension.data()) == GIF_OK &&
                  EGifPutImageDesc(gif_, image.left, image.top, image.width, image.height, false,
                                   nullptr) == GIF_OK;
        // giflib takes rows it does not change through a pointer to non-const.
        auto* row = const_cast<GifPixelType*>(image.indexes);
        for (int y = 0; ok && y < image.height; ++y, row += image.width) {
            ok = EGifPutLine(gif_, row, image.width) == GIF_OK;
        }
        return ok || failed(GifErrorString(gif_->Error));
    }

    bool close() override {
        if (gif_ == nullptr) {
            return error_.empty();
        }
        int error = 0;
        // Frees the file whether or not it could be completed.
        const bool closed = EGifCloseFile(gif_, &error) == GIF_OK;
        gif_ = nullptr;
        return (closed || failed(GifErrorString(error))) && error_.empty();
    }

    std::string error() const override { return error_; }

  private:
    bool failed(const char* why) {
        if (error_.empty()) {
            error_ = why != nullptr ? why : "unknown giflib error";
        }
        return false;
    }

    GifFileType* gif_ = nullptr;
    std::string error_;
};

} // namespace

std::unique_ptr<GifWriter> makeGifWriter() {
    return std::make_unique<GiflibWriter>();
}

} // namespace nuvalo::clip
