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
            mergedClasses.beginGroup(key);
            QString previous;
            userFileExts.beginGroup(key);
            if (userFileExts.contains(overrideProgIdValue)) {
                // As the reader sees it: a value that is no string names no
                // ProgId, neither ours nor one to remember.
                const QString overrideId = progIdIn(userFileExts.value(overrideProgIdValue));
                if (checked && overrideId != progId) {
                    previous = overrideId;
                    userFileExts.remove(overrideProgIdValue);
                    changed = true;
                } else if (!checked && overrideId == progId) {
                    userFileExts.remove(overrideProgIdValue);
                    changed = true;
                }
            }
            userFileExts.endGroup();
            if (previous.isEmpty())
                previous = progIdIn(mergedClasses.value(defaultValueName));

            if (checked && previous != progId) {
                userClasses.beginGroup(key);
                userClasses.beginGroup(openWithProgIdsKey);
                // Remembered so that unchecking can give the extension back.
                if (isSafeName(previous, maxValueNameLength)) {
                    userClasses.remove(previous);
                    userClasses.setValue(previous, QString());
                }
                userClasses.endGroup();
                userClasses.setValue(defaultValueName, progId);
                userClasses.setValue(perceivedTypeValue, QStringLiteral("image"));
                userClasses.endGroup();
                changed = true;
            } else if (!checked && previous == progId) {
                userClasses.beginGroup(key);
                if (!userClasses.contains(defaultValueName)) {
                    // The association comes from the machine, not from us.
                    userClasses.endGroup();
                } else {
                    userClasses.beginGroup(openWithProgIdsKey);
                    QString heir;
                    for (int k = 0; k < userClasses.childKeys().size(); ++k) {
                        const QString candidate = userClasses.childKeys().at(k);
                        if (!isSafeName(candidate, maxKeyNameLength) ||
                            givenUp.contains(foldName(candidate)))
                            continue;
                        mergedClasses.endGroup();
                        mergedClasses.beginGroup(candidate);
                        const bool registered = !mergedClasses.childGroups().isEmpty();
                        mergedClasses.endGroup();
                        mergedClasses.beginGroup(key);
                        if (registered) {
                            heir = candidate;
                            break;
                        }
                    }
                    userClasses.endGroup();
                    if (!heir.isEmpty()) {
                        userClasses.setValue(defaultValueName, heir);
                        userClasses.endGroup();
                    } else {
                        userClasses.endGroup();
                        userClasses.remove(key);
                    }
                    changed = true;
                }
            }
            mergedClasses.endGroup();
        }
    }

    const bool written =
        userClasses.status() == QSettings::NoError && userFileExts.status() == QSettings::NoError;
    const bool landed = written ? transaction.commit() : !transaction.rollback();
    // Told after the last write, and only when some of it is still there.
    if (changed && landed)
        notifyAssociationsChanged();
    return written && landed;
}
