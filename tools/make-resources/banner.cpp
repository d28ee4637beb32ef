#include "artwork.h"
#include "drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QTransform>

namespace artwork {

namespace {

// The banner's text lies over the logo, so its picture stays pale.
const Scenery paleWinter{QColor(0xbd, 0xdb, 0xf3), QColor(0xee, 0xf6, 0xfd),
                         QColor(0xff, 0xe0, 0x8f), QColor(0xc6, 0xd9, 0xeb),
                         QColor(0xa2, 0xbf, 0xdc), QColor(0xff, 0xff, 0xff)};

const Scenery paleDusk{QColor(0xd9, 0xd2, 0xee), QColor(0xf8, 0xec, 0xf1),
                       QColor(0xff, 0xd9, 0xb0), QColor(0xd7, 0xcf, 0xe6),
                       QColor(0xbc, 0xb6, 0xd8), QColor(0xff, 0xff, 0xff)};

const Scenery paleSpring{QColor(0xc4, 0xe6, 0xe6), QColor(0xf0, 0xf9, 0xf4),
                         QColor(0xff, 0xe9, 0xa6), QColor(0xc8, 0xe0, 0xd2),
                         QColor(0xa7, 0xcd, 0xbb), QColor(0xff, 0xff, 0xff)};

void paintCard(QPainter &p, QPointF centre, QSizeF size, qreal angle, const Scenery &scenery)
{
    const QRectF outer(-size.width() / 2, -size.height() / 2, size.width(), size.height());
    QTransform placement;
    placement.translate(centre.x(), centre.y());
    placement.rotate(angle);

    QPainterPath shape;
    shape.addRoundedRect(outer, 3, 3);
    paintShadow(p, placement.map(shape), QPointF(1.5, 3), 4, QColor(40, 70, 110, 55));

    p.save();
    p.setTransform(placement, true);
    p.setPen(QPen(QColor(0xc4, 0xd3, 0xe2), 1));
    p.setBrush(QColor(255, 255, 255, 240));
    p.drawRoundedRect(outer.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    const QRectF picture = outer.adjusted(6, 6, -6, -6);
    paintLandscape(p, picture, scenery, Detail::Full);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(picture.adjusted(0.5, 0.5, -0.5, -0.5));
    p.restore();
}

} // namespace

QImage headerLogo()
{
    const int w = 256;
    const int h = 139;
    QImage image = canvas(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QRadialGradient glow(QPointF(192, 70), 140);
    glow.setColorAt(0, QColor(205, 228, 247, 170));
    glow.setColorAt(0.55, QColor(220, 236, 250, 70));
    glow.setColorAt(1, QColor(220, 236, 250, 0));
    p.fillRect(image.rect(), glow);

    // Small flakes on the left keep the fade from ending in a hard edge.
    const struct
    {
        qreal x; // centre, across
        qreal y; // centre, down
        qreal r; // radius of the bright core; the glow reaches twice as far
    } flakes[] = {{62, 40, 2.2},   {84, 98, 1.6}, {98, 30, 1.4}, {46, 84, 1.3},
                  {118, 112, 1.8}, {30, 56, 1.0}, {74, 66, 1.1}, {128, 22, 1.2}};
    p.setPen(Qt::NoPen);
    for (const auto &f : flakes) {
        QRadialGradient flake(QPointF(f.x, f.y), f.r * 2);
        flake.setColorAt(0, QColor(255, 255, 255, 230));
        flake.setColorAt(0.45, QColor(230, 242, 252, 160));
        flake.setColorAt(1, QColor(230, 242, 252, 0));
        p.setBrush(flake);
        p.drawEllipse(QPointF(f.x, f.y), f.r * 2, f.r * 2);
    }

    paintCard(p, QPointF(130, 63), QSizeF(96, 72), -14, paleDusk);
    paintCard(p, QPointF(161, 70), QSizeF(100, 75), -4, paleSpring);
    paintCard(p, QPointF(194, 72), QSizeF(104, 78), 6, paleWinter);
    p.end();

    // Fade out to the left and a little at the top and bottom so that however
    // the banner cuts the logo there is no hard edge.
    QPainter mask(&image);
    mask.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QLinearGradient across(0, 0, w, 0);
    across.setColorAt(0, QColor(0, 0, 0, 0));
    across.setColorAt(0.22, QColor(0, 0, 0, 40));
    across.setColorAt(0.5, QColor(0, 0, 0, 170));
    across.setColorAt(0.66, QColor(0, 0, 0, 255));
    across.setColorAt(1, QColor(0, 0, 0, 255));
    mask.fillRect(image.rect(), across);
    QLinearGradient down(0, 0, 0, h);
    down.setColorAt(0, QColor(0, 0, 0, 0));
    down.setColorAt(0.1, QColor(0, 0, 0, 255));
    down.setColorAt(0.9, QColor(0, 0, 0, 255));
    down.setColorAt(1, QColor(0, 0, 0, 0));
    mask.fillRect(image.rect(), down);
    mask.end();
    return straight(image);
}

} // namespace artwork
