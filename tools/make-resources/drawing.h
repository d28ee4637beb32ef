// The pieces every picture is built from: blank canvases, soft shadows and
// the mountain landscape that appears inside each photo and document.

#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <cstddef>

class QPainter;

namespace artwork {

// The colours of one landscape.
struct Scenery
{
    QColor skyTop;    // sky at the top edge of the picture
    QColor skyBottom; // sky at the bottom edge, behind the mountains
    QColor sun;       // the sun's disc, and its glow at full detail
    QColor farRidge;  // the mountains behind, and a tint on their snow
    QColor nearRidge; // the mountain in front, shaded darker towards its foot
    QColor snow;      // the caps on the peaks
};

// How much of the landscape there is room for: Tiny lays it out on whole
// pixels for 16-pixel icons, Full adds the sun's glow.
enum class Detail { Tiny, Small, Full };

// How much of the landscape an icon of this size has room for. The
// application and document icons step down alike, so they share the steps;
// a size without a step of its own is drawn in full.
Detail iconDetail(int size);

// The layout in the table for an icon of this size. The table ends with the
// full-size layout, which serves any size without a row of its own.
template <typename Layout, std::size_t N>
const Layout &layoutAt(const Layout (&layouts)[N], int size)
{
    for (const Layout &layout : layouts)
        if (layout.size == size)
            return layout;
    return layouts[N - 1];
}

// A transparent premultiplied image to paint on.
QImage canvas(int width, int height);

// The image with straight alpha at 96 dpi, as the encoders take it.
QImage straight(const QImage &image);

// Blends a towards b by t, alpha included.
QColor mix(const QColor &a, const QColor &b, qreal t);

// Draws shape in colour, moved by offset and blurred by radius. The shape is
// in device coordinates: p's transform does not apply to it.
void paintShadow(QPainter &p, const QPainterPath &shape, QPointF offset, int radius,
                 const QColor &colour);

// Fills r with a landscape: sky, sun, and two mountain ridges with snow.
void paintLandscape(QPainter &p, const QRectF &r, const Scenery &s, Detail detail);

} // namespace artwork
