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
    RegistrySettings mergedClasses(mergedClassesPath);
    RegistrySettings userFileExts(userFileExtsPath);
    RegistrySettings machineClasses(machineClassesPath);

    const int count = formatCount();
    if (selection)
        selection->reserve(selection->size() + count);

    bool result = true;
    for (int fif = 0; fif < count; ++fif) {
        const QString progId = progIdOf(fif);
        machineClasses.beginGroup(progId);
        if (!machineClasses.contains(defaultValueName)) {
            machineClasses.endGroup();
            continue;
        }

        auto *item = new QListWidgetItem();
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        item->setData(Qt::CheckStateRole, int(Qt::Unchecked));
        item->setText(formatName(fif) + QLatin1Char('\t'));
        item->setToolTip(toolTipOf(fif));

        const QStringList extensions = extensionsOfFormat(fif);
        QBitArray bits(int(extensions.size()), false);
        bool allAssociated = true;
        bool anyAssociated = false;
        for (int j = 0; j < extensions.size(); ++j) {
            const std::optional<QString> key = extensionKeyIfSafe(extensions.at(j));
            // The applier never writes it, so it counts neither way.
            if (!key)
                continue;
            bool associated;
            // A per-user override alone decides; the classes are not consulted then.
            userFileExts.beginGroup(*key);
            if (userFileExts.contains(overrideProgIdValue)) {
                associated = progIdIn(userFileExts.value(overrideProgIdValue)) == progId;
                userFileExts.endGroup();
            } else {
                userFileExts.endGroup();
                mergedClasses.beginGroup(*key);
                associated = progIdIn(mergedClasses.value(defaultValueName)) == progId;
                mergedClasses.endGroup();
            }
            if (associated) {
                bits.setBit(j);
                anyAssociated = true;
            } else {
                allAssociated = false;
            }
        }
        if (selection)
            selection->append(FormatSelection{fif, bits});

        const Qt::CheckState state = !anyAssociated  ? Qt::Unchecked
                                     : allAssociated ? Qt::Checked
                                                     : Qt::PartiallyChecked;
        item->setData(Qt::CheckStateRole, int(state));
        item->setData(FormatIdRole, fif);
        list->insertItem(list->count(), item);

        machineClasses.endGroup();
        if (!allAssociated)
            result = false;
    }
    return result;
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
