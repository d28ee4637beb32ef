#include "shelllaunch.h"

#include <windows.h>

#include <shellapi.h>

bool openUri(const QString &uri)
{
    // ShellExecuteW answers with a number above 32 on success; anything
    // else is an error code in disguise.
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", reinterpret_cast<LPCWSTR>(uri.utf16()),
                                           nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
