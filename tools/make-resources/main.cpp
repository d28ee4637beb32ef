// Draws every image in resources/ and writes the files there. The artwork is
// code so that it can be changed and regenerated rather than hand-edited.
//
//   QT_QPA_PLATFORM=offscreen make-resources [--preview DIR] RESOURCES_DIR

#include <QBuffer>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStringList>
#include <QtMath>

#include <cstdio>
#include <vector>

namespace {

// 96 dpi, so that the files do not depend on the screen the tool ran on.
constexpr int dotsPerMeter = 3780;

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

struct Scenery
{
    QColor skyTop;
    QColor skyBottom;
    QColor sun;
    QColor farRidge;
    QColor nearRidge;
    QColor snow;
};

enum class Detail { Tiny, Small, Full };

const Scenery winter{QColor(0x7d, 0xb9, 0xe8), QColor(0xd9, 0xee, 0xfb), QColor(0xff, 0xc9, 0x3c),
                     QColor(0x8f, 0xb3, 0xd6), QColor(0x4a, 0x7a, 0xad), QColor(0xff, 0xff, 0xff)};

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

// ---------------------------------------------------------------- banner logo

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
        qreal x, y, r;
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

// ------------------------------------------------------------ application icon

const QColor frameOutline(0x4f, 0x6c, 0x8c);
const QColor backOutline(0x7d, 0x95, 0xae);

// Each size is laid out on its own pixel grid: scaling one drawing down
// would blur the frame edges at 16 and 32 pixels.
struct AppLayout
{
    QRectF back; // the second photo behind; empty when there is no room
    qreal backAngle = 0;
    QRectF front;
    qreal outline = 1;
    qreal mat = 0;
    qreal radius = 1;
    QPointF badge;
    qreal badgeRadius = 0;
    qreal ring = 1;
    qreal checkWidth = 0;
    int shadowBlur = 0;
    Detail detail = Detail::Small;
};

AppLayout appLayout(int size)
{
    AppLayout l;
    switch (size) {
    case 16:
        l.front = QRectF(0, 2, 14, 11);
        l.badge = QPointF(11, 11);
        l.badgeRadius = 4;
        l.detail = Detail::Tiny;
        break;
    case 32:
        l.back = QRectF(8, 2, 23, 18);
        l.front = QRectF(1, 7, 25, 20);
        l.mat = 1;
        l.radius = 1.5;
        l.badge = QPointF(24, 24);
        l.badgeRadius = 6.5;
        l.ring = 1.5;
        l.checkWidth = 2.4;
        break;
    case 48:
        l.back = QRectF(13, 3, 33, 26);
        l.front = QRectF(2, 11, 37, 29);
        l.mat = 2;
        l.radius = 2;
        l.badge = QPointF(36.5, 36.5);
        l.badgeRadius = 9.5;
        l.ring = 1.5;
        l.checkWidth = 3.4;
        l.shadowBlur = 1;
        break;
    default:
        // Only at full size is there room for the back photo to lie askew.
        l.back = QRectF(58, 20, 184, 138);
        l.backAngle = 7;
        l.front = QRectF(10, 62, 198, 152);
        l.outline = 3;
        l.mat = 10;
        l.radius = 8;
        l.badge = QPointF(196, 196);
        l.badgeRadius = 50;
        l.ring = 9;
        l.checkWidth = 16;
        l.shadowBlur = 5;
        l.detail = Detail::Full;
        break;
    }
    return l;
}

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
    int dy, fromDx, toDx;
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

QImage appIcon(int size)
{
    const AppLayout l = appLayout(size);
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
        paintPhoto(p, local, l.outline, l.mat, l.radius, backOutline, behind, l.detail);
        p.restore();
    }

