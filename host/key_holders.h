#pragma once
// One game key held from several places at once: the keyboard, a touch, a
// game controller. The rules see one key, pressed when the first place takes
// it and released when the last lets go, so that letting go of the keyboard's
// Left while a thumb still holds it does not stop the star.

#include <array>
#include <cstdint>

namespace nuvalo {

class KeyHolders {
  public:
    // A bit each; shells name their own places beyond the keyboard.
    static constexpr std::uint32_t kKeyboard = 1;

    // `source` takes `vk` (Left, Right, Space, Escape, and for watching Up,
    // Down, G, I and O; other keys are not held). True when nothing held it before.
    bool press(int vk, std::uint32_t source);
    // `source` lets go of `vk`. True when `source` held it and nothing holds
    // it any more: the moment the rules see the release.
    bool release(int vk, std::uint32_t source);
    bool heldBy(int vk, std::uint32_t source) const;
    bool held(int vk) const;
    // The keys held here; other keys pass by.
    static bool isGameKey(int vk);
    void clear() { holders_ = {}; }

  private:
    std::array<std::uint32_t, 9> holders_{};
};

} // namespace nuvalo
