#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// File associations as Windows keeps and serves them, for the engine: where
// the registry keeps them, the association registration service's two COM
// objects with the methods the engine calls (each released exactly once by
// its user), and the shell's opening of Settings' page. On Windows they are
// the system's own; elsewhere a substitute follows the documented Default
// Programs behaviour on the substitute registry.

// Where Windows keeps file associations, named once for the engine that
// reads and writes them and for the substitute service that answers from
// them. "SOFTWARE" and "Software" differ only in case, which the registry
// ignores.

// Locations.
inline const QString machineClassesPath = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes");
inline const QString mergedClassesPath = QStringLiteral("HKEY_CLASSES_ROOT");
inline const QString userClassesPath = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Classes");
// Explorer's per-user choices, one key per extension (".png").
inline const QString userFileExtsPath = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
// Default programs: application name -> its Capabilities key.
inline const QString registeredApplicationsPath =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\RegisteredApplications");
// The Capabilities key, named below HKEY_LOCAL_MACHINE, holds
// FileAssociations: ".png" -> the ProgId the application declares for it.
inline const QString capabilitiesHive = QStringLiteral("HKEY_LOCAL_MACHINE");
inline const QString fileAssociationsKey = QStringLiteral("FileAssociations");

// Names inside them.
// FileExts\.ext "ProgId": the override of the classes' choice.
inline const QString overrideProgIdValue = QStringLiteral("ProgId");
// FileExts\.ext\UserChoice "Progid": the user's choice from Vista on.
inline const QString userChoiceKey = QStringLiteral("UserChoice");
inline const QString userChoiceProgIdValue = QStringLiteral("Progid");
// Classes\.ext\OpenWithProgids: the other programs an extension may open with.
inline const QString openWithProgIdsKey = QStringLiteral("OpenWithProgids");
inline const QString perceivedTypeValue = QStringLiteral("PerceivedType");

// What ProgId an extension opens with now, as the shell decides it: the
// per-user choice, when there is one, decides alone, even one that names no
// ProgId; only without one do the merged classes' default decide, and only
// then are they read. One rule for every reader of it: the engine's list,
// its Save, and the substitute service.
template <typename ClassesDefault>
QString progIdOpening(const std::optional<QString> &userChoice, ClassesDefault classesDefault)
{
    return userChoice ? *userChoice : QString(classesDefault());
}

using HResult = qint32; // negative is failure, as FAILED() tests it

namespace HResults {
constexpr HResult ok = 0;
constexpr HResult falseOk = 1;
constexpr HResult classNotRegistered = HResult(0x80040154u);
constexpr HResult notInitialized = HResult(0x800401F0u);
constexpr HResult notImplemented = HResult(0x80004001u);
constexpr HResult invalidArgument = HResult(0x80070057u);
constexpr HResult fileNotFound = HResult(0x80070002u);
constexpr HResult noAssociation = HResult(0x80070483u);
constexpr HResult accessDenied = HResult(0x80070005u);
constexpr HResult outOfMemory = HResult(0x8007000Eu);
} // namespace HResults

inline bool failed(HResult hr)
{
    return hr < 0;
}

// ASSOCIATIONTYPE and ASSOCIATIONLEVEL values.
constexpr int associationTypeFileExtension = 0;
constexpr int associationLevelEffective = 1;

// Each object is given back once by its user, as a COM reference is.
class ServiceObject
{
public:
    virtual void release() = 0;

protected:
    virtual ~ServiceObject() = default;
};

class AssociationRegistration : public ServiceObject
{
public:
    virtual HResult queryAppIsDefault(const QString &query, int type, int level,
                                      const QString &appName, bool *isDefault) = 0;
    virtual HResult queryAppIsDefaultAll(int level, const QString &appName, bool *isDefault) = 0;
    virtual HResult setAppAsDefaultAll(const QString &appName) = 0;
    // *association is cleared first; what comes back in it, on success or
    // not, belongs to the caller, who gives it back with freeString() (on
    // Windows the service allocates it for CoTaskMemFree).
    virtual HResult queryCurrentDefault(const QString &query, int type, int level,
                                        char16_t **association) = 0;
    virtual void freeString(char16_t *s) = 0;
};

class AssociationRegistrationUI : public ServiceObject
{
public:
    virtual HResult launchAdvancedAssociationUI(const QString &appName) = 0;
};

// Creates the objects as CoCreateInstance does: *out is cleared first, and a
// failed creation may still hand back an object that must be released.
class AssociationServiceFactory
{
public:
    virtual ~AssociationServiceFactory() = default;
    virtual HResult createRegistration(AssociationRegistration **out) = 0;
    virtual HResult createRegistrationUI(AssociationRegistrationUI **out) = 0;
};

// The platform's factory, unless another has been installed
// (windowsassociations_p.h).
AssociationServiceFactory &associationServiceFactory();

// Opens a URI with the handler the shell has for its scheme, as Explorer
// does for a link ("ms-settings:defaultapps" opens Settings' page); false
// when the shell could not.
bool openUri(const QString &uri);
