#include "windowsassociations_p.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

LPCWSTR wide(const QString &s)
{
    return reinterpret_cast<LPCWSTR>(s.utf16());
}

// Owns one reference to a COM object and gives it up in release(), the only
// way the engine ends an object's life.
template <class Interface, class Wrapper> class ComHolder : public Wrapper
{
public:
    explicit ComHolder(Interface *p) : p(p) {}

    void release() override
    {
        p->Release();
        delete this;
    }

protected:
    Interface *const p;
};

// As CoCreateInstance does: *out is cleared first, and an object handed
// back is wrapped even when the call failed, so that it is released.
template <class Holder, class Interface, class Wrapper>
HResult create(REFCLSID clsid, DWORD context, REFIID iid, Wrapper **out)
{
    *out = nullptr;
    Interface *p = nullptr;
    const HRESULT hr =
        CoCreateInstance(clsid, nullptr, context, iid, reinterpret_cast<void **>(&p));
    if (p)
        *out = new Holder(p);
    return hr;
}

class Registration final
    : public ComHolder<IApplicationAssociationRegistration, AssociationRegistration>
{
public:
    using ComHolder::ComHolder;

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

    HResult queryCurrentDefault(const QString &query, int type, int level,
                                char16_t **association) override
    {
        LPWSTR s = nullptr;
        const HRESULT hr =
            p->QueryCurrentDefault(wide(query), ASSOCIATIONTYPE(type), ASSOCIATIONLEVEL(level), &s);
        *association = reinterpret_cast<char16_t *>(s);
        return hr;
    }

    void freeString(char16_t *s) override { CoTaskMemFree(s); }
};

class RegistrationUI final
    : public ComHolder<IApplicationAssociationRegistrationUI, AssociationRegistrationUI>
{
public:
    using ComHolder::ComHolder;

    HResult launchAdvancedAssociationUI(const QString &appName) override
    {
        return p->LaunchAdvancedAssociationUI(wide(appName));
    }
};

class ComFactory final : public AssociationServiceFactory
{
public:
    HResult createRegistration(AssociationRegistration **out) override
    {
        return create<Registration, IApplicationAssociationRegistration>(
            CLSID_ApplicationAssociationRegistration, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
            IID_IApplicationAssociationRegistration, out);
    }

    HResult createRegistrationUI(AssociationRegistrationUI **out) override
    {
        return create<RegistrationUI, IApplicationAssociationRegistrationUI>(
            CLSID_ApplicationAssociationRegistrationUI, CLSCTX_INPROC_SERVER,
            IID_IApplicationAssociationRegistrationUI, out);
    }
};

} // namespace

AssociationServiceFactory &platformAssociationServiceFactory()
{
    static ComFactory factory;
    return factory;
}

bool openUri(const QString &uri)
{
    // ShellExecuteW answers with a number above 32 on success; anything
    // else is an error code in disguise.
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", wide(uri), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
