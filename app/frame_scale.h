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

} // namespace nuvalo
