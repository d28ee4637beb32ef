#pragma once

#include <QBitArray>
#include <QVector>

// One format's extensions and which of them open with the viewer: bit j
// stands for the j-th extension in FreeImage's list for the format.
struct FormatSelection
{
    int fif;
    QBitArray selected;
};

// In increasing fif order, holding only the formats the viewer registered.
using SelectionList = QVector<FormatSelection>;
