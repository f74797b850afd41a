#include "app/sdl/sound.h"

#include "app/sdl/library_chatter.h"

#include "resources/resources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace nuvalo::sdl {

std::optional<Clip> decodeWav(std::span<const std::uint8_t> bytes, const DeviceFormat& device) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX) ||
        device.frameBytes() <= 0) {
        return std::nullopt;
    }
    SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    if (source == nullptr) {
        return std::nullopt;
    }
    SDL_AudioSpec wavFormat{};
    Uint8* samples = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV_RW(source, 1, &wavFormat, &samples, &length) == nullptr) {
        return std::nullopt;
    }
    std::optional<Clip> result;
    const int sourceFrame = SDL_AUDIO_BITSIZE(wavFormat.format) / 8 * wavFormat.channels;
    SDL_AudioStream* stream =
        sourceFrame > 0 && wavFormat.freq > 0
            ? SDL_NewAudioStream(wavFormat.format, wavFormat.channels, wavFormat.freq,
                                 device.format, device.channels, device.rate)
            : nullptr;
    if (stream != nullptr) {
        // Whole frames only, and no more than the longest cue we play.
        const std::uint64_t maxFrames =
            static_cast<std::uint64_t>(wavFormat.freq) * kMaxClipSeconds;
        const std::uint64_t frames =
            std::min<std::uint64_t>(length / static_cast<Uint32>(sourceFrame), maxFrames);
        const auto inBytes = static_cast<int>(frames * static_cast<std::uint64_t>(sourceFrame));
        // SDL's resampler keeps back the last few hundred frames even when
        // flushed; silence behind the sound pushes them out, and the output
        // is then cut to the sound's own length.
        const std::size_t padFrames =
            std::max<std::size_t>(1024, static_cast<std::size_t>(wavFormat.freq) / 10);
        const std::vector<std::uint8_t> padding(padFrames * static_cast<std::size_t>(sourceFrame),
                                                wavFormat.format == AUDIO_U8 ? 0x80 : 0x00);
        const std::uint64_t outFrames = (frames * static_cast<std::uint64_t>(device.rate) +
                                         static_cast<std::uint64_t>(wavFormat.freq) / 2) /
                                        static_cast<std::uint64_t>(wavFormat.freq);
        const std::size_t frame = static_cast<std::size_t>(device.frameBytes());
        if ((inBytes == 0 || SDL_AudioStreamPut(stream, samples, inBytes) == 0) &&
            SDL_AudioStreamPut(stream, padding.data(), static_cast<int>(padding.size())) == 0 &&
            SDL_AudioStreamFlush(stream) == 0) {
            Clip clip(static_cast<std::size_t>(outFrames) * frame);
            const int got = clip.empty() ? 0
                                         : SDL_AudioStreamGet(stream, clip.data(),
                                                              static_cast<int>(clip.size()));
            if (got >= 0) {
                clip.resize(static_cast<std::size_t>(got) / frame * frame);
                result = std::move(clip);
            }
        }
        SDL_FreeAudioStream(stream);
    }
    SDL_FreeWAV(samples);
    return result;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const char* path, std::size_t limit) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[16384];
    bool ok = true;
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (bytes.size() + got > limit) {
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) {
            ok = std::ferror(file) == 0;
            break;
        }
    }
    std::fclose(file);
    if (!ok) {
        return std::nullopt;
    }
    return bytes;
}

std::shared_ptr<const Clip> CuePlayer::start(std::shared_ptr<const Clip> clip) {
    std::swap(clip_, clip);
    position_ = 0;
    return clip;
}

void CuePlayer::fill(std::uint8_t* out, std::size_t length, std::uint8_t silence) {
    std::size_t copied = 0;
    if (clip_ != nullptr && position_ < clip_->size()) {
        copied = std::min(length, clip_->size() - position_);
        std::memcpy(out, clip_->data() + position_, copied);
        position_ += copied;
    }
    std::memset(out + copied, silence, length - copied);
}

CueLibrary::CueLibrary(const DeviceFormat& device, std::span<const std::uint8_t> defaultWav)
    : device_(device) {
    auto clip = decodeWav(defaultWav, device_);
    fallback_ = std::make_shared<const Clip>(clip ? std::move(*clip) : Clip{});
}

