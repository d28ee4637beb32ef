#pragma once

// The viewer's formats as the reader and the applier find them: registered
// machine-wide under their ProgIds, and read back from a list's items.

#include "formatcatalogue.h"
#include "registrylayout.h"
#include "testregistry.h"

#include <QListWidgetItem>

#include <FreeImage.h>

#include <initializer_list>

// Each with its description, as the installer registers them.
inline void registerFormats(TestRegistry &reg, std::initializer_list<int> fifs)
{
    for (int fif : fifs)
        QVERIFY(reg.set(inMachineClasses + progIdOf(fif), QString(), formatDescription(fif)));
}

inline void registerEveryFormat(TestRegistry &reg)
{
    for (int fif = 0; fif < formatCount(); ++fif)
        registerFormats(reg, {fif});
}

inline int checkState(const QListWidgetItem *item)
{
    return item->data(Qt::CheckStateRole).toInt();
}

inline void noPluginCallbacks(Plugin *, int) {}

// A format of the test's own, registered for the rest of this process, so it
// comes after the real table. FreeImage keeps the strings it is given, so
// they must outlive the process.
inline int registerLocalFormat(const char *name, const char *extensions)
{
    return int(FreeImage_RegisterLocalPlugin(noPluginCallbacks, name, "Local", extensions));
}
