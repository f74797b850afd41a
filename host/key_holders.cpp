#include "host/key_holders.h"

#include "host/host.h"

namespace nuvalo {

namespace {

// The slot of a game key, -1 for other keys.
int slotOf(int vk) {
    switch (vk) {
    case kVkLeft:
        return 0;
    case kVkRight:
        return 1;
    case kVkSpace:
        return 2;
    case kVkEscape:
        return 3;
    case kVkUp:
        return 4;
    case kVkDown:
        return 5;
    case kVkG:
        return 6;
    case kVkI:
        return 7;
    case kVkO:
        return 8;
    default:
        return -1;
    }
}

} // namespace

bool KeyHolders::isGameKey(int vk) {
    return slotOf(vk) >= 0;
}

bool KeyHolders::press(int vk, std::uint32_t source) {
    const int slot = slotOf(vk);
    if (slot < 0) {
        return false;
    }
    std::uint32_t& holders = holders_[static_cast<std::size_t>(slot)];
    const bool first = holders == 0;
    holders |= source;
    return first;
}

bool KeyHolders::release(int vk, std::uint32_t source) {
    const int slot = slotOf(vk);
    if (slot < 0) {
        return false;
    }
    std::uint32_t& holders = holders_[static_cast<std::size_t>(slot)];
    const bool had = (holders & source) != 0;
    holders &= ~source;
    return had && holders == 0;
}

bool KeyHolders::heldBy(int vk, std::uint32_t source) const {
    const int slot = slotOf(vk);
    return slot >= 0 && (holders_[static_cast<std::size_t>(slot)] & source) != 0;
}

bool KeyHolders::held(int vk) const {
    const int slot = slotOf(vk);
    return slot >= 0 && holders_[static_cast<std::size_t>(slot)] != 0;
}

} // namespace nuvalo
