#pragma once

// What the engine's own suites share on the substitute registry: the Windows
// version as the registry tells it, the viewer's registration, the default
// machine, and what the engine logs when a service call fails.

#include "identity.h"
#include "testregistry.h"
#include "windowsversion.h"

#include <QProcess>
#include <QtTest>

// The numbers Windows 10 and later give beside the "6.3" kept for old programs.
inline bool setWindowsVersionNumbers(TestRegistry &reg, quint32 major, quint32 minor)
{
    bool ok = true;
    for (const auto &[name, v] : {std::pair{windowsVersionKey.majorNumber, major},
                                  std::pair{windowsVersionKey.minorNumber, minor}})
        ok = ok && reg.setData(windowsVersionKey.path, name, RegType::Dword,
                               QByteArray(reinterpret_cast<const char *>(&v), 4));
    return ok;
}

// "6.1" for 7; "10.0" for 10 and 11, told apart by the build; a null
// version for none at all.
inline bool setWindowsVersion(TestRegistry &reg, const QString &version, int build = 0)
{
    const QString &current = windowsVersionKey.currentVersion;
    if (version.isNull())
        return !reg.get(windowsVersionKey.path, current) ||
               reg.removeValue(windowsVersionKey.path, current);
    const QStringList parts = version.split(QLatin1Char('.'));
    const bool ten = parts.first().toInt() >= 10;
    return reg.set(windowsVersionKey.path, current, ten ? QStringLiteral("6.3") : version) &&
           (!ten ||
            setWindowsVersionNumbers(reg, parts.value(0).toUInt(), parts.value(1).toUInt())) &&
           (build <= 0 ||
            reg.set(windowsVersionKey.path, windowsVersionKey.buildNumber, QString::number(build)));
}

// As setWindowsVersion, for a test that cannot go on without it.
inline void setWindows(TestRegistry &reg, const QString &version, int build = 0)
{
    QVERIFY(setWindowsVersion(reg, version, build));
}

// Where the viewer's registration points, and the extensions it declares there.
inline const QString viewerCapabilities =
    QStringLiteral("Software\\Talvimor\\Image Viewer\\Capabilities");
inline const QString viewerFileAssociations = capabilitiesHive + QLatin1Char('\\') +
                                              viewerCapabilities + QLatin1Char('\\') +
                                              fileAssociationsKey;

// Unregistered, only the application's entry goes: the key it sits in stays.
inline void registerViewer(TestRegistry &reg, bool registered = true)
{
    QVERIFY(registered ? reg.set(registeredApplicationsPath, registeredAppName, viewerCapabilities)
                       : reg.removeValue(registeredApplicationsPath, registeredAppName));
    QVERIFY(reg.exists(registeredApplicationsPath));
}

// Variables for a child process, its mode among them.
using ChildVars = QList<std::pair<const char *, QString>>;

// This executable, or the program given, started again with the variables
// given and Qt drawing nowhere.
inline void startChild(QProcess &child, const ChildVars &vars,
                       const QString &program = QCoreApplication::applicationFilePath(),
                       const QStringList &args = QStringList())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const auto &[name, value] : vars)
        env.insert(QLatin1String(name), value);
    child.setProcessEnvironment(env);
    child.start(program, args);
}

// Association changes announced since the registry began; on the
// substitute they are always counted.
inline qint64 notifications(const TestRegistry &reg)
{
    return reg.notifications().value_or(-1);
}

// What the engine logs when a call of the association service fails.
inline QString serviceError(const char *call)
{
    return QStringLiteral("IApplicationAssociationRegistration %1 error").arg(QLatin1String(call));
}

#ifdef PELLVARIN_DEFAULT_REGISTRY
// The machine that resources/default-registry.reg describes: XP, with the
// viewer registered and nothing associated with it.
inline void importDefaultRegistry(TestRegistry &reg)
{
    QString error;
    QVERIFY2(reg.import(QStringLiteral(PELLVARIN_DEFAULT_REGISTRY), &error), qPrintable(error));
}
#endif
