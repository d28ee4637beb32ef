#include "formatcatalogue.h"
#include "formatlist.h"
#include "registrylayout.h"
#include "registrynames.h"
#include "registrysettings.h"
#include "shellnotify.h"

#include <QListWidget>
#include <QSet>
#include <QtDebug>

namespace {

int checkStateOf(const QListWidgetItem *item)
{
    return item->data(Qt::CheckStateRole).toInt();
}

// An extension given back must not go to a ProgId that is itself being
// given up in the same list: the viewer would keep it under another name.
// Only here do ProgIds fold: an heir is looked up as a key, and the registry
// finds the same key under any letter case. What an extension opens with is
// compared exactly, as the shell compares it.
QSet<QString> progIdsGivenUp(const QListWidget *list)
{
    QSet<QString> progIds;
    for (int row = 0; row < list->count(); ++row) {
        const QListWidgetItem *item = list->item(row);
        const int state = checkStateOf(item);
        if (state != Qt::Checked && state != Qt::PartiallyChecked)
            progIds.insert(foldName(progIdOf(item->data(FormatIdRole).toInt())));
    }
    return progIds;
}

// The first ProgId the extension remembers that is still registered and
// not itself being given up; "" when there is none.
QString heirOf(RegistrySettings &userClasses, RegistrySettings &mergedClasses, const QString &key,
               const QSet<QString> &givenUp)
{
    userClasses.beginGroup(key + QLatin1Char('/') + openWithProgIdsKey);
    const QStringList remembered = userClasses.childKeys();
    userClasses.endGroup();
    for (const QString &candidate : remembered) {
        if (!namesOneSettingsEntry(candidate, maxKeyNameLength) ||
            givenUp.contains(foldName(candidate)))
            continue;
        mergedClasses.beginGroup(candidate);
        const bool registered = !mergedClasses.childGroups().isEmpty();
        mergedClasses.endGroup();
        if (registered)
            return candidate;
    }
    return QString();
}

} // namespace

bool applyFormatList(QListWidget *list)
{
    RegistryTransaction transaction;
    RegistrySettings mergedClasses(mergedClassesPath);
    RegistrySettings userClasses(userClassesPath);
    RegistrySettings userFileExts(userFileExtsPath);
    bool changed = false;
    const QSet<QString> givenUp = progIdsGivenUp(list);

    for (int row = 0; row < list->count(); ++row) {
        const QListWidgetItem *item = list->item(row);
        const int state = checkStateOf(item);
        if (state == Qt::PartiallyChecked)
            continue;
        const bool checked = state == Qt::Checked;
        const int fif = item->data(FormatIdRole).toInt();
        const QString progId = progIdOf(fif);

        for (const QString &extension : extensionsOfFormat(fif)) {
            const std::optional<QString> safeKey = extensionKeyIfSafe(extension);
            if (!safeKey)
                continue;
            const QString &key = *safeKey;
            const auto at = [&](const QString &name) -> QString {
                return key + QLatin1Char('/') + name;
            };

            // The override decides alone, so one that disagrees with the
            // choice goes. As the reader sees it: a value that is no string
            // names no ProgId, neither ours nor one to remember.
            const std::optional<QString> overrideId = overrideProgIdOf(userFileExts, key);
            const bool overrideDisagrees = overrideId && (*overrideId == progId) != checked;
            if (overrideDisagrees) {
                userFileExts.remove(at(overrideProgIdValue));
                changed = true;
            }
            // What the extension opened with, the save's own ProgId left
            // aside: an override that went for naming another decided it;
            // otherwise the classes' default does.
            const QString previous = checked && overrideDisagrees && !overrideId->isEmpty()
                                         ? *overrideId
                                         : classesProgIdOf(mergedClasses, key);

            if (checked && previous != progId) {
                // Remembered so that unchecking can give the extension back.
                if (namesOneSettingsEntry(previous, maxValueNameLength)) {
                    const QString remembered = at(openWithProgIdsKey) + QLatin1Char('/') + previous;
                    userClasses.remove(remembered);
                    userClasses.setValue(remembered, QString());
                }
                userClasses.setValue(at(defaultValueName), progId);
                userClasses.setValue(at(perceivedTypeValue), QStringLiteral("image"));
                changed = true;
            } else if (!checked && previous == progId &&
                       // Else the association comes from the machine, not from us.
                       userClasses.contains(at(defaultValueName))) {
                const QString heir = heirOf(userClasses, mergedClasses, key, givenUp);
                if (!heir.isEmpty())
                    userClasses.setValue(at(defaultValueName), heir);
                else
                    userClasses.remove(key);
                changed = true;
            }
        }
    }

    const bool written =
        userClasses.status() == QSettings::NoError && userFileExts.status() == QSettings::NoError;
    // A failed save is rolled back where the registry allows it; where it
    // does not, what it wrote stays.
    const bool somethingRemains = written ? transaction.commit() : !transaction.rollback();
    // Told after the last write, and only when some of it is still there.
    if (changed && somethingRemains)
        notifyAssociationsChanged();
    return written && somethingRemains;
}
