// libFuzzer target for the .reg importer. Every input is imported on top of
// what earlier inputs left behind, so that files also meet keys, values and
// letter cases that are already there. It checks that a rejected file writes
// nothing, that what an accepted file leaves can be exported, and that the
// export reads back into an empty registry and writes out the same bytes.

#include "regfile.h"
#include "registrystore.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// Bounds how far the registry grows between fresh starts, and so how long
// one export and its re-import take.
constexpr int runsPerStore = 500;

const QString displayName = QStringLiteral("fuzz.reg");

// Control characters spelt out: the names that break things often hold them.
QByteArray printable(const QString &s)
{
    QString out;
    for (QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out.toUtf8();
}

[[noreturn]] void fault(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "fuzz_regimport: %s\n", what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", printable(detail).constData());
    std::fflush(stderr);
    __builtin_trap();
}

// A store on a file of its own. The store keeps one connection per path, so
// starting over means removing the file first: only then does open() give a
// new, empty store instead of the old one.
std::shared_ptr<RegistryStore> freshStore(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    auto store = RegistryStore::open(path);
    if (!store->isWritable())
        fault("cannot create a scratch registry", path);
    return store;
}

RegKeyPath key(const char *path)
{
    return *parseRegKeyName(QString::fromUtf8(path));
}

// A little of what a real registry holds, in both hives and both sides of
// the merged classes view, so that deletions and overwrites have targets.
void seed(RegistryStore &store)
{
    const auto sz = [](const char *s) { return encodeRegSz(QString::fromUtf8(s)); };
    const bool ok =
        store.setValue(key("HKLM\\SOFTWARE\\Classes\\.txt"), QString(), RegType::Sz,
                       sz("txtfile")) &&
        store.setValue(key("HKLM\\SOFTWARE\\Classes\\.txt"), QStringLiteral("Content Type"),
                       RegType::Sz, sz("text/plain")) &&
        store.setValue(key("HKLM\\SOFTWARE\\Classes\\txtfile\\shell\\open\\command"), QString(),
                       RegType::ExpandSz, sz("%SystemRoot%\\notepad.exe \"%1\"")) &&
        store.setValue(key("HKLM\\SOFTWARE\\Classes\\txtfile"), QStringLiteral("EditFlags"),
                       RegType::Dword, encodeRegDword(0x00010000)) &&
        store.createKey(key("HKLM\\SOFTWARE\\Classes\\MIME\\Database\\Content Type\\image/png")) &&
        store.setValue(key("HKCU\\Software\\Classes\\.txt\\OpenWithProgids"),
                       QStringLiteral("txtfile"), RegType::None, QByteArray()) &&
        store.setValue(key("HKCU\\Software\\Pellvarin"), QStringLiteral("Recent"), RegType::MultiSz,
                       encodeRegMultiSz({QStringLiteral("a"), QStringLiteral("b")})) &&
        store.setValue(key("HKCU\\Software\\Pellvarin"), QStringLiteral("Blob"), RegType::Binary,
                       QByteArray("\x01\xff\x00", 3)) &&
        store.setValue(key("HKCU"), QStringLiteral("AtTheHive"), RegType::Qword,
                       QByteArray(8, '\x7f'));
    if (!ok)
        fault("cannot seed the registry");
}

// Every key and value with its exact type and bytes, read through the store
// rather than the exporter, so that an export that loses something is caught
// even when it reads back as itself.
QByteArray contents(const RegistryStore &store)
{
    QByteArray out;
    const auto field = [&out](const QByteArray &bytes) {
        out += QByteArray::number(bytes.size()) + ':' + bytes;
    };
    std::vector<RegKeyPath> pending{{Hive::CurrentUser, {}}, {Hive::LocalMachine, {}}};
    while (!pending.empty()) {
        const RegKeyPath key = std::move(pending.back());
        pending.pop_back();
        field(key.toString().toUtf8());
        for (const RegValue &v : store.values(key)) {
            field(v.name.toUtf8());
            out += QByteArray::number(v.type) + ' ';
            field(v.data);
        }
        out += '\n';
        const QStringList subkeys = store.subkeyNames(key);
        for (auto s = subkeys.crbegin(); s != subkeys.crend(); ++s)
            pending.push_back(key.child(*s));
    }
    return out;
}

bool exportAll(const RegistryStore &store, QByteArray *out, QString *error)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const bool ok = exportRegFile(store, std::nullopt, buffer, error);
    *out = buffer.data();
    return ok;
}

// "fuzz.reg:LINE: ..." or "fuzz.reg: ...", with LINE one of the input's.
void checkError(const QString &error, const QByteArray &input)
{
    const QString prefix = displayName + QLatin1Char(':');
    if (!error.startsWith(prefix))
        fault("a rejection that does not name the file", error);
    qsizetype end = prefix.size();
    while (end < error.size() && error[end].isDigit())
        ++end;
    if (end == prefix.size())
        return;
    // Every line end is a 0x0a byte, in UTF-8 and in UTF-16LE alike.
    const qint64 lines = input.count('\n') + 1;
    const qint64 line = error.mid(prefix.size(), end - prefix.size()).toLongLong();
    if (line < 1 || line > lines || end >= error.size() || error[end] != QLatin1Char(':'))
        fault("a rejection that names a line the file does not have", error);
}

class Harness
{
public:
    Harness()
    {
        if (!dir.isValid())
            fault("cannot create a temporary directory");
        mainPath = dir.filePath(QStringLiteral("registry.sqlite"));
        scratchPath = dir.filePath(QStringLiteral("scratch.sqlite"));
        // Anything that opens the default registry meets the fuzzed one, not the user's.
        setenv("PELLVARIN_REGISTRY", QFile::encodeName(mainPath).constData(), 1);
        restart();
    }

    void run(const QByteArray &input)
    {
        if (++runs % runsPerStore == 0)
            restart();

        QString error;
        if (!importRegFile(*store, input, displayName, &error)) {
            checkError(error, input);
            QByteArray after;
            QString exportError;
            if (!exportAll(*store, &after, &exportError))
                fault("the registry cannot be exported after a rejected file", exportError);
            if (after != snapshot)
                fault("a rejected file changed the registry", error);
            return;
        }

        QString exportError;
        if (!exportAll(*store, &snapshot, &exportError))
            fault("an accepted file left what cannot be exported", exportError);

        auto scratch = freshStore(scratchPath);
        QString reimportError;
        if (!importRegFile(*scratch, snapshot, QStringLiteral("export.reg"), &reimportError))
            fault("an export that does not import", reimportError);
        QByteArray again;
        if (!exportAll(*scratch, &again, &exportError))
            fault("a re-imported export cannot be exported", exportError);
        if (again != snapshot)
            fault("an export read back in does not write the same bytes");
        if (contents(*scratch) != contents(*store))
            fault("an export read back in is not the registry it was written from");
    }

private:
    void restart()
    {
        store.reset();
        store = freshStore(mainPath);
        seed(*store);
        QString error;
        if (!exportAll(*store, &snapshot, &error))
            fault("the seeded registry cannot be exported", error);
    }

    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/fuzz_regimport-XXXXXX")};
    QString mainPath, scratchPath;
    std::shared_ptr<RegistryStore> store;
    QByteArray snapshot; // the export of *store as it is now
    long runs = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Harness harness;
    harness.run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
