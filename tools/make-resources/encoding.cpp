#include "encoding.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QFile>

#include <cstdio>

namespace artwork {

namespace {

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

} // namespace

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

} // namespace artwork