    if (l.shadowBlur > 0) {
        QPainterPath shape;
        shape.addRoundedRect(l.front, l.radius, l.radius);
        paintShadow(p, shape, QPointF(0, l.shadowBlur * 0.6), l.shadowBlur, QColor(20, 40, 70, 90));
    }
    paintPhoto(p, l.front, l.outline, l.mat, l.radius, frameOutline, winter, l.detail);
    paintCheckBadge(p, l.badge, l.badgeRadius, l.ring, l.checkWidth);
    p.end();
    return straight(image);
}

// ------------------------------------------------------------- document icons

struct DocLayout
{
    QRectF page;
    qreal fold = 0;
    qreal border = 1;
    QRectF picture;
    qreal pictureOutline = 1;
    std::vector<QRectF> lines;
    int shadowBlur = 0;
    Detail detail = Detail::Small;
};

DocLayout docLayout(int size)
{
    DocLayout l;
    switch (size) {
    case 16:
        l.page = QRectF(2, 0, 12, 16);
        l.fold = 4;
        l.picture = QRectF(4, 6, 8, 8);
        l.pictureOutline = 0;
        l.lines = {QRectF(4, 3, 5, 1)};
        l.detail = Detail::Tiny;
        break;
    case 32:
        l.page = QRectF(5, 1, 22, 30);
        l.fold = 8;
        l.picture = QRectF(8, 15, 16, 12);
        l.lines = {QRectF(8, 6, 9, 1), QRectF(8, 10, 16, 1)};
        break;
    case 48:
        l.page = QRectF(7, 1, 34, 46);
        l.fold = 11;
        l.picture = QRectF(11, 24, 26, 19);
        l.lines = {QRectF(11, 7, 15, 2), QRectF(11, 12, 26, 2), QRectF(11, 17, 21, 2)};
        l.shadowBlur = 1;
        break;
    default:
        l.page = QRectF(38, 6, 180, 244);
        l.fold = 58;
        l.border = 3;
        l.picture = QRectF(62, 128, 132, 98);
        l.pictureOutline = 3;
        l.lines = {QRectF(62, 40, 84, 10), QRectF(62, 66, 132, 10), QRectF(62, 92, 112, 10)};
        l.shadowBlur = 6;
        l.detail = Detail::Full;
        break;
    }
    return l;
}

// The page outline with its top-right corner cut off, shrunk by inset on
// every side (the cut edge moves inwards along its own normal).
QPolygonF pageOutline(const QRectF &r, qreal fold, qreal inset)
{
    const qreal s = inset * M_SQRT2;
    return QPolygonF(QVector<QPointF>{QPointF(r.left() + inset, r.top() + inset),
                                      QPointF(r.right() - fold + inset - s, r.top() + inset),
                                      QPointF(r.right() - inset, r.top() + fold - inset + s),
                                      QPointF(r.right() - inset, r.bottom() - inset),
                                      QPointF(r.left() + inset, r.bottom() - inset)});
}

// The folded-over flap, a right triangle whose right angle points into the page.
QPolygonF flapOutline(const QRectF &r, qreal fold, qreal inset)
{
    const qreal s = inset * M_SQRT2;
    const qreal x = r.right() - fold;
    const qreal y = r.top() + fold;
    return QPolygonF(QVector<QPointF>{QPointF(x + inset, r.top() + inset + s),
                                      QPointF(x + inset, y - inset),
                                      QPointF(r.right() - inset - s, y - inset)});
}

Scenery groupScenery(const QColor &c)
{
    return {mix(c, Qt::white, 0.55),
            mix(c, Qt::white, 0.88),
            QColor(0xff, 0xd0, 0x4a),
            mix(c, Qt::white, 0.3),
            c,
            QColor(0xff, 0xff, 0xff)};
}

