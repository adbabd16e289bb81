#include "appearance/placement.h"

#include <algorithm>
#include <cstdint>

namespace tq {

namespace {

int64_t Overlap(int64_t a_begin, int64_t a_end, int64_t b_begin, int64_t b_end) {
    return std::max<int64_t>(0, std::min(a_end, b_end) - std::max(a_begin, b_begin));
}

// Squared distance between two rectangles, 0 when they overlap. Between boxes made from 32-bit
// places and scaled sizes the square can pass 64 bits: it is compared in floating point.
double Gap(const Box& a, const Box& b) {
    const auto dx = static_cast<double>(std::max<int64_t>({0, b.left - a.right, a.left - b.right}));
    const auto dy = static_cast<double>(std::max<int64_t>({0, b.top - a.bottom, a.top - b.bottom}));
    return dx * dx + dy * dy;
}

int64_t Fit(int64_t at, int64_t size, int64_t area_begin, int64_t area_end) {
    return std::max(area_begin, std::min(at, area_end - size));
}

// units × dpi / 96, halves rounded away from zero as the platform's MulDiv rounds.
int64_t ScaleUnits(int units, int dpi) {
    const int64_t product = static_cast<int64_t>(units) * dpi;
    return product >= 0 ? (product + 48) / 96 : (product - 48) / 96;
}

}  // namespace

bool GripReachable(const Box& window, const std::vector<Box>& work_areas) {
    const int64_t grip_width = std::min<int64_t>(kGripPixels, window.width());
    const int64_t grip_height = std::min<int64_t>(kGripPixels, window.height());
    return std::any_of(work_areas.begin(), work_areas.end(), [&](const Box& area) {
        return Overlap(window.left, window.right, area.left, area.right) >= grip_width &&
               Overlap(window.top, window.bottom, area.top, area.bottom) >= grip_height;
    });
}

Box ReachablePlace(const Box& window, const std::vector<Box>& work_areas) {
    if (work_areas.empty() || GripReachable(window, work_areas)) return window;
    const Box& nearest = *std::min_element(
        work_areas.begin(), work_areas.end(),
        [&](const Box& a, const Box& b) { return Gap(window, a) < Gap(window, b); });
    const int64_t left = Fit(window.left, window.width(), nearest.left, nearest.right);
    const int64_t top = Fit(window.top, window.height(), nearest.top, nearest.bottom);
    return {left, top, left + window.width(), top + window.height()};
}

Box StoredPlace(int left, int top, int width_units, int height_units,
                const std::vector<MonitorScale>& monitors) {
    const Box point{left, top, left, top};
    const auto holds = [&](const MonitorScale& m) {
        return left >= m.area.left && left < m.area.right && top >= m.area.top &&
               top < m.area.bottom;
    };
    auto monitor = std::find_if(monitors.begin(), monitors.end(), holds);
    if (monitor == monitors.end()) {
        monitor = std::min_element(monitors.begin(), monitors.end(),
                                   [&](const MonitorScale& a, const MonitorScale& b) {
                                       return Gap(point, a.area) < Gap(point, b.area);
                                   });
    }
    const int dpi = monitor == monitors.end() ? 96 : monitor->dpi;
    return {left, top, int64_t{left} + ScaleUnits(width_units, dpi),
            int64_t{top} + ScaleUnits(height_units, dpi)};
}

bool IsFullScreenProgram(const FrontWindow& front, const Box& monitor, const Box& work_area) {
    const Box& client = front.client;
    const bool covers = client.left <= monitor.left && client.top <= monitor.top &&
                        client.right >= monitor.right && client.bottom >= monitor.bottom;
    const bool framed =
        (front.style & kStyleCaption) == kStyleCaption || (front.style & kStyleSizingFrame) != 0;
    if (!covers || !framed) return covers;
    if (front.style & kStyleMaximised) return false;
    // A framed window whose client area covers the monitor while it is not placed as a
    // maximised one has moved its frame off the monitor to fill it: an older game's way.
    const Box& window = front.window;
    const int64_t frame = std::max<int64_t>(0, client.left - window.left);
    const bool placed_as_maximised =
        window.left >= work_area.left - frame && window.top >= work_area.top - frame &&
        window.right <= work_area.right + frame && window.bottom <= work_area.bottom + frame;
    return !placed_as_maximised;
}

}  // namespace tq
