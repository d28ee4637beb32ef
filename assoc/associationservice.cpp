#include "associationservice.h"

#include "assocservice.h"
#include "formatcatalogue.h"
#include "registrylayout.h"
#include "registrysettings.h"
#include "windowsversion.h"

#include <QApplication>
#include <QMessageBox>
#include <QtDebug>

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

private:
    T *p = nullptr;
};

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
    return isVistaOrLater(windowsVersion());
}

bool isVistaOrLater(int winVersion)
{
    return winVersion > 0x7F;
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
    const bool accepted = !failed(registration->setAppAsDefaultAll(registeredAppName));
    if (!accepted)
        qDebug("IApplicationAssociationRegistration SetAppAsDefaultAll error");
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
    bool allDefault = false;
    if (failed(registration->queryAppIsDefaultAll(associationLevelEffective, registeredAppName,
                                                  &allDefault)))
        qDebug("IApplicationAssociationRegistration QueryAppIsDefaultAll error");
    if (!list)
        return allDefault;

    RegistrySettings machineClasses(machineClassesPath);
    for (int fif = 0; fif < formatCount(); ++fif) {
        machineClasses.beginGroup(progIdOf(fif));
        const bool registered = machineClasses.contains(defaultValueName);
        machineClasses.endGroup();
        if (!registered)
            continue;
        const QStringList extensions = extensionsOfFormat(fif);
        QBitArray bits(int(extensions.size()), false);
        for (int j = 0; j < extensions.size(); ++j) {
            bool isDefault = false;
            if (failed(registration->queryAppIsDefault(
                    extensionKey(extensions.at(j)), associationTypeFileExtension,
                    associationLevelEffective, registeredAppName, &isDefault)))
                qDebug("IApplicationAssociationRegistration QueryAppIsDefault error");
            bits.setBit(j, isDefault);
        }
        list->append(FormatSelection{fif, bits});
    }
    return allDefault;
}
