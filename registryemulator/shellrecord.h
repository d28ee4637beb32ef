#pragma once

// What the substitute shell was told and asked, kept with the registry so
// that another process (pellvarin-reg notifications, opened-uri) can see
// it: how often each of the shell's notifications came and when the last
// did, in the registry file, and the last URI it was asked to open, in a
// file beside it.

#include <QDateTime>
#include <QString>

class RegistryStore;

class ShellRecord
{
public:
    // The shell's event for changed file associations, SHCNE_ASSOCCHANGED,
    // under which the record counts it, so that it reads as the shell's.
    static constexpr quint32 associationsChanged = 0x08000000;

    explicit ShellRecord(RegistryStore &store) : store(store) {}

    // Written like any other change to the registry.
    struct Notifications
    {
        qint64 count = 0;
        QDateTime last;
    };
    bool recordNotification(quint32 event);
    Notifications notifications(quint32 event) const;

    static QString openedUriFileFor(const QString &registryFileName)
    {
        return registryFileName + QStringLiteral(".opened-uri");
    }

private:
    RegistryStore &store;
};
