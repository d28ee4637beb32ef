#include "artwork.h"
#include "drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

#include <vector>

namespace artwork {

namespace {

// As with the application icon, each size has a layout of its own.
struct DocLayout
{
    int size;
    // The sheet, border included, how far along its top and right edges the
    // corner folds over, and the width of its grey border.
    QRectF page;
    qreal fold, border;
    // The landscape on the sheet, outline included, and the width of its dark
    // edge; 0 for none.
    QRectF picture;
    qreal pictureOutline;
    int shadowBlur;            // blur radius of the sheet's shadow; 0 for none
    std::vector<QRectF> lines; // the grey bars that stand for text
};

// Columns: size; page, fold and border; picture and its outline; shadow
// blur; and on a line of their own the text bars.
// clang-format off
const DocLayout docLayouts[] = {
    {16,  {2, 0, 12, 16},     4, 1, {4, 6, 8, 8},       0, 0,
          {{4, 3, 5, 1}}},
    {32,  {5, 1, 22, 30},     8, 1, {8, 15, 16, 12},    1, 0,
          {{8, 6, 9, 1}, {8, 10, 16, 1}}},
    {48,  {7, 1, 34, 46},    11, 1, {11, 24, 26, 19},   1, 1,
          {{11, 7, 15, 2}, {11, 12, 26, 2}, {11, 17, 21, 2}}},
    {256, {38, 6, 180, 244}, 58, 3, {62, 128, 132, 98}, 3, 6,
          {{62, 40, 84, 10}, {62, 66, 132, 10}, {62, 92, 112, 10}}},
};
// clang-format on

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

} // namespace

QImage documentIcon(int size, const QColor &accent)
{
    const DocLayout &l = layoutAt(docLayouts, size);
    const Detail detail = iconDetail(size);
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
    if (detail == Detail::Tiny) {
        // Without an outline the picture needs a deeper sky to stand off the page.
        scenery.skyTop = mix(accent, Qt::white, 0.4);
        scenery.skyBottom = mix(accent, Qt::white, 0.72);
    }
    paintLandscape(p, l.picture.adjusted(o, o, -o, -o), scenery, detail);
    p.end();
    return straight(image);
}

} // namespace artwork
