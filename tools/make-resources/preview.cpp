#include "preview.h"
#include "artwork.h"
#include "identity.h"

#include <QColor>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <cstdio>
#include <vector>

namespace artwork {

namespace {

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
               QStringLiteral("Choose the image file types that open with ") + registeredAppName +
                   QStringLiteral(" when you double-click them."));
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

} // namespace

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

} // namespace artwork
