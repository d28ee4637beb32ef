#include "defaultprograms.h"
#include "defaultprograms_p.h"

#include "formatcatalogue.h"
#include "registrylayout.h"
#include "registrynames.h"
#include "registrysettings.h"
#include "windowsassociations.h"
#include "windowsversion.h"

#include <QApplication>
#include <QHash>
#include <QMessageBox>
#include <QtDebug>
#include <QUrl>

#include <optional>

namespace {

// Releases a service object exactly once, on every way out of the scope.
template <typename T> class Released
{
public:
    Released() = default;
    Released(const Released &) = delete;
    Released &operator=(const Released &) = delete;
    ~Released()
    {
        if (p)
            p->release();
    }
    T **out() { return &p; }
    T *operator->() const { return p; }
    T &operator*() const { return *p; }

private:
    T *p = nullptr;
};

// A string the service handed back, given back to it exactly once.
class ServiceString
{
public:
    explicit ServiceString(AssociationRegistration &owner) : owner(owner) {}
    ServiceString(const ServiceString &) = delete;
    ServiceString &operator=(const ServiceString &) = delete;
    ~ServiceString()
    {
        if (s)
            owner.freeString(s);
    }
    char16_t **out() { return &s; }
    QString text() const { return s ? QString::fromUtf16(s) : QString(); }

private:
    AssociationRegistration &owner;
    char16_t *s = nullptr;
};

// The ProgId the extension opens with now, by the one question the service
// still answers reliably from Windows 8 on; nothing when the call failed.
std::optional<QString> currentDefault(AssociationRegistration &registration,
                                      const QString &extension)
{
    ServiceString association(registration);
    if (failed(registration.queryCurrentDefault(extensionKey(extension),
                                                associationTypeFileExtension,
                                                associationLevelEffective, association.out()))) {
        qDebug("IApplicationAssociationRegistration QueryCurrentDefault error");
        return std::nullopt;
    }
    return association.text();
}

// Walks the formats whose ProgId the viewer registered machine-wide, asking
// bitOf(fif, extension) for each extension; appends one entry per format to
// list when there is one, and tells whether every bit was set.
template <typename BitOf> bool eachRegisteredFormat(SelectionList *list, BitOf bitOf)
{
    return walkRegisteredFormats(
        [&](int fif, const QString &extension) -> std::optional<bool> {
            return bitOf(fif, extension);
        },
        [&](int fif, const QBitArray &bits, bool) {
            if (list)
                list->append(FormatSelection{fif, bits});
        });
}

// The viewer's ProgIds by the extensions they claim (folded, as the
// registry compares names): an extension that two formats share (pbm, pgm,
// ppm) opens with the viewer whichever of the two has it.
QHash<QString, QStringList> viewerClaims()
{
    QHash<QString, QStringList> claims;
    eachRegisteredFormat(nullptr, [&](int fif, const QString &extension) {
        claims[foldName(extension)].append(progIdOf(fif));
        return true;
    });
    return claims;
}

// QueryAppIsDefault's question, asked the way that still works from Windows
// 8 on: whether the extension opens with one of the viewer's ProgIds that
// claim it.
bool opensWithViewer(AssociationRegistration &registration,
                     const QHash<QString, QStringList> &claims, const QString &extension)
{
    const std::optional<QString> handler = currentDefault(registration, extension);
    return handler && claims.value(foldName(extension)).contains(*handler);
}

// QueryAppIsDefaultAll's question, asked the same way: whether every
// extension the viewer's capabilities declare opens with the ProgId
// declared for it. Declaring nothing makes the viewer the default for
// nothing. Every extension is asked, so that each failure is logged.
bool viewerIsDefaultForAll(AssociationRegistration &registration)
{
    const std::optional<QList<DeclaredAssociation>> declared = declaredAssociations();
    if (!declared || declared->isEmpty())
        return false;
    bool all = true;
    for (const DeclaredAssociation &association : *declared)
        all = currentDefault(registration, association.extension) == association.progId && all;
    return all;
}

void showBox(QMessageBox::Icon icon, const QString &text)
{
    const QString title = QApplication::tr("File associations");
    if (icon == QMessageBox::Information)
        QMessageBox::information(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
    else
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

} // namespace

bool isVistaOrLater()
{
    return isWindowsVistaOrLater(windowsVersion());
}

QString defaultAppsPageUri(int windowsBuild)
{
    QString uri = QStringLiteral("ms-settings:defaultapps");
    // Windows 11 opens the application's own page for this parameter; Windows
    // 10 does not know it, so it gets the plain page.
    if (isWindows11OrLaterBuild(windowsBuild))
        uri += QStringLiteral("?registeredAppMachine=") +
               QString::fromLatin1(QUrl::toPercentEncoding(registeredAppName));
    return uri;
}

bool isAppInstalled()
{
    RegistrySettings registered(registeredApplicationsPath);
    return registered.contains(registeredAppName);
}

void launchAssociationPage()
{
    if (!isAppInstalled()) {
        showBox(QMessageBox::Information,
                registeredAppName +
                    QApplication::tr(" is not installed. Cannot set file associations."));
        return;
    }
    // From Windows 10 the old page only points to Settings; go there
    // directly, and to the old page only when Settings cannot be opened.
    if (isWindows10OrLater(windowsVersion()) && openUri(defaultAppsPageUri(windowsBuild())))
        return;
    Released<AssociationRegistrationUI> page;
    if (failed(associationServiceFactory().createRegistrationUI(page.out()))) {
        showBox(QMessageBox::Critical,
                QApplication::tr("Cannot create ApplicationAssociationRegistrationUI for ") +
                    registeredAppName);
        return;
    }
    if (failed(page->launchAdvancedAssociationUI(registeredAppName)))
        showBox(QMessageBox::Critical,
                QApplication::tr("Cannot launch ApplicationAssociationRegistrationUI for ") +
                    registeredAppName);
}

void makeAppDefaultThroughService(bool *ok)
{
    Released<AssociationRegistration> registration;
    if (failed(associationServiceFactory().createRegistration(registration.out()))) {
        qDebug("IApplicationAssociationRegistration CoCreateInstance error");
        if (ok)
            *ok = false;
        return;
    }
    bool accepted = !failed(registration->setAppAsDefaultAll(registeredAppName));
    if (!accepted)
        qDebug("IApplicationAssociationRegistration SetAppAsDefaultAll error");
    if (isWindows8OrLater(windowsVersion())) {
        // From Windows 8 the call may succeed and change nothing: only the
        // defaults themselves tell whether the viewer has them now, by the
        // rule the query answers with.
        accepted = viewerIsDefaultForAll(*registration);
        if (!accepted)
            qDebug("IApplicationAssociationRegistration SetAppAsDefaultAll: Windows no longer "
                   "lets an application set its own defaults");
    }
    if (ok)
        *ok = accepted;
}

bool queryDefaultsThroughService(SelectionList *list)
{
    if (!isAppInstalled())
        return false;
    Released<AssociationRegistration> registration;
    if (failed(associationServiceFactory().createRegistration(registration.out()))) {
        qDebug("IApplicationAssociationRegistration CoCreateInstance error");
        return false;
    }
    // From Windows 8 QueryAppIsDefault and QueryAppIsDefaultAll are not to
    // be relied on: the same two questions are answered from the effective
    // handler of each extension, so that every Windows gives one answer.
    if (isWindows8OrLater(windowsVersion())) {
        const bool allDefault = viewerIsDefaultForAll(*registration);
        if (list) {
            const QHash<QString, QStringList> claims = viewerClaims();
            eachRegisteredFormat(list, [&](int, const QString &extension) {
                return opensWithViewer(*registration, claims, extension);
            });
        }
        return allDefault;
    }

    bool allDefault = false;
    if (failed(registration->queryAppIsDefaultAll(associationLevelEffective, registeredAppName,
                                                  &allDefault)))
        qDebug("IApplicationAssociationRegistration QueryAppIsDefaultAll error");
    if (!list)
        return allDefault;

    // The overall answer is the service's own, not the bits'.
    eachRegisteredFormat(list, [&](int, const QString &extension) {
        bool isDefault = false;
        if (failed(registration->queryAppIsDefault(
                extensionKey(extension), associationTypeFileExtension, associationLevelEffective,
                registeredAppName, &isDefault)))
            qDebug("IApplicationAssociationRegistration QueryAppIsDefault error");
        return isDefault;
    });
    return allDefault;
}
