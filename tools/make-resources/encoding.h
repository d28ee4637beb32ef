// Writing the pictures out: PNG files, and ICO files that hold one image per size.

#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace artwork {

// Writes image as an 8-bit RGBA PNG; says why on stderr and returns false when it cannot.
bool writePng(const QString &path, const QImage &image);

// Writes images, largest first, as one icon file; says why on stderr and
// returns false when it cannot.
bool writeIco(const QString &path, const std::vector<QImage> &images);

} // namespace artwork