QImage documentIcon(int size, const QColor &accent)
{
    const DocLayout l = docLayout(size);
    const QColor border(0x7f, 0x8c, 0x9b);
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    if (l.shadowBlur > 0) {
        QPainterPath shape;
        shape.addPolygon(pageOutline(l.page, l.fold, 0));
        paintShadow(p, shape, QPointF(0, l.shadowBlur * 0.5), l.shadowBlur, QColor(20, 30, 50, 80));
    }

    p.setBrush(border);
    p.drawPolygon(pageOutline(l.page, l.fold, 0));
    QLinearGradient paper(l.page.topLeft(), l.page.bottomRight());
    paper.setColorAt(0, QColor(0xff, 0xff, 0xff));
    paper.setColorAt(1, QColor(0xec, 0xf0, 0xf5));
    p.setBrush(paper);
    p.drawPolygon(pageOutline(l.page, l.fold, l.border));

    p.setBrush(border);
    p.drawPolygon(flapOutline(l.page, l.fold, 0));
    const QPointF flapCorner(l.page.right() - l.fold, l.page.top() + l.fold);
    QLinearGradient flap(flapCorner, flapCorner + QPointF(l.fold, -l.fold) * 0.5);
    flap.setColorAt(0, mix(accent, Qt::white, 0.35));
    flap.setColorAt(1, mix(accent, Qt::white, 0.75));
    p.setBrush(flap);
    p.drawPolygon(flapOutline(l.page, l.fold, l.border));

    p.setBrush(QColor(0xc9, 0xd1, 0xdb));
    for (const QRectF &line : l.lines)
        p.drawRoundedRect(line, line.height() / 2, line.height() / 2);

    if (l.pictureOutline > 0) {
        p.setBrush(accent.darker(125));
        p.drawRect(l.picture);
    }
    const qreal o = l.pictureOutline;
    Scenery scenery = groupScenery(accent);
    if (l.detail == Detail::Tiny) {
        // Without an outline the picture needs a deeper sky to stand off the page.
        scenery.skyTop = mix(accent, Qt::white, 0.4);
        scenery.skyBottom = mix(accent, Qt::white, 0.72);
    }
    paintLandscape(p, l.picture.adjusted(o, o, -o, -o), scenery, l.detail);
    p.end();
    return straight(image);
}

// One colour per file group so that the document icons can be told apart.
struct DocumentGroup
{
    int id;
    QColor accent;
};

const DocumentGroup documentGroups[] = {
    {200, QColor(0x2f, 0x74, 0xd0)}, {201, QColor(0x14, 0x96, 0x8c)},
    {203, QColor(0x3a, 0x9a, 0x3f)}, {214, QColor(0x86, 0x96, 0x1a)},
    {218, QColor(0xd4, 0x92, 0x0c)}, {219, QColor(0xe0, 0x66, 0x22)},
    {221, QColor(0xcf, 0x3d, 0x3a)}, {225, QColor(0xcc, 0x3c, 0x7c)},
    {226, QColor(0x8c, 0x4b, 0xc4)}, {227, QColor(0x4c, 0x58, 0xc8)},
    {230, QColor(0x5b, 0x76, 0x8c)}, {231, QColor(0x98, 0x66, 0x38)},
};

// ------------------------------------------------------------------ encoding

QByteArray pngData(const QImage &image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return data;
}

// Qt picks the PNG colour type from the image, so check that it kept RGBA.
bool isRgba8Png(const QByteArray &png, int width, int height)
{
    if (png.size() < 33 || !png.startsWith("\x89PNG\r\n\x1a\n") || png.mid(12, 4) != "IHDR")
        return false;
    auto be32 = [&](int at) {
        return quint32(quint8(png[at])) << 24 | quint32(quint8(png[at + 1])) << 16 |
               quint32(quint8(png[at + 2])) << 8 | quint32(quint8(png[at + 3]));
    };
    return be32(16) == quint32(width) && be32(20) == quint32(height) && png[24] == 8 &&
           png[25] == 6;
}

