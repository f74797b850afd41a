#pragma once
// The platform services the game core needs, provided by whichever shell runs it
// (the SDL2 desktop game, the Win32 game, or the headless simulator).

namespace nuvalo {

class Platform {
  public:
    // (Re)arm the periodic 20 ms game timer; arming it again restarts the period.
    virtual void armTimer() = 0;
    // Start playing a WAV file (a path relative to the working directory) without
    // waiting, cutting off any cue still playing. A missing file plays the default sound.
    virtual void playSound(const char* path) = 0;

  protected:
    ~Platform() = default;
};

} // namespace nuvalo
