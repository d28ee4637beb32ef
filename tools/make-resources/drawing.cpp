#include "drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>
#include <QtMath>

#include <vector>

namespace artwork {

namespace {

// 96 dpi, so that the files do not depend on the screen the tool ran on.
constexpr int dotsPerMeter = 3780;

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// Three box passes approximate a Gaussian closely enough for soft shadows.
QImage blurred(const QImage &source, int radius)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width();
    const int h = image.height();
    const int n = 2 * radius + 1;
    auto pass = [&](int count, int length, auto pixelAt) {
        std::vector<QRgb> line(length);
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[j] = *pixelAt(i, j);
            for (int j = 0; j < length; ++j) {
                int sum[4] = {0, 0, 0, 0};
                for (int k = j - radius; k <= j + radius; ++k) {
                    if (k < 0 || k >= length)
                        continue;
                    sum[0] += qAlpha(line[k]);
                    sum[1] += qRed(line[k]);
                    sum[2] += qGreen(line[k]);
                    sum[3] += qBlue(line[k]);
                }
                *pixelAt(i, j) = qRgba(sum[1] / n, sum[2] / n, sum[3] / n, sum[0] / n);
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) { return reinterpret_cast<QRgb *>(image.scanLine(y)) + x; });
        pass(w, h, [&](int x, int y) { return reinterpret_cast<QRgb *>(image.scanLine(y)) + x; });
    }
    return image;
}

QPolygonF snowCap(QPointF peak, QPointF leftFoot, QPointF rightFoot, qreal depth)
{
    const QPointF a = peak + (leftFoot - peak) * depth;
    const QPointF b = peak + (rightFoot - peak) * depth;
    // A ragged lower edge reads as snow rather than as a paler triangle.
    const QPointF up(0, -(b.y() - peak.y()) * 0.25);
    const QPointF down(0, (b.y() - peak.y()) * 0.2);
    // Polygons are built from a QVector: Qt 5's QPolygonF takes no initialiser list.
    return QPolygonF(QVector<QPointF>{peak, b, a + (b - a) * 0.75 + up, a + (b - a) * 0.55 + down,
                                      a + (b - a) * 0.3 + up, a});
}

// At 16 pixels the picture is a few pixels across: every vertex sits on the
// pixel grid and every slope is 45 degrees, so edges blend over one pixel
// instead of smearing across several.
void paintTinyLandscape(QPainter &p, const QRect &r, const Scenery &s)
{
    p.save();
    p.setClipRect(r, Qt::IntersectClip);
    p.setPen(Qt::NoPen);
    QLinearGradient sky(r.topLeft(), r.bottomLeft() + QPoint(0, 1));
    sky.setColorAt(0, s.skyTop);
    sky.setColorAt(1, s.skyBottom);
    p.fillRect(r, sky);

    const qreal left = r.left();
    const qreal bottom = r.top() + r.height();
    const qreal sunSize = r.height() >= 9 ? 3 : 2;
    p.setBrush(s.sun);
    // Slightly larger than the cell it fills so its corners do not fade into a cross.
    p.drawEllipse(QRectF(left + 1, r.top() + 1, sunSize, sunSize).adjusted(-0.2, -0.2, 0.2, 0.2));

    const qreal rise = r.height() - 3;
    auto mountain = [&](qreal peakX, qreal height) {
        return QPolygonF(QVector<QPointF>{QPointF(peakX - height - 1, bottom),
                                          QPointF(peakX, bottom - height),
                                          QPointF(peakX + height + 1, bottom)});
    };
    p.setBrush(s.farRidge);
    p.drawPolygon(mountain(left + qRound(r.width() * 0.82), rise - 2));
    const qreal peakX = left + qRound(r.width() * 0.4);
    p.setBrush(s.nearRidge);
    p.drawPolygon(mountain(peakX, rise));
    p.setBrush(s.snow);
    p.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(peakX, bottom - rise),
                                             QPointF(peakX + 1.5, bottom - rise + 1.5),
                                             QPointF(peakX - 1.5, bottom - rise + 1.5)}));
    p.restore();
}

} // namespace

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// PNG colour type 6 and the icon DIBs both want straight alpha.
QImage straight(const QImage &image)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    out.setDotsPerMeterX(dotsPerMeter);
    out.setDotsPerMeterY(dotsPerMeter);
    return out;
}

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(
        a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
        a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

Detail iconDetail(int size)
{
    switch (size) {
    case 16:
        return Detail::Tiny;
    case 32:
    case 48:
        return Detail::Small;
    default:
        return Detail::Full;
    }
}

void paintShadow(QPainter &p, const QPainterPath &shape, QPointF offset, int radius,
                 const QColor &colour)
{
    QImage layer = canvas(p.device()->width(), p.device()->height());
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setPen(Qt::NoPen);
        lp.setBrush(colour);
        lp.drawPath(shape.translated(offset));
    }
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, radius > 0 ? blurred(layer, radius) : layer);
    p.restore();
}

void paintLandscape(QPainter &p, const QRectF &r, const Scenery &s, Detail detail)
{
    if (detail == Detail::Tiny) {
        paintTinyLandscape(p, r.toRect(), s);
        return;
    }
    p.save();
    p.setClipRect(r, Qt::IntersectClip);
    p.setPen(Qt::NoPen);
    auto at = [&](qreal x, qreal y) {
        return QPointF(r.left() + x * r.width(), r.top() + y * r.height());
    };

    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, s.skyTop);
    sky.setColorAt(1, s.skyBottom);
    p.fillRect(r, sky);

    const QPointF sunCentre = at(0.26, 0.3);
    const qreal sunRadius = qMax<qreal>(1.1, 0.13 * r.height());
    if (detail == Detail::Full) {
        QRadialGradient glow(sunCentre, sunRadius * 3);
        glow.setColorAt(0, withAlpha(s.sun, 150));
        glow.setColorAt(1, withAlpha(s.sun, 0));
        p.setBrush(glow);
        p.drawEllipse(sunCentre, sunRadius * 3, sunRadius * 3);
    }
    p.setBrush(s.sun);
    p.drawEllipse(sunCentre, sunRadius, sunRadius);

    const QPointF farPeak = at(0.5, 0.34);
    const QPolygonF farOutline(QVector<QPointF>{at(-0.02, 0.72), at(0.16, 0.53), at(0.3, 0.63),
                                                farPeak, at(0.72, 0.6), at(0.86, 0.47),
                                                at(1.02, 0.6), at(1.02, 1.02), at(-0.02, 1.02)});
    p.setBrush(s.farRidge);
    p.drawPolygon(farOutline);
    p.setBrush(mix(s.snow, s.farRidge, 0.15));
    p.drawPolygon(snowCap(farPeak, at(0.3, 0.63), at(0.72, 0.6), 0.36));

    const QPointF nearPeak = at(0.62, 0.52);
    const QPolygonF nearOutline(QVector<QPointF>{at(-0.02, 0.9), at(0.2, 0.68), nearPeak,
                                                 at(0.84, 0.8), at(0.93, 0.73), at(1.02, 0.78),
                                                 at(1.02, 1.02), at(-0.02, 1.02)});
    QLinearGradient nearFill(at(0, 0.5), at(0, 1));
    nearFill.setColorAt(0, s.nearRidge);
    nearFill.setColorAt(1, s.nearRidge.darker(112));
    p.setBrush(nearFill);
    p.drawPolygon(nearOutline);
    p.setBrush(s.snow);
    p.drawPolygon(snowCap(nearPeak, at(0.2, 0.68), at(0.84, 0.8), 0.3));
    p.restore();
}

} // namespace artwork
