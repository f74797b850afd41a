#pragma once
// Shared helpers of the renderer tests: one set of drawing resources for the
// whole program, and readers that look at
// regions of a frame in terms of sheet cells, digits and text.

#include "game/game_state.h"
#include "render/gdi.h"
#include "render/surface.h"
#include "tests/support/doubles.h"

#include <string>
#include <vector>

namespace nuvalo::test {

// Created on first use, released when the program ends.
GdiResources& resources();
Surface frame(); // the back buffer of resources()

// Composes one frame of `s` into resources().
void compose(const GameState& s);

// A state with every object and the star far outside the frame.
GameState emptyField();

Pixel pixelAt(Surface s, int x, int y);
Pixel sheetPixel(const Bitmap& sheet, int x, int y);
// True when the w x h region at (x, y) equals `cell` of `sheet` pixel for pixel.
bool showsCell(Surface s, int x, int y, const Bitmap& sheet, Cell cell);
// True when every pixel of left <= x < right, top <= y < bottom is `colour`.
bool isFilled(Surface s, int left, int top, int right, int bottom, Pixel colour);

// Reads `count` 20-pixel digit places ending with the ones place at (onesX, y),
// left to right: '0'..'9' for a digit cell, ' ' for an all-white place, '?'
// for anything else.
std::string placesAt(Surface s, int onesX, int y, int count);

// Width in pixels of Shift-JIS text in the built-in font.
int textWidth(const char* sjis);
// True when the text box of `sjis` drawn at (x, y) is exactly what is there.
bool showsText(Surface s, int x, int y, const char* sjis);

} // namespace nuvalo::test
