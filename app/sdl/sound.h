#pragma once
// The sound cues on SDL's audio: one cue at a time, a new one cutting off the
// one still playing, each read from its WAV file when it is played.

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nuvalo::sdl {

// What the audio device takes: sample format, channels, frames per second.
struct DeviceFormat {
    SDL_AudioFormat format = AUDIO_S16SYS;
    std::uint8_t channels = 2;
    int rate = 44100;

    int frameBytes() const { return SDL_AUDIO_BITSIZE(format) / 8 * channels; }
    bool operator==(const DeviceFormat&) const = default;
};

// Samples ready for the device, whole frames only.
using Clip = std::vector<std::uint8_t>;

// No cue plays longer than this; a longer file is cut here rather than
// converted whole while the game waits.
inline constexpr int kMaxClipSeconds = 30;
// A cue file larger than this counts as unreadable.
inline constexpr std::size_t kMaxWavFileBytes = 16u << 20;

// A WAV file held in memory, in any format SDL reads (PCM of 8 to 32 bits,
// float, ADPCM, mu-law, A-law), converted to `device`. Nothing for bytes that
// are no readable WAV. A file cut short plays up to its last whole block.
std::optional<Clip> decodeWav(std::span<const std::uint8_t> bytes, const DeviceFormat& device);

// The whole file, or nothing when it is missing, unreadable or over `limit`.
std::optional<std::vector<std::uint8_t>> readWholeFile(const char* path, std::size_t limit);

// The audio thread's side: the cue being played and how far it has got.
// Not locked here; the device lock (or the test) keeps the calls apart.
class CuePlayer {
  public:
    // Starts `clip` from its beginning, cutting off the cue playing. Returns
    // the clip that was playing, so that the caller frees it outside the
    // audio thread's lock.
    std::shared_ptr<const Clip> start(std::shared_ptr<const Clip> clip);
    // Fills an output buffer: the cue's next bytes, then silence.
    void fill(std::uint8_t* out, std::size_t length, std::uint8_t silence);
    bool playing() const { return clip_ != nullptr && position_ < clip_->size(); }

  private:
    std::shared_ptr<const Clip> clip_;
    std::size_t position_ = 0;
};

// Finds the clip for a cue path. The file is looked at on every play; its
// decoded samples are kept while it stays the same file (same inode, size and
// modification time), so a replaced file is heard at its next cue. A missing
// or unreadable file gives the built-in default sound.
class CueLibrary {
  public:
    CueLibrary(const DeviceFormat& device, std::span<const std::uint8_t> defaultWav);

    std::shared_ptr<const Clip> clipFor(const char* path);
    const DeviceFormat& device() const { return device_; }
    // How many times a file was read and decoded (the rest came from memory).
    int decodes() const { return decodes_; }

  private:
    struct Entry {
        std::string path;
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t modifiedSeconds = 0, modifiedNanos = 0;
        std::shared_ptr<const Clip> clip;
    };

    DeviceFormat device_;
    std::shared_ptr<const Clip> fallback_;
    std::vector<Entry> entries_;
    int decodes_ = 0;
};

// The audio device. Opening may fail (no sound hardware, no server): the game
// then goes on silently after one line on stderr.
class SoundOutput {
  public:
    SoundOutput() = default;
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    bool open();
    void close();
    void play(const char* path);
    bool isOpen() const { return device_ != 0; }

    // A device's thread wakes some ninety times a second even to play
    // silence. A game at rest lets go of the device once no cue is playing
    // (false while one still is) and takes it again before its next run; the
    // decoded cues are kept when the device comes back in the same format.
    bool suspend();
    void resume();
    bool suspended() const { return suspended_; }

  private:
    static void SDLCALL callback(void* self, Uint8* stream, int length);
    bool openDevice();

    SDL_AudioDeviceID device_ = 0;
    bool subsystem_ = false; // SDL's audio is initialised on our behalf
    bool suspended_ = false;
    std::uint8_t silence_ = 0;
    CuePlayer player_;
    std::unique_ptr<CueLibrary> library_;
};

} // namespace nuvalo::sdl
