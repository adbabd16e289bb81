// Where the countdown window goes: at its stored place on the virtual screen, within reach,
// and below a full-screen program in front. The window has no frame and no taskbar button, so one
// placed off every screen (a monitor unplugged, a laptop out of its dock, a lower resolution) could
// not be brought back without editing the settings file by hand. The geometry is portable; the
// platform supplies the monitors.
#pragma once

#include <cstdint>
#include <vector>

namespace tq {

// A rectangle in screen pixels; right and bottom lie outside it. Its 64 bits hold any stored
// place plus any stored size at any scale (both 32-bit in setting.ini), so that a place near
// the edge of the 32-bit range comes back like any other place off the screens.
struct Box {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;
    int64_t width() const { return right - left; }
    int64_t height() const { return bottom - top; }
    bool operator==(const Box&) const = default;
};

// The part of the window that must stay on a screen for the user to reach it: this many
// pixels square, or the whole window when it is smaller.
inline constexpr int kGripPixels = 48;

// True when a grip of the window lies inside the work area of one monitor.
bool GripReachable(const Box& window, const std::vector<Box>& work_areas);

// Where the window belongs: where it is when a grip is reachable; otherwise, keeping its
// size, inside the work area nearest to it, as close to where it was as fits (a window larger
// than that area keeps its left or top edge on the area's). No work areas: where it is.
Box ReachablePlace(const Box& window, const std::vector<Box>& work_areas);

// A monitor's rectangle in screen pixels and the scale it shows windows at, in dots per inch.
struct MonitorScale {
    Box area;
    int dpi = 96;
};

// The window at its stored place: the top-left corner is that point of the virtual screen,
// in screen pixels, so that it means the same point whatever each monitor's scale; the size,
// stored in units of 1/96 inch, is scaled with the DPI of the monitor holding the point (the
// nearest one when none does; 96 when no monitor is known) and rounded to the nearest pixel.
Box StoredPlace(int left, int top, int width_units, int height_units,
                const std::vector<MonitorScale>& monitors);

// The styles of a window that the full-screen decision reads, as the platform defines them.
inline constexpr uint32_t kStyleMaximised = 0x01000000;    // WS_MAXIMIZE
inline constexpr uint32_t kStyleCaption = 0x00C00000;      // WS_CAPTION: WS_BORDER | WS_DLGFRAME
inline constexpr uint32_t kStyleSizingFrame = 0x00040000;  // WS_THICKFRAME

// Another program's window in front (the foreground window): its style, and its window and
// client rectangles in screen pixels.
struct FrontWindow {
    uint32_t style = 0;
    Box window;
    Box client;
};

// Whether the window in front is a full-screen program (a game, a video, a slide show) on the
// monitor the countdown is on: its client area covers the whole monitor, and it is no
// maximised window. A program that goes full screen drops its caption and sizing frame; one
// that keeps either and is maximised, by its style or placed as the platform places a
// maximised window (over the work area by no more than its side frame), only fills the work
// area, which is the whole monitor when the taskbar hides itself or lies on another monitor.
// Programs that draw their own title bar cover that monitor with their client area then.
bool IsFullScreenProgram(const FrontWindow& front, const Box& monitor, const Box& work_area);

}  // namespace tq
