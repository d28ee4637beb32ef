#include "headerwidget.h"
#include "identity.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QIcon>
#include <QListWidget>
#include <QVBoxLayout>
#include <QWidget>

// The second yardstick for start-up time: the selector's window with the
// same widgets, built the same way and holding 37 text items, but with no
// engine behind it: no FreeImage, no registry. What the selector takes
// beyond this is the engine's share.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    QIcon icon;
    icon.addFile(QStringLiteral(":/set16"), QSize(16, 16), QIcon::Normal, QIcon::Off);
    icon.addFile(QStringLiteral(":/set32"), QSize(32, 32), QIcon::Normal, QIcon::Off);
    window.setWindowIcon(icon);
    window.resize(400, 364);
    window.setWindowTitle(productName + QStringLiteral(" file type selector"));

    auto *layout = new QVBoxLayout(&window);
    layout->setSpacing(6);
    layout->setContentsMargins(15, 0, 15, -1);
    auto *header = new HeaderWidget(&window);
    header->setText(QStringLiteral("<b>FILE ASSOCIATIONS</b><br>Select which file types are "
                                   "opened with <b>") +
                    productName + QStringLiteral("</b> by default."));
    layout->addWidget(header);
    auto *selectAll = new QCheckBox(QStringLiteral("Select all"), &window);
    layout->addWidget(selectAll);

    auto *list = new QListWidget(&window);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setTextElideMode(Qt::ElideNone);
    list->setWrapping(true);
    list->setWordWrap(true);
    list->setSortingEnabled(true);
    // FreeImage 3.18's format names, as the selector lists them.
    const char *const names[] = {
        "BMP", "ICO", "JPEG",   "JNG",  "KOALA", "IFF",    "MNG",    "PBM",   "PBMRAW", "PCD",
        "PCX", "PGM", "PGMRAW", "PNG",  "PPM",   "PPMRAW", "RAS",    "TARGA", "TIFF",   "WBMP",
        "PSD", "CUT", "XBM",    "XPM",  "DDS",   "GIF",    "HDR",    "G3",    "SGI",    "EXR",
        "J2K", "JP2", "PFM",    "PICT", "RAW",   "WebP",   "JPEG-XR"};
    for (const char *name : names) {
        auto *item = new QListWidgetItem;
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        item->setData(Qt::CheckStateRole, int(Qt::Unchecked));
        item->setText(QLatin1String(name) + QLatin1Char('\t'));
        item->setToolTip(QLatin1String(name) + QLatin1String("<br>.") + QLatin1String(name));
        list->insertItem(list->count(), item);
    }
    layout->addWidget(list);

    auto *buttons =
        new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &window);
    layout->addWidget(buttons);
    list->setFocus(Qt::OtherFocusReason);

    window.setVisible(true);
    return app.exec();
}
