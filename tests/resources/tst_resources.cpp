// Checks the generated files in resources/ byte by byte: Windows reads the
// icons itself and rejects, or silently misdraws, anything slightly off.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QRegularExpression>
#include <QResource>
#include <QtEndian>
#include <QtTest>
#include <QXmlStreamReader>

namespace {

const QString resourcesDir = QStringLiteral(PELLVARIN_RESOURCES_DIR);
const int documentGroups[] = {200, 201, 203, 214, 218, 219, 221, 225, 226, 227, 230, 231};

// The images the program loads from its compiled resources, by file name.
const QMap<QString, QSize> images{{QStringLiteral("headerLogo.png"), QSize(256, 139)},
                                  {QStringLiteral("set16.png"), QSize(16, 16)},
                                  {QStringLiteral("set32.png"), QSize(32, 32)}};

// Every icon file by the id pellvarin.rc gives it.
QMap<int, QString> iconFiles()
{
    QMap<int, QString> files{{100, QStringLiteral("app.ico")}};
    for (int group : documentGroups)
        files.insert(group, QStringLiteral("doc%1.ico").arg(group));
    return files;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

quint16 le16(const QByteArray &d, qsizetype at)
{
    return qFromLittleEndian<quint16>(d.constData() + at);
}

quint32 le32(const QByteArray &d, qsizetype at)
{
    return qFromLittleEndian<quint32>(d.constData() + at);
}

quint32 be32(const QByteArray &d, qsizetype at)
{
    return qFromBigEndian<quint32>(d.constData() + at);
}

struct PngHeader
{
    quint32 width = 0;
    quint32 height = 0;
    int bitDepth = -1;
    int colourType = -1;
};

// The first chunk of a PNG must be IHDR; a file that is not a PNG at all
// comes back with a bit depth of -1.
PngHeader pngHeader(const QByteArray &png)
{
    PngHeader h;
    if (png.size() < 33 || !png.startsWith("\x89PNG\r\n\x1a\n") || png.mid(12, 4) != "IHDR")
        return h;
    h.width = be32(png, 16);
    h.height = be32(png, 20);
    h.bitDepth = quint8(png[24]);
    h.colourType = quint8(png[25]);
    return h;
}

// Decodes a 32-bpp icon DIB on its own terms: rows bottom-up, bytes B, G, R, A.
QImage decodeDib(const QByteArray &dib, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    for (int row = 0; row < size; ++row) {
        const char *src = dib.constData() + 40 + qsizetype(row) * size * 4;
        QRgb *dst = reinterpret_cast<QRgb *>(image.scanLine(size - 1 - row));
        for (int x = 0; x < size; ++x)
            dst[x] = qRgba(quint8(src[4 * x + 2]), quint8(src[4 * x + 1]), quint8(src[4 * x]),
                           quint8(src[4 * x + 3]));
    }
    return image;
}

// A drawing that failed leaves a transparent image; every picture here
// covers at least a fifth of its area.
bool isMostlyBlank(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    qsizetype covered = 0;
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            covered += qAlpha(row[x]) > 0;
    }
    return covered * 5 < qsizetype(argb.width()) * argb.height();
}

// Sum of channel differences on premultiplied pixels, so that the colour
// hidden under a transparent pixel does not count.
qint64 distance(const QImage &a, const QImage &b)
{
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    qint64 sum = 0;
    for (int y = 0; y < pa.height(); ++y) {
        const QRgb *ra = reinterpret_cast<const QRgb *>(pa.constScanLine(y));
        const QRgb *rb = reinterpret_cast<const QRgb *>(pb.constScanLine(y));
        for (int x = 0; x < pa.width(); ++x)
            sum += qAbs(qRed(ra[x]) - qRed(rb[x])) + qAbs(qGreen(ra[x]) - qGreen(rb[x])) +
                   qAbs(qBlue(ra[x]) - qBlue(rb[x])) + qAbs(qAlpha(ra[x]) - qAlpha(rb[x]));
    }
    return sum;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void icon_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString &file : iconFiles())
            QTest::newRow(qPrintable(file)) << file;
    }

    void icon()
    {
        QFETCH(QString, file);
        const QString path = QDir(resourcesDir).filePath(file);
        const QByteArray ico = readAll(path);
        QVERIFY2(ico.size() > 6 + 4 * 16, qPrintable(path));

        QCOMPARE(le16(ico, 0), quint16(0));
        QCOMPARE(le16(ico, 2), quint16(1));
        QCOMPARE(le16(ico, 4), quint16(4));

        const int sizes[] = {256, 48, 32, 16};
        quint32 expectedOffset = 6 + 4 * 16;
        std::vector<QByteArray> blobs;
        for (int i = 0; i < 4; ++i) {
            const qsizetype e = 6 + 16 * i;
            const int size = sizes[i];
            // A byte holds at most 255, so 256 is written as 0.
            QCOMPARE(int(quint8(ico.at(e))), size % 256);
            QCOMPARE(int(quint8(ico.at(e + 1))), size % 256);
            QCOMPARE(int(quint8(ico.at(e + 2))), 0);
            QCOMPARE(int(quint8(ico.at(e + 3))), 0);
            QCOMPARE(le16(ico, e + 4), quint16(1));
            QCOMPARE(le16(ico, e + 6), quint16(32));
            const quint32 bytes = le32(ico, e + 8);
            const quint32 offset = le32(ico, e + 12);
            // Packed one after another, nothing overlapping, nothing past the end.
            QCOMPARE(offset, expectedOffset);
            QVERIFY(quint64(offset) + bytes <= quint64(ico.size()));
            expectedOffset = offset + bytes;
            blobs.push_back(ico.mid(offset, bytes));
        }
        QCOMPARE(qsizetype(expectedOffset), ico.size());

        const PngHeader png = pngHeader(blobs[0]);
        QCOMPARE(png.width, 256u);
        QCOMPARE(png.height, 256u);
        QCOMPARE(png.bitDepth, 8);
        QCOMPARE(png.colourType, 6);
        const QImage large = QImage::fromData(blobs[0], "PNG");
        QCOMPARE(large.size(), QSize(256, 256));
        QVERIFY(!isMostlyBlank(large));

        std::vector<QImage> decoded{large};
        for (int i = 1; i < 4; ++i) {
            const QByteArray &dib = blobs[i];
            const int size = sizes[i];
            const int maskStride = (size + 31) / 32 * 4;
            QCOMPARE(dib.size(), qsizetype(40 + size * size * 4 + maskStride * size));
            QCOMPARE(le32(dib, 0), 40u);
            QCOMPARE(qint32(le32(dib, 4)), size);
            QCOMPARE(qint32(le32(dib, 8)), 2 * size); // colour bitmap and mask together
            QCOMPARE(le16(dib, 12), quint16(1));
            QCOMPARE(le16(dib, 14), quint16(32));
            QCOMPARE(le32(dib, 16), 0u); // BI_RGB

            const QImage image = decodeDib(dib, size);
            QVERIFY(!isMostlyBlank(image));
            // The mask must agree with the alpha channel, or programs that draw
            // with the mask show a box around the icon or holes inside it.
            const char *mask = dib.constData() + 40 + size * size * 4;
            for (int row = 0; row < size; ++row) {
                const QRgb *pixels =
                    reinterpret_cast<const QRgb *>(image.constScanLine(size - 1 - row));
                for (int x = 0; x < size; ++x) {
                    const bool transparent =
                        quint8(mask[row * maskStride + x / 8]) & (0x80 >> (x % 8));
                    if (transparent != (qAlpha(pixels[x]) == 0))
                        QFAIL(qPrintable(QStringLiteral("%1 px: mask disagrees with alpha at %2,%3")
                                             .arg(size)
                                             .arg(x)
                                             .arg(size - 1 - row)));
                }
            }
            // Each size is drawn on its own, but it is the same picture as the PNG,
            // whose layout cannot be misread: a DIB written top-down or as RGBA
            // looks more like the PNG once flipped or swapped back.
            const QImage reference =
                large.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const qint64 asStored = distance(image, reference);
            QVERIFY2(asStored < distance(image.mirrored(false, true), reference),
                     qPrintable(QStringLiteral("%1 px rows look upside down").arg(size)));
            QVERIFY2(asStored < distance(image.rgbSwapped(), reference),
                     qPrintable(QStringLiteral("%1 px red and blue look swapped").arg(size)));
            decoded.push_back(image);
        }

        // A reader that does not share this test's reading of the format must
        // see the same pixels, or the header means something else than intended.
        // Qt's reader premultiplies the DIBs, and Qt's way back to straight alpha
        // rounds some pixels differently from one CPU to the next (its vector
        // code divides by an approximate reciprocal), so the two sides meet
        // premultiplied, where each pixel has one exact value.
        if (!QImageReader::supportedImageFormats().contains("ico"))
            QSKIP("Qt's ICO plugin is not installed");
        QImageReader reader(path, "ico");
        QCOMPARE(reader.imageCount(), 4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage theirs =
                reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QCOMPARE(theirs.size(), QSize(sizes[i], sizes[i]));
            const QImage ours =
                decoded[size_t(i)].convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY2(theirs == ours, qPrintable(QString::number(sizes[i])));
        }
    }

    void png_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        for (auto it = images.cbegin(); it != images.cend(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
    }

    // Each image on disk, then in the bundle the program links, as it
    // registered itself: stored as it is, in the resource format every Qt
    // since 4 reads. That format keeps no modification times, which later
    // ones add.
    void png()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        const QByteArray data = readAll(QDir(resourcesDir).filePath(file));
        const PngHeader h = pngHeader(data);
        QCOMPARE(QSize(int(h.width), int(h.height)), size);
        QCOMPARE(h.bitDepth, 8);
        QCOMPARE(h.colourType, 6); // RGBA
        const QImage image = QImage::fromData(data, "PNG");
        QCOMPARE(image.size(), size);
        QVERIFY(image.hasAlphaChannel());
        QVERIFY(!isMostlyBlank(image));

        const QResource resource(QLatin1String(":/") + file);
        QVERIFY(resource.isValid());
        // PNG data is compressed already; rcc's zlib on top only costs time.
        QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
        QVERIFY(!resource.lastModified().isValid());
        // The very bytes checked above: the same picture at the same size.
        QCOMPARE(readAll(resource.absoluteFilePath()), data);
    }

    // The images and nothing else, at the root: as resources.qrc lists them,
    // and as the bundle registered them. Qt's own libraries register theirs
    // in folders of their own.
    void qrcAndBundleHoldTheImagesAloneAtTheRoot()
    {
        QFile qrc(QDir(resourcesDir).filePath(QStringLiteral("resources.qrc")));
        QVERIFY(qrc.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&qrc);
        QStringList prefixes;
        QStringList files;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("qresource"))
                prefixes.append(xml.attributes().value(QLatin1String("prefix")).toString());
            else if (xml.name() == QLatin1String("file"))
                files.append(xml.readElementText());
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(prefixes, QStringList{QStringLiteral("/")});
        files.sort();
        QCOMPARE(files, images.keys());
        QCOMPARE(QDir(QStringLiteral(":/")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 images.keys());
    }

    void rcGivesEveryIconItsId()
    {
        const QByteArray rc = readAll(QDir(resourcesDir).filePath(QStringLiteral("pellvarin.rc")));
        QVERIFY(!rc.isEmpty());
        const QRegularExpression line(QStringLiteral("^\\s*(\\d+)\\s+ICON\\s+\"([^\"]+)\"\\s*$"),
                                      QRegularExpression::MultilineOption);
        QMap<int, QString> icons;
        auto it = line.globalMatch(QString::fromUtf8(rc));
        while (it.hasNext()) {
            const auto m = it.next();
            const int id = m.captured(1).toInt();
            QVERIFY2(!icons.contains(id), qPrintable(m.captured(0)));
            icons.insert(id, m.captured(2));
        }
        // A file of its own for each id, each of which icon() reads: two ids
        // on one file would make two file groups look alike.
        QCOMPARE(icons, iconFiles());
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
