#include "assocservice.h"

#include <windows.h>

#include <shobjidl.h>

namespace {

LPCWSTR wide(const QString &s)
{
    return reinterpret_cast<LPCWSTR>(s.utf16());
}

// Each wrapper owns one reference to its COM object and gives it up in
// release(), the only way the engine ends an object's life.
class Registration final : public AssociationRegistration
{
public:
    explicit Registration(IApplicationAssociationRegistration *p) : p(p) {}

    HResult queryAppIsDefault(const QString &query, int type, int level, const QString &appName,
                              bool *isDefault) override
    {
        BOOL flag = *isDefault ? TRUE : FALSE;
        const HRESULT hr = p->QueryAppIsDefault(wide(query), ASSOCIATIONTYPE(type),
                                                ASSOCIATIONLEVEL(level), wide(appName), &flag);
        *isDefault = flag != FALSE;
        return hr;
    }

    HResult queryAppIsDefaultAll(int level, const QString &appName, bool *isDefault) override
    {
        BOOL flag = *isDefault ? TRUE : FALSE;
        const HRESULT hr = p->QueryAppIsDefaultAll(ASSOCIATIONLEVEL(level), wide(appName), &flag);
        *isDefault = flag != FALSE;
        return hr;
    }

    HResult setAppAsDefaultAll(const QString &appName) override
    {
        return p->SetAppAsDefaultAll(wide(appName));
    }

    void release() override
    {
        p->Release();
        delete this;
    }

private:
    IApplicationAssociationRegistration *p;
};

class RegistrationUI final : public AssociationRegistrationUI
{
public:
    explicit RegistrationUI(IApplicationAssociationRegistrationUI *p) : p(p) {}

    HResult launchAdvancedAssociationUI(const QString &appName) override
    {
        return p->LaunchAdvancedAssociationUI(wide(appName));
    }

    void release() override
    {
        p->Release();
        delete this;
    }

private:
    IApplicationAssociationRegistrationUI *p;
};

class ComFactory final : public AssociationServiceFactory
{
public:
    HResult createRegistration(AssociationRegistration **out) override
    {
        *out = nullptr;
        IApplicationAssociationRegistration *p = nullptr;
        const HRESULT hr = CoCreateInstance(CLSID_ApplicationAssociationRegistration, nullptr,
                                            CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                            IID_IApplicationAssociationRegistration,
                                            reinterpret_cast<void **>(&p));
        if (p)
            *out = new Registration(p);
        return hr;
    }

    HResult createRegistrationUI(AssociationRegistrationUI **out) override
    {
        *out = nullptr;
        IApplicationAssociationRegistrationUI *p = nullptr;
        const HRESULT hr = CoCreateInstance(
            CLSID_ApplicationAssociationRegistrationUI, nullptr, CLSCTX_INPROC_SERVER,
            IID_IApplicationAssociationRegistrationUI, reinterpret_cast<void **>(&p));
        if (p)
            *out = new RegistrationUI(p);
        return hr;
    }
};

} // namespace

AssociationServiceFactory &platformAssociationServiceFactory()
{
    static ComFactory factory;
    return factory;
}
