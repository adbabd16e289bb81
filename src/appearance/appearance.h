// Applying the stored look to the main window: the labels' fonts, colours, text and
// geometry; the window's size, caption, transparency mode, picture, always-on-top state,
// border and shape; and its position.
#pragma once

#include <cstdint>

#include <windows.h>

namespace tq {

// The configured opacity, 0..255 opaque; below 2 selects the colour-key mode.
inline int16_t opacity_setting = 0;

void ApplyLabelSettings();
void ApplyWindowSettings();
void ApplyWindowPosition();
// Removes the picture and keys out the background colour, stepped past the two colours
// the labels' text must keep, so only the texts remain visible on the desktop.
void EnterColourKeyMode(COLORREF avoid_a, COLORREF avoid_b);

}  // namespace tq
