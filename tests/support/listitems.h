#pragma once

// Format lists as the window leaves them, for the applier's suites.

#include "fifof.h"
#include "formatcatalogue.h"
#include "formatlist.h"
#include "registrylayout.h"

#include <QListWidget>

// One item per named format.
inline void addItem(QListWidget &list, const char *format, Qt::CheckState state)
{
    auto *item = new QListWidgetItem(QLatin1String(format));
    item->setData(Qt::CheckStateRole, int(state));
    item->setData(FormatIdRole, fifOf(format));
    list.addItem(item);
}

inline void setAll(QListWidget &list, Qt::CheckState state)
{
    for (int row = 0; row < list.count(); ++row)
        list.item(row)->setData(Qt::CheckStateRole, int(state));
}

// Everything checked but the formats whose only extension a later format
// takes anyway, so that checking twice is checking once. By each item's
// format: a window lists only the formats the viewer registered.
inline void checkAllOnce(QListWidget &list)
{
    const QList<int> lostToLater{fifOf("PBM"), fifOf("PGM"), fifOf("PPM")};
    for (int row = 0; row < list.count(); ++row) {
        QListWidgetItem *item = list.item(row);
        const bool lost = lostToLater.contains(item->data(FormatIdRole).toInt());
        item->setData(Qt::CheckStateRole, int(lost ? Qt::Unchecked : Qt::Checked));
    }
}

// "NAME=bits" per listed format, so that a mismatch names the format.
inline QStringList describe(const SelectionList &list)
{
    QStringList lines;
    for (const FormatSelection &s : list) {
        QString bits;
        for (int i = 0; i < s.selected.size(); ++i)
            bits += s.selected.testBit(i) ? QLatin1Char('1') : QLatin1Char('0');
        lines.append(formatName(s.fif) + QLatin1Char('=') + bits);
    }
    return lines;
}
