// Writes the viewer's installation in the three forms it takes, from
// FreeImage's own format table:
//   make-default-registry                  the default registry: a Windows XP
//       machine on which the viewer is installed, beside the few programs
//       that own the common image extensions out of the box, as a .reg file
//   make-default-registry --wxs DIST        the WiX fragment that installs
//       the Windows folder DIST and registers the viewer
//   make-default-registry --default-associations
//                                          the administrators' defaults file
//
// The machine is written into a registry of its own and exported from
// there, so that apart from its comment the committed file is exactly what
// exporting it gives back, which keeps the diff of a regenerated file to
// what changed. scripts/make-default-registry builds and runs it.

#include "identity.h"
#include "installerfiles.h"
#include "regfile.h"
#include "registration.h"
#include "registrystore.h"
#include "windowsassociations.h"
#include "windowsversion.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <FreeImage.h>

#include <cstdio>

namespace {

const QString machineClasses = machineClassesPath + u'\\';

// The machine's keys and values, written until the first write that fails.
class Machine
{
public:
    explicit Machine(RegistryStore &store) : store(store) {}

    void key(const QString &path) { ok = ok && store.createKey(*parseRegKeyName(path)); }
    void sz(const QString &path, const QString &name, const QString &text)
    {
        write(path, name, RegType::Sz, encodeRegSz(text));
    }
    void expandSz(const QString &path, const QString &name, const QString &text)
    {
        write(path, name, RegType::ExpandSz, encodeRegSz(text));
    }
    void dword(const QString &path, const QString &name, quint32 value)
    {
        write(path, name, RegType::Dword, encodeRegDword(value));
    }
    void none(const QString &path, const QString &name)
    {
        write(path, name, RegType::None, QByteArray());
    }

    bool ok = true; // every write so far has landed

private:
    void write(const QString &path, const QString &name, quint32 type, const QByteArray &data)
    {
        ok = ok && store.setValue(*parseRegKeyName(path), name, type, data);
    }

    RegistryStore &store; // the registry of its own that the machine goes into
};

// A program that comes with Windows and owns some extensions machine-wide.
void systemProgId(Machine &m, const QString &progId, const QString &description,
                  const QString &command, const QStringList &extensions, const QString &mimeType)
{
    m.sz(machineClasses + progId, QString(), description);
    m.dword(machineClasses + progId, QStringLiteral("EditFlags"), 0x00010000);
    m.expandSz(machineClasses + progId + QStringLiteral("\\shell\\open\\command"), QString(),
               command);
    for (const QString &ext : extensions) {
        m.sz(machineClasses + ext, QString(), progId);
        m.sz(machineClasses + ext, QStringLiteral("Content Type"), mimeType);
        m.sz(machineClasses + ext, QStringLiteral("PerceivedType"), QStringLiteral("image"));
        m.none(machineClasses + ext + QStringLiteral("\\OpenWithProgids"), progId);
    }
}

void windows(Machine &m)
{
    m.sz(windowsVersionKey.path, windowsVersionKey.currentVersion, QStringLiteral("5.1"));
    m.sz(windowsVersionKey.path, QStringLiteral("ProductName"),
         QStringLiteral("Microsoft Windows XP"));

    const QString preview =
        QStringLiteral("%SystemRoot%\\System32\\rundll32.exe "
                       "%SystemRoot%\\System32\\shimgvw.dll,ImageView_Fullscreen %1");
    systemProgId(m, QStringLiteral("Paint.Picture"), QStringLiteral("Bitmap Image"),
                 QStringLiteral("\"%SystemRoot%\\System32\\mspaint.exe\" \"%1\""),
                 {QStringLiteral(".bmp")}, QStringLiteral("image/bmp"));
    systemProgId(m, QStringLiteral("jpegfile"), QStringLiteral("JPEG Image"), preview,
                 {QStringLiteral(".jpe"), QStringLiteral(".jpeg"), QStringLiteral(".jpg")},
                 QStringLiteral("image/jpeg"));
    systemProgId(m, QStringLiteral("pngfile"), QStringLiteral("PNG Image"), preview,
                 {QStringLiteral(".png")}, QStringLiteral("image/png"));
    systemProgId(m, QStringLiteral("giffile"), QStringLiteral("GIF Image"), preview,
                 {QStringLiteral(".gif")}, QStringLiteral("image/gif"));
    systemProgId(m, QStringLiteral("TIFImage.Document"), QStringLiteral("TIF Image Document"),
                 preview, {QStringLiteral(".tif"), QStringLiteral(".tiff")},
                 QStringLiteral("image/tiff"));

    // Windows spells the user's hive's key "Software", whatever case the
    // engine names it in.
    m.key(QStringLiteral("HKEY_CURRENT_USER\\Software"));
    m.key(userClassesPath);
    m.key(userFileExtsPath);
}

// Installed where the WiX fragment's example installs it, so that the
// registration it writes is this one to the letter.
void viewer(Machine &m)
{
    const QVector<RegistrationValue> values = viewerRegistration(
        {QStringLiteral("C:\\Program Files\\") + productName + u'\\', productName + u".exe"});
    for (const RegistrationValue &v : values)
        m.sz(QStringLiteral("HKEY_LOCAL_MACHINE\\") + v.key, v.name, v.data);
}

int fail(const QString &why, int status = 1)
{
    std::fprintf(stderr, "make-default-registry: %s\n", qPrintable(why));
    return status;
}

int put(const QByteArray &text)
{
    if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()) ||
        std::fflush(stdout) != 0)
        return fail(QStringLiteral("cannot write the output"));
    return 0;
}

QByteArray defaultRegistry(const QByteArray &version, QString *error)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        *error = QStringLiteral("cannot create a temporary directory");
        return {};
    }
    const auto store = RegistryStore::open(dir.filePath(QStringLiteral("registry.sqlite")));
    if (!store->isWritable()) {
        *error = QStringLiteral("cannot create a registry in %1").arg(dir.path());
        return {};
    }
    Machine machine(*store);
    // One transaction, synced once rather than after every value.
    const bool written = atomically(*store, [&] {
        windows(machine);
        viewer(machine);
        return machine.ok;
    });
    if (!written) {
        *error = QStringLiteral("cannot write the machine into %1").arg(store->fileName());
        return {};
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!exportRegFile(*store, std::nullopt, out, error))
        return {};
    QByteArray text = out.data();
    // Under the header line, where every reader takes it for a comment.
    text.insert(text.indexOf('\n') + 1,
                "; Generated by scripts/make-default-registry from FreeImage " + version + ".\n");
    return text;
}

// FreeImage for as long as the one form is written.
class FreeImageSession
{
public:
    FreeImageSession() { FreeImage_Initialise(FALSE); }
    ~FreeImageSession() { FreeImage_DeInitialise(); }
    FreeImageSession(const FreeImageSession &) = delete;
    FreeImageSession &operator=(const FreeImageSession &) = delete;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const FreeImageSession freeImage;
    const QByteArray version = FreeImage_GetVersion();
    const QString from = QStringLiteral("FreeImage ") + QString::fromLatin1(version);
    QString error;
    QByteArray text;
    if (args.isEmpty())
        text = defaultRegistry(version, &error);
    else if (args.size() == 2 && args[0] == u"--wxs")
        text = wixFragment(args[1], from, &error);
    else if (args == QStringList{QStringLiteral("--default-associations")})
        text = defaultAssociations(from);
    else
        return fail(QStringLiteral("usage: make-default-registry [--wxs DIST | "
                                   "--default-associations]"),
                    2);
    if (text.isEmpty())
        return fail(error);
    return put(text);
}
