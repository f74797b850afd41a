// Clips in the browser build: omggif, a JavaScript encoder shipped inside the
// page (clip/web), codes them; gif_web.js keeps a clip's bytes until it is
// complete and then writes them to emscripten's file system in one piece.
#include "clip/gif_writer.h"

#include <array>
#include <cstring>

extern "C" {
// Each returns 0, an errno, or -1 with the encoder's words in `why`.
int nuvalo_gif_open(int* gif, const char* path, int width, int height, const nuvalo::Pixel* colours,
                    int count, char* why, int whySize);
int nuvalo_gif_add(int gif, int left, int top, int width, int height, const std::uint8_t* indexes,
                   int delay, char* why, int whySize);
int nuvalo_gif_close(int gif, int complete, char* why, int whySize);
}

namespace nuvalo::clip {

namespace {

class WebGifWriter final : public GifWriter {
  public:
    ~WebGifWriter() override { close(); }

    bool open(const std::string& path, int width, int height,
              std::span<const Pixel> palette) override {
        close();
        error_.clear();
        if (palette.empty() || palette.size() > 256) {
            return failed(0, "a palette of 1 to 256 colours");
        }
        return checked(nuvalo_gif_open(&gif_, path.c_str(), width, height, palette.data(),
                                       static_cast<int>(palette.size()), why_.data(),
                                       static_cast<int>(why_.size())));
    }

    bool add(const GifImage& image) override {
        if (gif_ == 0) {
            return failed(0, "the file is not open");
        }
        return checked(nuvalo_gif_add(gif_, image.left, image.top, image.width, image.height,
                                      image.indexes, image.delay, why_.data(),
                                      static_cast<int>(why_.size())));
    }

    bool close() override {
        if (gif_ == 0) {
            return error_.empty();
        }
        const int gif = gif_;
        gif_ = 0;
        // A file that failed part way stays as open() left it, empty.
        return checked(nuvalo_gif_close(gif, error_.empty() ? 1 : 0, why_.data(),
                                        static_cast<int>(why_.size()))) &&
               error_.empty();
    }

    std::string error() const override { return error_; }

  private:
    bool checked(int status) { return status == 0 || failed(status, why_.data()); }

    // The first failure is the one to tell.
    bool failed(int status, const char* why) {
        if (error_.empty()) {
            error_ = status > 0 ? std::strerror(status) : why;
        }
        return false;
    }

    int gif_ = 0;
    std::string error_;
    std::array<char, 160> why_{};
};

} // namespace

std::unique_ptr<GifWriter> makeGifWriter() {
    return std::make_unique<WebGifWriter>();
}

} // namespace nuvalo::clip
