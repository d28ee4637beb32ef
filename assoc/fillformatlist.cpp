#include "formatcatalogue.h"
#include "formatlist.h"
#include "registrylayout.h"
#include "registrysettings.h"

#include <QListWidget>

namespace {

// The tool tip lists the library's raw extension string, not the split one,
// so that an odd list shows as the library gives it.
QString toolTipOf(int fif)
{
    QString extensions = QLatin1Char('.') + extensionListString(fif);
    extensions.replace(QLatin1Char(','), QLatin1String(", ."));
    return formatDescription(fif) + QLatin1String("<br>") + extensions;
}

} // namespace

bool fillFormatList(QListWidget *list, SelectionList *selection)
{
    // One consistent registry for the whole list, read under one lock.
    const RegistrySnapshot snapshot;
    const RegistrySettings mergedClasses(mergedClassesPath);
    const RegistrySettings userFileExts(userFileExtsPath);
    if (selection)
        selection->reserve(selection->size() + formatCount());

    const auto opensWithItsFormat = [&](int fif, const QString &extension) -> std::optional<bool> {
        const std::optional<QString> key = extensionKeyIfSafe(extension);
        // The applier never writes it, so it counts neither way.
        if (!key)
            return std::nullopt;
        return currentProgIdOf(userFileExts, mergedClasses, *key) == progIdOf(fif);
    };
    return walkRegisteredFormats(opensWithItsFormat, [&](int fif, const QBitArray &bits, bool all) {
        auto *item = new QListWidgetItem();
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        item->setText(formatName(fif) + QLatin1Char('\t'));
        item->setToolTip(toolTipOf(fif));
        const Qt::CheckState state = bits.count(true) == 0 ? Qt::Unchecked
                                     : all                 ? Qt::Checked
                                                           : Qt::PartiallyChecked;
        item->setData(Qt::CheckStateRole, int(state));
        item->setData(FormatIdRole, fif);
        list->insertItem(list->count(), item);
        if (selection)
            selection->append(FormatSelection{fif, bits});
    });
}

bool readFormatList(QListWidget *list, SelectionList *selection, bool *allAssociated)
{
    // Nested around fillFormatList's own, so that it sees all it read.
    const RegistrySnapshot snapshot;
    const bool all = fillFormatList(list, selection);
    if (!snapshot.isComplete()) {
        list->clear();
        if (selection)
            selection->clear();
        return false;
    }
    if (allAssociated)
        *allAssociated = all;
    return true;
}
