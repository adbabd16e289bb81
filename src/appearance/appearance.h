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
// Asked by the main window whenever it is placed while always on top: the window of another
// program in front (the foreground window) that is full screen on the monitor the main window
// is on (a game, a video, a slide show; IsFullScreenProgram in placement.h, or Direct3D's
// exclusive mode as the shell reports it), which the main window then lies just below, out of
// the topmost band; nullptr when there is none. The desktop and the shell's windows never
// count (full_screen.cpp).
HWND FullScreenWindowInFront();
// While on (always-on-top is the stored choice), the foreground window is watched and the main
// window placed again within about a second of a full-screen window coming or going.
void WatchFullScreenPrograms(bool watch);
// Places the main window in the middle of the screen, restoring it first when minimised or
// maximised; a window not yet on screen keeps its place.
void CentreMainWindow();
// Moves the main window, keeping its size, where a grip of it is on a screen when none is;
// a window moved so goes back to its place once the screens allow. The settings file keeps
// the stored place. Run after every placement and whenever the screens change.
void KeepMainWindowWithinReach();
// The settings window's transparency slider moved: its position becomes opacity_setting and
// is shown at once, in alpha or colour-key mode; nothing is saved.
void PreviewTransparency();
// Removes the picture and keys out the background colour, stepped past the two colours
// the labels' text must keep, so only the texts remain visible on the desktop.
void EnterColourKeyMode(COLORREF avoid_a, COLORREF avoid_b);

// Windows' high-contrast mode (SPI_GETHIGHCONTRAST with HCF_HIGHCONTRASTON). While it is on,
// the main window is drawn opaque in the scheme's window colours (COLOR_WINDOW beneath,
// COLOR_WINDOWTEXT for both labels) without its picture, whatever the stored transparency
// and colours; the stored look comes back when it goes off. Nothing of it is written to
// setting.ini: the settings window still shows and saves the stored values.
bool HighContrastOn();
// Answers HighContrastOn in place of the system when set (tests: Wine always reports the
// mode off).
inline bool (*high_contrast_probe)() = nullptr;
// The main window's handler of a change of the system's colours or of the high-contrast
// mode: the labels' colours and the window's mode follow it; places, fonts and a
// transparency being previewed in the settings window stay.
void ApplyColourScheme();

}  // namespace tq
