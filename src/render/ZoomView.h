// ZoomView: which part of a channel's picture its cell shows. A factor of
// 1 shows the whole picture; a factor f shows 1/f of its width and height,
// centred on a point given as fractions of the picture's width and height,
// so the view survives changes of cell size and picture size.
#pragma once

#include <algorithm>
#include <cmath>

#include "render/Stretch.h"

namespace zo::render {

struct ZoomView {
    static constexpr double kMinFactor = 1.0;
    static constexpr double kMaxFactor = 8.0;

    double factor = kMinFactor;
    double centreX = 0.5;
    double centreY = 0.5;

    bool IsZoomed() const { return factor > kMinFactor; }

    // The visible part of a widthPx x heightPx picture in whole picture
    // pixels: at least one pixel, always inside the picture.
    PixelRect SourceRect(int widthPx, int heightPx) const {
        if (!IsZoomed() || widthPx <= 0 || heightPx <= 0)
            return {0, 0, std::max(widthPx, 0), std::max(heightPx, 0)};
        const int w = std::clamp(static_cast<int>(std::lround(widthPx / factor)), 1, widthPx);
        const int h = std::clamp(static_cast<int>(std::lround(heightPx / factor)), 1, heightPx);
        const int left = std::clamp(static_cast<int>(std::lround(centreX * widthPx - w / 2.0)), 0, widthPx - w);
        const int top = std::clamp(static_cast<int>(std::lround(centreY * heightPx - h / 2.0)), 0, heightPx - h);
        return {left, top, left + w, top + h};
    }

    // Zooms to `newFactor` (clamped to 1..8) keeping the picture point at
    // fraction (fx, fy) of the cell where it is.
    void ZoomAround(double fx, double fy, double newFactor) {
        newFactor = std::clamp(newFactor, kMinFactor, kMaxFactor);
        // Near 1 the view is whole again (repeated wheel steps do not land
        // on 1 exactly).
        if (newFactor < kMinFactor + 1e-6) {
            *this = ZoomView{};
            return;
        }
        fx = std::clamp(fx, 0.0, 1.0);
        fy = std::clamp(fy, 0.0, 1.0);
        const double pointX = centreX - 0.5 / factor + fx / factor;
        const double pointY = centreY - 0.5 / factor + fy / factor;
        factor = newFactor;
        centreX = pointX - fx / factor + 0.5 / factor;
        centreY = pointY - fy / factor + 0.5 / factor;
        Clamp();
    }

    // Moves the picture by (dx, dy) cell fractions, as a hand dragging it:
    // the view moves the other way.
    void Pan(double dx, double dy) {
        if (!IsZoomed())
            return;
        centreX -= dx / factor;
        centreY -= dy / factor;
        Clamp();
    }

private:
    // Keeps the visible part inside the picture.
    void Clamp() {
        const double half = 0.5 / factor;
        centreX = std::clamp(centreX, half, 1.0 - half);
        centreY = std::clamp(centreY, half, 1.0 - half);
    }
};

}  // namespace zo::render
