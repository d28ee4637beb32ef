#pragma once

// A registry of realistic size for benchmarks: the viewer installed, a few
// programs owning common extensions, and enough other classes (COM classes,
// ProgIds with verbs) to bring it to the number of keys asked for, as a real
// HKEY_CLASSES_ROOT has.

#include "formatcatalogue.h"
#include "identity.h"
#include "registryfile.h"
#include "registrylayout.h"
#include "registrystore.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

class BenchRegistry
{
public:
    explicit BenchRegistry(int keys)
    {
        fileName = dir.filePath(QStringLiteral("bench.sqlite"));
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(fileName));
        store = RegistryStore::openDefault();
        store->beginTransaction();
        const RegKeyPath classes = *parseKeyPath(QStringLiteral("HKLM\\SOFTWARE\\Classes"));
        auto sz = [&](const RegKeyPath &k, const QString &name, const QString &v) {
            store->setValue(k, name, RegType::Sz, encodeRegSz(v));
        };
        for (int fif = 0; fif < formatCount(); ++fif) {
            const RegKeyPath progId = classes.child(progIdOf(fif));
            sz(progId, QString(), formatDescription(fif));
            sz(progId.child(QStringLiteral("shell"))
                   .child(QStringLiteral("open"))
                   .child(QStringLiteral("command")),
               QString(), productName + QStringLiteral(".exe \"%1\""));
        }
        for (const char *ext : {".jpg", ".jpeg", ".png", ".gif", ".bmp", ".tif", ".tiff"}) {
            const QString owner = QStringLiteral("Other") + QLatin1String(ext + 1);
            sz(classes.child(QLatin1String(ext)), QString(), owner);
            sz(classes.child(QLatin1String(ext)).child(QStringLiteral("OpenWithProgids")), owner,
               QString());
            sz(classes.child(owner).child(QStringLiteral("shell")), QString(),
               QStringLiteral("open"));
        }
        // Two keys a COM class, four a ProgId with its verb.
        int made = formatCount() * 4 + 7 * 3;
        for (int i = 0; made < keys; ++i) {
            const QString guid =
                QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(i, 8, 16, QLatin1Char('0'));
            const RegKeyPath clsid = classes.child(QStringLiteral("CLSID")).child(guid);
            sz(clsid.child(QStringLiteral("InprocServer32")), QString(),
               QStringLiteral("C:\\Windows\\System32\\lib%1.dll").arg(i));
            const RegKeyPath prog = classes.child(QStringLiteral("Vendor%1.Document").arg(i));
            sz(prog, QString(), QStringLiteral("Document %1").arg(i));
            sz(prog.child(QStringLiteral("shell"))
                   .child(QStringLiteral("open"))
                   .child(QStringLiteral("command")),
               QString(), QStringLiteral("app%1.exe \"%1\"").arg(i));
            made += 6;
        }
        store->commitTransaction();
        // What the filling left in the write-ahead log would otherwise be
        // folded into the file by whichever timed write comes first.
        checkpointRegistryFile(fileName);
    }

    QTemporaryDir dir;
    QString fileName;
    std::shared_ptr<RegistryStore> store;
};
