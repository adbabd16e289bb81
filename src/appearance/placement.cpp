#include "appearance/placement.h"

#include <algorithm>
#include <cstdint>

namespace tq {

namespace {

int Overlap(int a_begin, int a_end, int b_begin, int b_end) {
    return std::max(0, std::min(a_end, b_end) - std::max(a_begin, b_begin));
}

// Squared distance between two rectangles, 0 when they overlap.
int64_t Gap(const Box& a, const Box& b) {
    const int64_t dx = std::max({0, b.left - a.right, a.left - b.right});
    const int64_t dy = std::max({0, b.top - a.bottom, a.top - b.bottom});
    return dx * dx + dy * dy;
}

int Fit(int at, int size, int area_begin, int area_end) {
    return std::max(area_begin, std::min(at, area_end - size));
}

// units × dpi / 96, halves rounded away from zero as the platform's MulDiv rounds.
int ScaleUnits(int units, int dpi) {
    const int64_t product = static_cast<int64_t>(units) * dpi;
    return static_cast<int>(product >= 0 ? (product + 48) / 96 : (product - 48) / 96);
}

}  // namespace

bool GripReachable(const Box& window, const std::vector<Box>& work_areas) {
    const int grip_width = std::min(kGripPixels, window.width());
    const int grip_height = std::min(kGripPixels, window.height());
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
    const int left = Fit(window.left, window.width(), nearest.left, nearest.right);
    const int top = Fit(window.top, window.height(), nearest.top, nearest.bottom);
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
    return {left, top, left + ScaleUnits(width_units, dpi), top + ScaleUnits(height_units, dpi)};
}

}  // namespace tq
