// The finished pictures, each drawn from nothing at the size asked for.

#pragma once

#include <QColor>
#include <QImage>

namespace artwork {

// The logo that lies under the text of the header banner; banner.cpp.
QImage headerLogo();

// The application icon at size x size pixels; appicon.cpp.
QImage appIcon(int size);

// A document icon at size x size pixels in one group's colour; documenticons.cpp.
QImage documentIcon(int size, const QColor &accent);

// One colour per file group so that the document icons can be told apart.
struct DocumentGroup
{
    int id;        // the icon's resource id, and the number in its file name
    QColor accent; // the colour of its flap and picture
};

inline const DocumentGroup documentGroups[] = {
    {200, QColor(0x2f, 0x74, 0xd0)}, {201, QColor(0x14, 0x96, 0x8c)},
    {203, QColor(0x3a, 0x9a, 0x3f)}, {214, QColor(0x86, 0x96, 0x1a)},
    {218, QColor(0xd4, 0x92, 0x0c)}, {219, QColor(0xe0, 0x66, 0x22)},
    {221, QColor(0xcf, 0x3d, 0x3a)}, {225, QColor(0xcc, 0x3c, 0x7c)},
    {226, QColor(0x8c, 0x4b, 0xc4)}, {227, QColor(0x4c, 0x58, 0xc8)},
    {230, QColor(0x5b, 0x76, 0x8c)}, {231, QColor(0x98, 0x66, 0x38)},
};

} // namespace artwork
