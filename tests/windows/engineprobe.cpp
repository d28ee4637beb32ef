// Links the engine DLL the way the viewer does and reports what its entry
// points answer, one line each, for tst_wine.sh to check on both paths:
//   installed 1 | vista 0
//   make ok=1
//   query all=0 formats=37 set=0 bits=87
//   debug <every debug line the engine wrote>
#include "associationservice.h"
#include "engine.h"

#include <QApplication>

#include <cstdio>

namespace {

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
    QApplication app(argc, argv);
    qInstallMessageHandler(printDebug);
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