// A classic icon DIB: the header counts the colour and mask bitmaps together
// in biHeight, the rows run bottom-up, and the 1-bpp mask marks transparency
// for the programs that ignore the alpha channel.
QByteArray dibData(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int maskStride = (w + 31) / 32 * 4;
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(32) << quint32(0)
        << quint32(w * h * 4 + maskStride * h) << qint32(0) << qint32(0) << quint32(0)
        << quint32(0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            out << quint8(qBlue(row[x])) << quint8(qGreen(row[x])) << quint8(qRed(row[x]))
                << quint8(qAlpha(row[x]));
    }
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray bits(maskStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(row[x]) == 0)
                bits[x / 8] = char(quint8(bits[x / 8]) | (0x80 >> (x % 8)));
        }
        out.writeRawData(bits.constData(), bits.size());
    }
    return data;
}

// As a DIB the 256-pixel image would take a quarter of a megabyte, so it is
// PNG; the smaller ones stay DIBs, which readers older than PNG-in-ICO
// (Windows XP's shell among them) still draw.
QByteArray icoData(const std::vector<QImage> &images, QString *error)
{
    std::vector<QByteArray> blobs;
    for (const QImage &image : images) {
        if (image.width() == 256) {
            blobs.push_back(pngData(image));
            if (!isRgba8Png(blobs.back(), 256, 256)) {
                *error = QStringLiteral("the 256-pixel image did not encode as RGBA PNG");
                return {};
            }
        } else {
            blobs.push_back(dibData(image));
        }
    }
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * quint32(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int w = images[i].width();
        const int h = images[i].height();
        out << quint8(w >= 256 ? 0 : w) << quint8(h >= 256 ? 0 : h) << quint8(0) << quint8(0)
            << quint16(1) << quint16(32) << quint32(blobs[i].size()) << offset;
        offset += quint32(blobs[i].size());
    }
    for (const QByteArray &blob : blobs)
        out.writeRawData(blob.constData(), blob.size());
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        std::fprintf(stderr, "make-resources: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writePng(const QString &path, const QImage &image)
{
    const QByteArray png = pngData(image);
    if (!isRgba8Png(png, image.width(), image.height())) {
        std::fprintf(stderr, "make-resources: %s did not encode as RGBA PNG\n", qPrintable(path));
        return false;
    }
    return writeFile(path, png);
}

bool writeIco(const QString &path, const std::vector<QImage> &images)
{
    QString error;
    const QByteArray ico = icoData(images, &error);
    if (ico.isEmpty()) {
        std::fprintf(stderr, "make-resources: %s: %s\n", qPrintable(path), qPrintable(error));
        return false;
    }
    return writeFile(path, ico);
}

const int iconSizes[] = {256, 48, 32, 16};

// ------------------------------------------------------------------- preview

// Qt's own ICO reader decodes the files, so the sheet shows what another
// program makes of them rather than the images before encoding.
std::vector<QImage> readIco(const QString &path)
{
    QImageReader reader(path, "ico");
    std::vector<QImage> images;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            break;
        images.push_back(reader.read());
    }
    return images;
}

void paintBanner(QPainter &p, const QRect &banner, const QImage &logo)
{
    p.fillRect(banner, QColor(0xef, 0xef, 0xef));
    p.save();
    p.setClipRect(banner);
    p.setOpacity(0.75);
    p.drawImage(banner.topLeft() +
                    QPoint(banner.width() - logo.width(), banner.height() / 2 - logo.height() / 2),
                logo);
    p.setOpacity(1);
    const QRect text = banner.adjusted(10, 10, -10, -10);
    QFont bold(QStringLiteral("DejaVu Sans"), 9, QFont::Bold);
    QFont normal(QStringLiteral("DejaVu Sans"), 9);
    p.setPen(QColor(0x1e, 0x1e, 0x1e));
    p.setFont(bold);
    QRect used;
    p.drawText(text, Qt::TextWordWrap, QStringLiteral("FILE ASSOCIATIONS"), &used);
    p.setFont(normal);
    p.drawText(text.adjusted(0, used.height() + 2, 0, 0), Qt::TextWordWrap,
               QStringLiteral("Choose the image file types that open with Talvimor Image "
                              "Viewer when you double-click them."));
    p.restore();
    p.setPen(QColor(0xb0, 0xb0, 0xb0));
    p.drawRect(banner.adjusted(0, 0, -1, -1));
}

void paintChecker(QPainter &p, const QRect &r)
{
    for (int y = r.top(); y < r.bottom(); y += 8)
        for (int x = r.left(); x < r.right(); x += 8)
            p.fillRect(QRect(x, y, 8, 8).intersected(r),
                       ((x - r.left()) / 8 + (y - r.top()) / 8) % 2 ? QColor(0xcc, 0xcc, 0xcc)
                                                                    : QColor(0xf4, 0xf4, 0xf4));
}

// Draws enlarged without smoothing, so that single pixels stay visible.
void drawZoomed(QPainter &p, QPoint at, const QImage &image, int zoom)
{
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(at, image.size() * zoom), image);
    p.restore();
}

