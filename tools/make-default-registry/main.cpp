// Prints the default registry: a Windows XP machine on which the Talvimor
// Image Viewer is installed, its ProgIds and capabilities taken from
// FreeImage's own format table, beside the few programs that own the common
// image extensions out of the box.
//
// The machine is written into a registry of its own and exported from
// there, so that apart from its comment the committed file is exactly what
// exporting it gives back, which keeps the diff of a regenerated file to
// what changed. scripts/make-default-registry builds and runs it.

#include "identity.h"
#include "regfile.h"
#include "registrystore.h"
#include "windowsassociations.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <FreeImage.h>

#include <cstdio>
#include <set>

namespace {

const QString viewerExe =
    QStringLiteral("C:\\Program Files\\") + productName + u'\\' + productName + u".exe";
const QString machineClasses = machineClassesPath + u'\\';
// Where the viewer keeps its capabilities, below HKEY_LOCAL_MACHINE.
const QString capabilities =
    QStringLiteral("Software\\") + productName + u"\\Image Viewer\\Capabilities";

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
    const QString nt =
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    m.sz(nt, QStringLiteral("CurrentVersion"), QStringLiteral("5.1"));
    m.sz(nt, QStringLiteral("ProductName"), QStringLiteral("Microsoft Windows XP"));

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

void viewer(Machine &m)
{
    const QString capKey = QStringLiteral("HKEY_LOCAL_MACHINE\\") + capabilities;
    m.sz(registeredApplicationsPath, registeredAppName, capabilities);
    m.sz(capKey, QStringLiteral("ApplicationName"), registeredAppName);
    m.sz(capKey, QStringLiteral("ApplicationDescription"),
         QStringLiteral("Views the image formats that FreeImage reads, from BMP to JPEG XR."));

    // An extension two formats share (pbm for PBM and PBMRAW) goes to the first.
    std::set<QString> claimed;
    for (int fif = 0; fif < FreeImage_GetFIFCount(); ++fif) {
        const auto format = static_cast<FREE_IMAGE_FORMAT>(fif);
        const QString progId =
            progIdPrefix + QString::fromLatin1(FreeImage_GetFormatFromFIF(format));
        m.sz(machineClasses + progId, QString(),
             QString::fromLatin1(FreeImage_GetFIFDescription(format)));
        m.sz(machineClasses + progId + QStringLiteral("\\DefaultIcon"), QString(),
             viewerExe + QLatin1Char(',') + QString::number(fif + 1));
        m.sz(machineClasses + progId + QStringLiteral("\\shell\\open\\command"), QString(),
             QLatin1Char('"') + viewerExe + QStringLiteral("\" \"%1\""));
        const QStringList extensions =
            QString::fromLatin1(FreeImage_GetFIFExtensionList(format)).split(QLatin1Char(','));
        for (const QString &ext : extensions) {
            if (!ext.isEmpty() && claimed.insert(ext).second)
                m.sz(capKey + QStringLiteral("\\FileAssociations"), QLatin1Char('.') + ext, progId);
        }
    }
}

int fail(const QString &why)
{
    std::fprintf(stderr, "make-default-registry: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return fail(QStringLiteral("cannot create a temporary directory"));
    const auto store = RegistryStore::open(dir.filePath(QStringLiteral("registry.sqlite")));
    if (!store->isWritable())
        return fail(QStringLiteral("cannot create a registry in %1").arg(dir.path()));

    FreeImage_Initialise(FALSE);
    const QByteArray version = FreeImage_GetVersion();
    Machine machine(*store);
    // One transaction, synced once rather than after every value.
    const bool written = atomically(*store, [&] {
        windows(machine);
        viewer(machine);
        return machine.ok;
    });
    FreeImage_DeInitialise();
    if (!written)
        return fail(QStringLiteral("cannot write the machine into %1").arg(store->fileName()));

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    if (!exportRegFile(*store, std::nullopt, out, &error))
        return fail(error);
    QByteArray text = out.data();
    // Under the header line, where every reader takes it for a comment.
    text.insert(text.indexOf('\n') + 1,
                "; Generated by scripts/make-default-registry from FreeImage " + version + ".\n");
    if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()) ||
        std::fflush(stdout) != 0)
        return fail(QStringLiteral("cannot write the output"));
    return 0;
}
