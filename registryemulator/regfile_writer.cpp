// Writing the store out as a .reg file: keys depth-first, each with its
// values, strings and DWORDs as text and everything else as hex lists
// wrapped as regedit wraps them, so that reading the file back and writing
// it again gives the same bytes.

#include "regfile.h"
#include "regfile_p.h"
#include "registrynames.h"

#include <QIODevice>

#include <algorithm>
#include <vector>

namespace {

// How wide regedit lets a hex list grow before it continues on the next line.
constexpr qsizetype hexLineWidth = 80;

void appendQuoted(QByteArray &out, QStringView s)
{
    const QByteArray utf8 = s.toUtf8();
    out += '"';
    for (char c : utf8) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

// REG_SZ data that is exactly one string and its NUL, or nothing.
std::optional<QString> cleanString(const RegValue &v)
{
    const qsizetype n = v.data.size();
    if (v.type != RegType::Sz || n < 2 || n % 2 != 0)
        return std::nullopt;
    // Reading stops at the first NUL: all of the data is read only when
    // that is the last unit.
    const QString s = decodeRegSz(v.data);
    if (s.size() != n / 2 - 1 || !regFileCarries(s))
        return std::nullopt;
    return s;
}

// Comma-separated bytes from column on, continued on the next line with a
// "\" and two spaces wherever the line would grow past hexLineWidth.
void appendHex(QByteArray &out, qsizetype column, const QByteArray &data)
{
    static const char digits[] = "0123456789abcdef";
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; ++i) {
        const bool last = i + 1 == n;
        // A byte that is not the last brings its comma and may need room for the "\".
        // Past a long name even the first byte goes to the next line.
        const qsizetype need = last ? 2 : 4;
        if (column > 2 && column + need > hexLineWidth) {
            out += "\\\n  ";
            column = 2;
        }
        const uchar b = uchar(data.at(i));
        out += digits[b >> 4];
        out += digits[b & 15];
        column += 2;
        if (!last) {
            out += ',';
            ++column;
        }
    }
    out += '\n';
}

void appendValue(QByteArray &out, const RegValue &v)
{
    const qsizetype lineStart = out.size();
    if (v.name.isEmpty())
        out += '@';
    else
        appendQuoted(out, v.name);
    out += '=';
    const std::optional<quint32> dword =
        v.type == RegType::Dword ? decodeRegDword(v.data) : std::nullopt;
    if (const auto s = cleanString(v)) {
        appendQuoted(out, *s);
        out += '\n';
    } else if (dword) {
        out += "dword:" + QByteArray::number(*dword, 16).rightJustified(8, '0') + '\n';
    } else {
        if (v.type == RegType::Binary)
            out += "hex:";
        else
            out += "hex(" + QByteArray::number(v.type, 16) + "):";
        // Columns are counted in bytes; a name outside ASCII wraps a little early.
        appendHex(out, out.size() - lineStart, v.data);
    }
}

// root spelt as the registry spells it, whatever case the caller used.
RegKeyPath storedSpelling(const RegistryStore &store, const RegKeyPath &root)
{
    RegKeyPath key{root.hive, {}};
    for (const QString &part : root.parts) {
        const QString folded = foldName(part);
        QString found = part;
        for (const QString &name : store.subkeyNames(key)) {
            if (foldName(name) == folded) {
                found = name;
                break;
            }
        }
        key.parts.append(found);
    }
    return key;
}

// UTF-16LE whatever the host's byte order, with "\r\n" line ends, as
// regedit writes its files.
QByteArray toRegeditText(const QByteArray &utf8)
{
    const QString text = QString::fromUtf8(utf8);
    QByteArray bytes;
    bytes.reserve(text.size() * 2 + text.count(QLatin1Char('\n')) * 2);
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            bytes.append("\r\0", 2);
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

class Exporter
{
public:
    Exporter(const RegistryStore &store, QIODevice &out, RegFileEncoding encoding)
        : store(store), out(out), encoding(encoding)
    {
    }

    bool run(const QList<RegKeyPath> &roots);
    QString error; // why run() failed

private:
    bool writeKey(const RegKeyPath &key);
    bool flush(bool force);
    bool write(const QByteArray &bytes);

    const RegistryStore &store;     // what is written out
    QIODevice &out;                 // where it goes
    const RegFileEncoding encoding; // the form it goes in
    // Whole lines of UTF-8 text, written out a megabyte at a time.
    QByteArray buf;
};

bool Exporter::write(const QByteArray &bytes)
{
    if (out.write(bytes) == bytes.size())
        return true;
    error = QStringLiteral("cannot write the output: %1").arg(out.errorString());
    return false;
}

bool Exporter::flush(bool force)
{
    if (!force && buf.size() < (1 << 20))
        return true;
    if (encoding == RegFileEncoding::Utf16)
        buf = toRegeditText(buf);
    if (!buf.isEmpty() && !write(buf))
        return false;
    buf.clear();
    return true;
}

bool Exporter::writeKey(const RegKeyPath &key)
{
    QList<RegValue> values = store.values(key);
    if (key.parts.isEmpty() && values.isEmpty())
        return true;
    for (const QString &part : key.parts) {
        if (part.isEmpty() || !regFileCarries(part)) {
            error = QStringLiteral("the key %1 has a name that a .reg file cannot hold")
                        .arg(key.toString());
            return false;
        }
    }
    // The default value first, then the rest as the registry orders names,
    // without regard to case: Windows keeps values in the order they were
    // written, which a file cannot know, and Wine's regedit, reading this file
    // back, exports them in this order.
    std::stable_sort(values.begin(), values.end(), [](const RegValue &a, const RegValue &b) {
        return foldName(a.name) < foldName(b.name);
    });
    buf += '[' + key.toString().toUtf8() + "]\n";
    for (const RegValue &v : values) {
        if (!regFileCarries(v.name)) {
            error = QStringLiteral("a value of %1 has a name that a .reg file cannot hold")
                        .arg(key.toString());
            return false;
        }
        // Import would refuse it: what is written must read back.
        if (v.data.size() > maxRegValueBytes) {
            error = QStringLiteral("a value of %1 holds more than %2 MiB, more than a .reg file "
                                   "takes")
                        .arg(key.toString())
                        .arg(maxRegValueBytes / (1024 * 1024));
            return false;
        }
        appendValue(buf, v);
    }
    buf += '\n';
    return flush(false);
}

bool Exporter::run(const QList<RegKeyPath> &roots)
{
    buf = QByteArray(regFileHeaderV5.data(), regFileHeaderV5.size()) + "\n\n";
    if (encoding == RegFileEncoding::Utf16 && !write(QByteArray("\xff\xfe", 2)))
        return false;
    // Iterative, so that however deep the registry goes the stack does not:
    // one path, and for each level on it the names below and the next to go
    // to, rather than a path for every key still to be written.
    struct Level
    {
        QStringList subkeys;
        qsizetype next = 0;
    };
    for (const RegKeyPath &root : roots) {
        RegKeyPath key = root;
        if (!writeKey(key))
            return false;
        std::vector<Level> levels{{store.subkeyNames(key)}};
        while (!levels.empty()) {
            Level &level = levels.back();
            if (level.next == level.subkeys.size()) {
                levels.pop_back();
                if (!levels.empty())
                    key.parts.removeLast();
                continue;
            }
            key.parts.append(level.subkeys.at(level.next++));
            if (!writeKey(key))
                return false;
            levels.push_back({store.subkeyNames(key)});
        }
    }
    return flush(true);
}

} // namespace

bool exportRegFile(const RegistryStore &store, const std::optional<RegKeyPath> &root,
                   QIODevice &out, QString *error, RegFileEncoding encoding)
{
    if (!store.isUsable())
        return failWith(error,
                        QStringLiteral("the registry %1 cannot be read").arg(store.fileName()));
    QList<RegKeyPath> roots;
    if (root) {
        // A hive is there even when nothing has been written to it.
        if (!root->parts.isEmpty() && !store.keyExists(*root))
            return failWith(error, QStringLiteral("no such key: %1").arg(root->toString()));
        roots.append(storedSpelling(store, *root));
    } else {
        roots = {RegKeyPath{Hive::LocalMachine, {}}, RegKeyPath{Hive::CurrentUser, {}}};
    }
    Exporter exporter(store, out, encoding);
    if (!exporter.run(roots))
        return failWith(error, exporter.error);
    return true;
}
