#pragma once

#include <QString>
#include <QtGlobal>

// Where Windows keeps file associations, named once for the engine that
// reads and writes them and for the substitute service that answers from
// them. "SOFTWARE" and "Software" differ only in case, which the registry
// ignores.

// Locations.
inline const QString machineClassesPath = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes");
inline const QString mergedClassesPath = QStringLiteral("HKEY_CLASSES_ROOT");
inline const QString userClassesPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes");
// Explorer's per-user choices, one key per extension (".png").
inline const QString userFileExtsPath = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
// Default programs: application name -> its Capabilities key.
inline const QString registeredApplicationsPath =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\RegisteredApplications");

// Names inside them.
// FileExts\.ext "ProgId": the override of the classes' choice.
inline const QString overrideProgIdValue = QStringLiteral("ProgId");
// FileExts\.ext\UserChoice "Progid": the user's choice from Vista on.
inline const QString userChoiceKey = QStringLiteral("UserChoice");
inline const QString userChoiceProgIdValue = QStringLiteral("Progid");
// Classes\.ext\OpenWithProgids: the other programs an extension may open with.
inline const QString openWithProgIdsKey = QStringLiteral("OpenWithProgids");
inline const QString perceivedTypeValue = QStringLiteral("PerceivedType");
