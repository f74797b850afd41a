#pragma once
// Where each picture lies on its sheet.

#include "render/surface.h"

namespace nuvalo::cells {

// "Kemri": the star, with its anchor pixel (the point tested for hits) at
// (kStarAnchorX, kStarAnchorY) of the cell.
inline constexpr Cell kStar{0, 0, 25, 30};
inline constexpr int kStarAnchorX = 12;
inline constexpr int kStarAnchorY = 21;

// "Stein": sprites on white with their masks (white silhouette on black).
inline constexpr Cell kBoulderSprite{0, 0, 50, 50};
inline constexpr Cell kBoulderMask{0, 50, 50, 50};
inline constexpr Cell kStoneSprite{50, 0, 25, 25};
inline constexpr Cell kStoneMask{50, 50, 25, 25};
inline constexpr Cell kTargetMask{50, 75, 25, 25}; // one mask for both kinds
// Kind and running are 0/1 flags; any other value counts as 1 rather than
// naming a cell far off the sheet.
inline Cell targetSprite(int kind) {
    return Cell{kind == 0 ? 50 : 75, 25, 25, 25};
}
inline Cell targetIcon(int kind) {
    return Cell{kind == 0 ? 50 : 75, 28, 25, 20};
}

// "Botan": digits, buttons, units and the record badge.
// d is a remainder of a division by 10: -9..9.
inline Cell digit(int d) {
    return Cell{20 * d, 0, 20, 20};
}
inline Cell startButton(int running) {
    return Cell{running == 0 ? 0 : 80, 20, 80, 20};
}
inline constexpr Cell kUnitKm{160, 20, 20, 20};
inline constexpr Cell kUnitKmPerS{160, 20, 40, 20};
inline constexpr Cell kBadgeLeft{200, 0, 34, 20};
inline constexpr Cell kBadgeRight{200, 20, 34, 20};

inline constexpr int kStoneSize = 25;
inline constexpr int kTargetSize = 25;
inline constexpr int kBoulderSize = 50;

} // namespace nuvalo::cells
