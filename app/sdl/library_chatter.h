#pragma once
// The libraries under SDL (ALSA, libwayland, ...) write their own lines to
// standard error while SDL looks for a display or a sound device, before the
// game can say in one line what it found. A player sees only the game's line;
// NUVALO_DEBUG=1 in the environment lets the libraries speak again.

namespace nuvalo::sdl {

// While alive, standard error goes nowhere, unless NUVALO_DEBUG is set to
// anything but empty or 0. Kept short, around the one call that looks: a line
// another thread wrote meanwhile would be lost as well.
class LibraryChatterHushed {
  public:
    LibraryChatterHushed();
    ~LibraryChatterHushed();
    LibraryChatterHushed(const LibraryChatterHushed&) = delete;
    LibraryChatterHushed& operator=(const LibraryChatterHushed&) = delete;

  private:
    int saved_ = -1;
};

} // namespace nuvalo::sdl
