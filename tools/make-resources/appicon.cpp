#include "artwork.h"
#include "drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

namespace artwork {

namespace {

const Scenery winter{QColor(0x7d, 0xb9, 0xe8), QColor(0xd9, 0xee, 0xfb), QColor(0xff, 0xc9, 0x3c),
                     QColor(0x8f, 0xb3, 0xd6), QColor(0x4a, 0x7a, 0xad), QColor(0xff, 0xff, 0xff)};

const QColor frameOutline(0x4f, 0x6c, 0x8c);
const QColor backOutline(0x7d, 0x95, 0xae);

// Each size is laid out on its own pixel grid: scaling one drawing down
// would blur the frame edges at 16 and 32 pixels.
struct AppLayout
{
    int size;
    // The second photo behind, empty when there is no room, and the degrees
    // it turns about its centre.
    QRectF back;
    qreal backAngle;
    QRectF front; // the photo in front, frame included
    // Width of each photo's dark frame, of the white paper between the frame
    // and the picture (0 for none), and the frame's corner radius.
    qreal outline, mat, radius;
    // Centre of the check badge, radius of its green disc, width of the white
    // ring around the disc, and pen width of the check; the 16-pixel badge
    // sets the check in pixels and leaves the pen width unused.
    QPointF badge;
    qreal badgeRadius, ring, checkWidth;
    int shadowBlur; // blur radius of the photos' shadows; 0 for none
};

// Columns: size; back photo and its turn; front photo; frame, mat and corner
// radius; badge centre, disc radius, ring and check width; shadow blur. Only
// at full size is there room for the back photo to lie askew.
// clang-format off
const AppLayout appLayouts[] = {
    {16,  {},                 0, {0, 2, 14, 11},     1,  0,   1, {11, 11},       4,   1,   0, 0},
    {32,  {8, 2, 23, 18},     0, {1, 7, 25, 20},     1,  1, 1.5, {24, 24},     6.5, 1.5, 2.4, 0},
    {48,  {13, 3, 33, 26},    0, {2, 11, 37, 29},    1,  2,   2, {36.5, 36.5}, 9.5, 1.5, 3.4, 1},
    {256, {58, 20, 184, 138}, 7, {10, 62, 198, 152}, 3, 10,   8, {196, 196},    50,   9,  16, 5},
};
// clang-format on

void paintPhoto(QPainter &p, const QRectF &outer, qreal outline, qreal mat, qreal radius,
                const QColor &outlineColour, const Scenery &scenery, Detail detail)
{
    p.setPen(Qt::NoPen);
    p.setBrush(outlineColour);
    p.drawRoundedRect(outer, radius, radius);
    const QRectF inner = outer.adjusted(outline, outline, -outline, -outline);
    const qreal innerRadius = qMax<qreal>(0, radius - outline);
    if (mat > 0) {
        QLinearGradient paper(inner.topLeft(), inner.bottomLeft());
        paper.setColorAt(0, QColor(0xff, 0xff, 0xff));
        paper.setColorAt(1, QColor(0xf0, 0xf4, 0xf8));
        p.setBrush(paper);
        p.drawRoundedRect(inner, innerRadius, innerRadius);
    }
    paintLandscape(p, inner.adjusted(mat, mat, -mat, -mat), scenery, detail);
}

// Rows of the check mark at 16 pixels, two pixels thick along both arms,
// relative to the badge's centre; drawn as whole pixels because a stroked
// check that small comes out as a grey blur.
const struct
{
    int dy;     // row, counted down from the centre
    int fromDx; // first white pixel of the row, counted right from the centre
    int toDx;   // last white pixel of the row, included
} tinyCheck[] = {{-2, 2, 2},  {-1, 1, 2}, {0, -3, -3}, {0, 0, 1},
                 {1, -3, -2}, {1, -1, 0}, {2, -2, -1}};

void paintCheckBadge(QPainter &p, QPointF c, qreal r, qreal ring, qreal checkWidth)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, r + ring, r + ring);
    QLinearGradient green(c - QPointF(0, r), c + QPointF(0, r));
    green.setColorAt(0, QColor(0x4c, 0xbb, 0x5e));
    green.setColorAt(1, QColor(0x24, 0x8a, 0x3d));
    p.setBrush(green);
    p.drawEllipse(c, r, r);
    if (r < 5) {
        const QPoint centre = c.toPoint();
        for (const auto &run : tinyCheck)
            p.fillRect(
                QRect(centre.x() + run.fromDx, centre.y() + run.dy, run.toDx - run.fromDx + 1, 1),
                Qt::white);
        return;
    }
    QPainterPath check;
    check.moveTo(c + QPointF(-0.5, 0.04) * r);
    check.lineTo(c + QPointF(-0.13, 0.4) * r);
    check.lineTo(c + QPointF(0.52, -0.32) * r);
    p.setPen(QPen(Qt::white, checkWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(check);
}

} // namespace

QImage appIcon(int size)
{
    const AppLayout &l = layoutAt(appLayouts, size);
    const Detail detail = iconDetail(size);
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    if (!l.back.isEmpty()) {
        const QPointF centre = l.back.center();
        QTransform placement;
        placement.translate(centre.x(), centre.y());
        placement.rotate(l.backAngle);
        const QRectF local = l.back.translated(-centre);
        if (l.shadowBlur > 0) {
            QPainterPath shape;
            shape.addRoundedRect(local, l.radius, l.radius);
            paintShadow(p, placement.map(shape), QPointF(0, l.shadowBlur * 0.6), l.shadowBlur,
                        QColor(20, 40, 70, 70));
        }
        p.save();
        p.setTransform(placement, true);
        Scenery behind = winter;
        behind.skyTop = QColor(0xe6, 0xb8, 0x9c);
        behind.skyBottom = QColor(0xfb, 0xe3, 0xc8);
        behind.farRidge = QColor(0xb7, 0x9f, 0xc4);
        behind.nearRidge = QColor(0x7d, 0x6d, 0xa6);
        behind.sun = QColor(0xff, 0xf4, 0xd6);
        paintPhoto(p, local, l.outline, l.mat, l.radius, backOutline, behind, detail);
        p.restore();
    }

    if (l.shadowBlur > 0) {
        QPainterPath shape;
        shape.addRoundedRect(l.front, l.radius, l.radius);
        paintShadow(p, shape, QPointF(0, l.shadowBlur * 0.6), l.shadowBlur, QColor(20, 40, 70, 90));
    }
    paintPhoto(p, l.front, l.outline, l.mat, l.radius, frameOutline, winter, detail);
    paintCheckBadge(p, l.badge, l.badgeRadius, l.ring, l.checkWidth);
    p.end();
    return straight(image);
}

} // namespace artwork
