// The pieces every picture is built from: blank canvases, soft shadows and
// the mountain landscape that appears inside each photo and document.

#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

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
