#include "forms/model.h"

#include <algorithm>
#include <vector>

#include "forms/internal.h"

namespace tq::forms {

namespace {

// Polygon outlines for the shapes beyond the ring, in coordinates 0..32767.
struct ShapeOutline {
    Shape shape;
    std::vector<POINT> points;
};
const std::vector<ShapeOutline>& Outlines() {
    static const std::vector<ShapeOutline> outlines = {
        {Shape::Diamond, {{16384, 0}, {32767, 16384}, {16384, 32767}, {0, 16384}}},
        {Shape::Hexagon,
         {{8192, 0}, {24576, 0}, {32767, 16384}, {24576, 32767}, {8192, 32767}, {0, 16384}}},
    };
    return outlines;
}

}  // namespace

HRGN MakeRegion(Shape shape, int w, int h, int dpi) {
    switch (shape) {
        case Shape::Rectangle: return nullptr;
        case Shape::Ellipse: return CreateEllipticRgn(0, 0, w, h);
        case Shape::RoundedRectangle: {
            // The corners are those of the window's size in units, taken to pixels.
            const int r = ToPixels(std::min(ToUnits(w, dpi) / 5, ToUnits(h, dpi) / 5), dpi);
            return CreateRoundRectRgn(0, 0, w, h, r, r);
        }
        case Shape::Ring: {
            HRGN outer = CreateEllipticRgn(0, 0, w, h);
            HRGN inner = CreateEllipticRgn(w / 4, h / 4, w - w / 4, h - h / 4);
            CombineRgn(outer, outer, inner, RGN_DIFF);
            DeleteObject(inner);
            return outer;
        }
        default:
            for (const ShapeOutline& outline : Outlines()) {
                if (outline.shape != shape) continue;
                std::vector<POINT> points = outline.points;
                for (POINT& p : points) {
                    p.x = MulDiv(p.x, w, 32767);
                    p.y = MulDiv(p.y, h, 32767);
                }
                return CreatePolygonRgn(points.data(), static_cast<int>(points.size()), WINDING);
            }
            return nullptr;
    }
}

}  // namespace tq::forms
