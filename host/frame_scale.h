#pragma once
// How large the 600 x 450 frame is shown, in screen pixels per frame pixel.
// Every shell chooses its scale here.

namespace nuvalo {

// The largest whole factor at which the frame fits `width` x `height` screen
// pixels; 0 when not even 1 does.
int largestWholeScale(double width, double height);

// The factor for a frame that is to fill a space of `width` x `height` screen
// pixels: the largest whole factor, which keeps every frame pixel the same
// size, where that fills at least 85 % of what the exact fit would; the exact
// fit otherwise (a 3x phone held upright would show the frame at a third of
// its width), drawn nearest-neighbour all the same. 0 for an empty space.
double fillingScale(double width, double height);

// The whole factor a desktop's scale setting asks of the frame (1.0 being
// 100 %, 96 dots per inch): its whole part, 1 to 16. The frame is never
// stretched by a fraction of a pixel on the desktop; 0 for no setting (below
// 1, or not a number), for the caller to look elsewhere.
int desktopFactor(double scale);

} // namespace nuvalo
