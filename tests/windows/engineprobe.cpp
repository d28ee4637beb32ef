// Links the engine DLL the way the viewer does and reports what its entry
// points answer, one line each, for tst_wine.sh to check on both paths:
//   installed 1 | vista 0
//   make ok=1
//   query all=0 formats=37 set=0 bits=87
//   debug <every debug line the engine wrote>
//   engine version 0.1.0.0
// With "core" it runs under a QCoreApplication instead:
//   core make ok=0
//   query all=0 formats=0 set=0 bits=0
#include "defaultprograms.h"
#include "engine.h"

#include <QApplication>

#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The file version that the engine DLL's own version resource declares, as
// Explorer and installers read it.
void printEngineVersion()
{
    HMODULE engine = nullptr;
    wchar_t path[MAX_PATH];
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&queryCurrentAssociations), &engine) ||
        GetModuleFileNameW(engine, path, MAX_PATH) == 0) {
        std::printf("engine version unknown: the DLL was not found\n");
        return;
    }
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(path, &ignored));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT size = 0;
    if (info.empty() || !GetFileVersionInfoW(path, 0, DWORD(info.size()), info.data()) ||
        !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &size) ||
        size < sizeof(VS_FIXEDFILEINFO)) {
        std::printf("engine version none: the DLL has no version resource\n");
        return;
    }
    std::printf("engine version %d.%d.%d.%d\n", int(HIWORD(fixed->dwFileVersionMS)),
                int(LOWORD(fixed->dwFileVersionMS)), int(HIWORD(fixed->dwFileVersionLS)),
                int(LOWORD(fixed->dwFileVersionLS)));
}

void printDebug(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::printf("debug %s\n", message.toLocal8Bit().constData());
}

void printQuery()
{
    bool all = false;
    const SelectionList list = queryCurrentAssociations(&all);
    int set = 0;
    int bits = 0;
    for (const FormatSelection &format : list) {
        set += format.selected.count(true);
        bits += format.selected.size();
    }
    std::printf("query all=%d formats=%d set=%d bits=%d\n", all ? 1 : 0, int(list.size()), set,
                bits);
}

} // namespace

int main(int argc, char **argv)
{
    // Unbuffered, so that a run cut short still shows how far it came.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // As a viewer's command-line helper, which has no widgets, and which
    // initialises COM itself, as QApplication does for a GUI thread.
    if (argc > 1 && std::strcmp(argv[1], "core") == 0) {
        QCoreApplication app(argc, argv);
        qInstallMessageHandler(printDebug);
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        bool ok = true;
        makeAppDefaultForAllFormats(&ok);
        std::printf("core make ok=%d\n", ok ? 1 : 0);
        printQuery();
        if (SUCCEEDED(com))
            CoUninitialize();
        return 0;
    }
    QApplication app(argc, argv);
    qInstallMessageHandler(printDebug);
    printEngineVersion();
    std::printf("installed %d vista %d\n", isAppInstalled() ? 1 : 0, isVistaOrLater() ? 1 : 0);
    printQuery();
    bool ok = false;
    makeAppDefaultForAllFormats(&ok);
    std::printf("make ok=%d\n", ok ? 1 : 0);
    makeAppDefaultForAllFormats(nullptr);
    printQuery();
    std::fflush(stdout);
    return 0;
}