bool writePreview(const QString &dir, const QString &resources)
{
    const QDir out(dir);
    const QDir res(resources);
    const QImage logo(res.filePath(QStringLiteral("headerLogo.png")));
    const QImage set16(res.filePath(QStringLiteral("set16.png")));
    const QImage set32(res.filePath(QStringLiteral("set32.png")));

    QImage banners(1000, 700, QImage::Format_ARGB32_Premultiplied);
    banners.fill(Qt::white);
    {
        QPainter p(&banners);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        paintBanner(p, QRect(20, 20, 700, 62), logo);
        paintBanner(p, QRect(20, 100, 460, 80), logo);
        paintBanner(p, QRect(500, 100, 220, 110), logo);
        paintBanner(p, QRect(20, 230, 520, 170), logo);
        paintChecker(p, QRect(560, 230, 256, 139));
        p.drawImage(560, 230, logo);
        p.fillRect(QRect(20, 420, 512, 278), QColor(0xef, 0xef, 0xef));
        p.drawImage(QRect(20, 420, 512, 278), logo);
        p.fillRect(QRect(560, 420, 256, 139), QColor(0x40, 0x40, 0x40));
        p.drawImage(560, 420, logo);
    }

    QImage icons(1000, 580, QImage::Format_ARGB32_Premultiplied);
    icons.fill(Qt::white);
    {
        QPainter p(&icons);
        const std::vector<QImage> app = readIco(res.filePath(QStringLiteral("app.ico")));
        for (int band = 0; band < 2; ++band) {
            const int top = band * 290;
            p.fillRect(QRect(0, top, 1000, 290),
                       band == 0 ? QColor(0xef, 0xef, 0xef) : QColor(0x20, 0x20, 0x24));
            if (app.size() != 4)
                continue;
            p.drawImage(10, top + 17, app[0]);
            p.drawImage(290, top + 10, app[1]);
            p.drawImage(350, top + 10, app[2]);
            p.drawImage(395, top + 10, app[3]);
            p.drawImage(440, top + 10, set32);
            p.drawImage(485, top + 10, set16);
            drawZoomed(p, QPoint(290, top + 80), app[1], 4);
            drawZoomed(p, QPoint(500, top + 80), app[2], 6);
            drawZoomed(p, QPoint(710, top + 80), app[3], 12);
        }
    }

    QImage documents(1000, 820, QImage::Format_ARGB32_Premultiplied);
    documents.fill(Qt::white);
    {
        QPainter p(&documents);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        for (int band = 0; band < 2; ++band) {
            const int top = band * 410;
            p.fillRect(QRect(0, top, 1000, 410),
                       band == 0 ? QColor(0xef, 0xef, 0xef) : QColor(0x20, 0x20, 0x24));
            int i = 0;
            for (const DocumentGroup &group : documentGroups) {
                const std::vector<QImage> doc =
                    readIco(res.filePath(QStringLiteral("doc%1.ico").arg(group.id)));
                if (doc.size() != 4)
                    continue;
                const int x = 10 + i * 82;
                p.drawImage(QRect(x, top + 10, 76, 76), doc[0]);
                p.drawImage(x + 14, top + 96, doc[1]);
                p.drawImage(x + 22, top + 154, doc[2]);
                p.drawImage(x + 30, top + 196, doc[3]);
                if (i % 6 == 0) {
                    const int zx = 10 + (i / 6) * 490;
                    drawZoomed(p, QPoint(zx, top + 230), doc[1], 3);
                    drawZoomed(p, QPoint(zx + 160, top + 230), doc[2], 4);
                    drawZoomed(p, QPoint(zx + 304, top + 230), doc[3], 6);
                }
                ++i;
            }
        }
    }

    // Every 16- and 32-pixel image side by side, enlarged to whole pixels.
    QImage small(980, 570, QImage::Format_ARGB32_Premultiplied);
    small.fill(QColor(0xef, 0xef, 0xef));
    {
        QPainter p(&small);
        std::vector<std::vector<QImage>> all{readIco(res.filePath(QStringLiteral("app.ico")))};
        for (const DocumentGroup &group : documentGroups)
            all.push_back(readIco(res.filePath(QStringLiteral("doc%1.ico").arg(group.id))));
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].size() != 4)
                continue;
            const int column = int(i % 7);
            const int row = int(i / 7);
            drawZoomed(p, QPoint(10 + column * 138, 10 + row * 138), all[i][3], 8);
            drawZoomed(p, QPoint(10 + column * 138, 290 + row * 138), all[i][2], 4);
        }
        drawZoomed(p, QPoint(10 + 6 * 138, 10 + 138), set16, 8);
        drawZoomed(p, QPoint(10 + 6 * 138, 290 + 138), set32, 4);
    }

    bool ok = true;
    ok = small.save(out.filePath(QStringLiteral("small.png"))) && ok;
    ok = banners.save(out.filePath(QStringLiteral("banner.png"))) && ok;
    ok = icons.save(out.filePath(QStringLiteral("icons.png"))) && ok;
    ok = documents.save(out.filePath(QStringLiteral("documents.png"))) && ok;
    if (!ok)
        std::fprintf(stderr, "make-resources: cannot write the preview in %s\n", qPrintable(dir));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = QGuiApplication::arguments().mid(1);
    QString previewDir;
    if (args.size() >= 2 && args.first() == QLatin1String("--preview")) {
        previewDir = args.at(1);
        args = args.mid(2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: make-resources [--preview DIR] RESOURCES_DIR\n");
        return 2;
    }
    const QDir dir(args.first());
    if (!dir.exists()) {
        std::fprintf(stderr, "make-resources: no directory %s\n", qPrintable(args.first()));
        return 1;
    }

    bool ok = writePng(dir.filePath(QStringLiteral("headerLogo.png")), headerLogo());
    ok = writePng(dir.filePath(QStringLiteral("set16.png")), appIcon(16)) && ok;
    ok = writePng(dir.filePath(QStringLiteral("set32.png")), appIcon(32)) && ok;

    std::vector<QImage> app_images;
    for (int size : iconSizes)
        app_images.push_back(appIcon(size));
    ok = writeIco(dir.filePath(QStringLiteral("app.ico")), app_images) && ok;

    for (const DocumentGroup &group : documentGroups) {
        std::vector<QImage> images;
        for (int size : iconSizes)
            images.push_back(documentIcon(size, group.accent));
        ok = writeIco(dir.filePath(QStringLiteral("doc%1.ico").arg(group.id)), images) && ok;
    }

    if (ok && !previewDir.isEmpty())
        ok = writePreview(previewDir, dir.path());
    return ok ? 0 : 1;
}