std::shared_ptr<const Clip> CueLibrary::clipFor(const char* path) {
    struct stat info {};
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        return fallback_;
    }
    auto entry = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& e) { return e.path == path; });
    if (entry != entries_.end() && entry->device == static_cast<std::uint64_t>(info.st_dev) &&
        entry->inode == static_cast<std::uint64_t>(info.st_ino) &&
        entry->size == static_cast<std::uint64_t>(info.st_size) &&
        entry->modifiedSeconds == static_cast<std::int64_t>(info.st_mtim.tv_sec) &&
        entry->modifiedNanos == static_cast<std::int64_t>(info.st_mtim.tv_nsec)) {
        return entry->clip;
    }
    ++decodes_;
    std::shared_ptr<const Clip> clip = fallback_;
    if (auto bytes = readWholeFile(path, kMaxWavFileBytes)) {
        if (auto decoded = decodeWav(*bytes, device_)) {
            clip = std::make_shared<const Clip>(std::move(*decoded));
        }
    }
    if (entry == entries_.end()) {
        entries_.emplace_back();
        entry = entries_.end() - 1;
        entry->path = path;
    }
    entry->device = static_cast<std::uint64_t>(info.st_dev);
    entry->inode = static_cast<std::uint64_t>(info.st_ino);
    entry->size = static_cast<std::uint64_t>(info.st_size);
    entry->modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    entry->modifiedNanos = static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    entry->clip = clip;
    return clip;
}

SoundOutput::~SoundOutput() {
    close();
}

bool SoundOutput::open() {
    bool started = false;
    {
        // Without a sound server or card, ALSA writes a screenful while SDL
        // looks for a device; the game's one line below says what matters.
        const LibraryChatterHushed hushed;
        started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    if (!started) {
        std::fprintf(stderr, "nuvalo: no sound (%s); playing silently\n", SDL_GetError());
        return false;
    }
    subsystem_ = true;
    if (!openDevice()) {
        close();
        return false;
    }
    return true;
}

bool SoundOutput::openDevice() {
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    // About 12 ms per buffer: a cue starts within a tick of being asked for.
    want.samples = 512;
    want.callback = &SoundOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    {
        const LibraryChatterHushed hushed;
        device_ =
            SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    }
    if (device_ == 0) {
        std::fprintf(stderr, "nuvalo: no sound (%s); playing silently\n", SDL_GetError());
        return false;
    }
    silence_ = have.silence;
    const DeviceFormat format{have.format, have.channels, have.freq};
    if (library_ == nullptr || !(library_->device() == format)) {
        library_ = std::make_unique<CueLibrary>(format, res::defaultSound());
    }
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SoundOutput::suspend() {
    if (device_ == 0) {
        return true;
    }
    SDL_LockAudioDevice(device_);
    const bool playing = player_.playing();
    SDL_UnlockAudioDevice(device_);
    if (playing) {
        return false;
    }
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    suspended_ = true;
    player_.start(nullptr);
    return true;
}

void SoundOutput::resume() {
    if (!suspended_) {
        return;
    }
    suspended_ = false;
    if (!openDevice()) {
        // The device went away meanwhile: the game goes on silently.
        close();
    }
}

void SoundOutput::close() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
    suspended_ = false;
    player_.start(nullptr);
    library_.reset();
}

void SoundOutput::play(const char* path) {
    if (device_ == 0) {
        return;
    }
    std::shared_ptr<const Clip> clip = library_->clipFor(path);
    SDL_LockAudioDevice(device_);
    std::shared_ptr<const Clip> previous = player_.start(std::move(clip));
    SDL_UnlockAudioDevice(device_);
    // `previous` is released here, on the game's thread, not in the callback.
}

void SDLCALL SoundOutput::callback(void* self, Uint8* stream, int length) {
    auto* output = static_cast<SoundOutput*>(self);
    output->player_.fill(stream, static_cast<std::size_t>(std::max(length, 0)), output->silence_);
}

} // namespace nuvalo::sdl
