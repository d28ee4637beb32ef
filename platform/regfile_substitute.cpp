#include "regfile.h"

#include <QFile>
#include <QIODevice>
#include <QStringView>

#include <algorithm>
#include <vector>

namespace {

const QLatin1String headerV5("Windows Registry Editor Version 5.00");
const QLatin1String headerV4("REGEDIT4");

// How wide regedit lets a hex list grow before it continues on the next line.
constexpr qsizetype hexLineWidth = 80;

// ---------------------------------------------------------------------------
// Reading

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

// Spaces, tabs and a stray CR only: other Unicode spaces may be part of a name.
QStringView trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
std::optional<quint32> parseHex32(QStringView s)
{
    if (s.isEmpty() || s.size() > 8)
        return std::nullopt;
    quint32 v = 0;
    for (QChar c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        v = v << 4 | quint32(d);
    }
    return v;
}

// Offset of the first byte that is not part of well-formed UTF-8, or -1.
// QString::fromUtf8 would quietly substitute, and a registry file with
// damaged text must be refused, not imported half-right.
qsizetype firstInvalidUtf8(const QByteArray &bytes, qsizetype from)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = from;
    while (i < n) {
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        quint32 cp;
        if (c >= 0xc2 && c <= 0xdf) {
            len = 2;
            cp = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            len = 3;
            cp = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return i;
        }
        if (n - i < len)
            return i;
        for (int k = 1; k < len; ++k) {
            const uchar cc = p[i + k];
            if ((cc & 0xc0) != 0x80)
                return i;
            cp = cp << 6 | (cc & 0x3f);
        }
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (overlong || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return i;
        i += len;
    }
    return -1;
}

int lineOfOffset(const QByteArray &bytes, qsizetype offset)
{
    return int(std::count(bytes.constBegin(), bytes.constBegin() + offset, '\n')) + 1;
}

// The file's text, or the line where it stops being text.
struct Decoded
{
    QString text;
    int badLine = 0;
    QString why;
};

Decoded decode(const QByteArray &content)
{
    Decoded out;
    const auto *p = reinterpret_cast<const uchar *>(content.constData());
    const qsizetype n = content.size();
    if (n >= 2 && p[0] == 0xfe && p[1] == 0xff) {
        out.badLine = 1;
        out.why = QStringLiteral("UTF-16 big-endian is not supported; use UTF-16LE or UTF-8");
        return out;
    }
    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        out.text.resize((n - 2) / 2);
        char16_t *dst = reinterpret_cast<char16_t *>(out.text.data());
        int line = 1;
        bool highPending = false; // a high surrogate waits for its low half
        for (qsizetype i = 2, j = 0; i + 1 < n; i += 2, ++j) {
            const char16_t u = char16_t(p[i] | p[i + 1] << 8);
            const bool low = QChar::isLowSurrogate(u);
            if (low != highPending) {
                out.badLine = line;
                out.why = QStringLiteral("the text is not valid UTF-16 (an unpaired surrogate)");
                return out;
            }
            highPending = QChar::isHighSurrogate(u);
            dst[j] = u;
            if (u == u'\n')
                ++line;
        }
        if (highPending || n % 2 != 0) {
            out.badLine = line;
            out.why = highPending
                          ? QStringLiteral("the text is not valid UTF-16 (an unpaired surrogate)")
                          : QStringLiteral("the UTF-16 text ends in half a character");
            return out;
        }
        return out;
    }
    const qsizetype start = (n >= 3 && p[0] == 0xef && p[1] == 0xbb && p[2] == 0xbf) ? 3 : 0;
    const qsizetype bad = firstInvalidUtf8(content, start);
    if (bad >= 0) {
        out.badLine = lineOfOffset(content, bad);
        out.why = QStringLiteral("the text is not valid UTF-8");
        return out;
    }
    out.text = QString::fromUtf8(content.constData() + start, n - start);
    return out;
}

struct Op
{
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;
    int line;
    RegKeyPath key;
    QString name;
    quint32 type = RegType::None;
    QByteArray data;
    // Set on a [KEY] whose first value creates it anyway: a third fewer writes.
    bool implied = false;
};

class Parser
{
public:
    explicit Parser(const QString &displayName) : displayName(displayName) {}

    bool parse(const QString &content);

    std::vector<Op> ops;
    QString error;

private:
    enum class Section { None, Open, Deleted };

    bool nextLine(QStringView *line);
    bool fail(int line, const QString &what);
    bool keyLine(QStringView t);
    bool valueLine(QStringView t);
    bool quoted(QStringView t, qsizetype *pos, QString *out, int line);
    bool hexList(QStringView first, QByteArray *data);

    QString displayName;
    QStringView text;
    qsizetype pos = 0;
    int lineNo = 0;
    bool ansi = false; // REGEDIT4: hex strings are 8-bit
    Section section = Section::None;
    RegKeyPath current;
    qsizetype currentOp = -1; // the CreateKey of the current section
    QString currentName;      // as the file spells it, for messages
};

bool Parser::fail(int line, const QString &what)
{
    error = displayName + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") + what;
    return false;
}

// The next physical line, without its line end.
bool Parser::nextLine(QStringView *line)
{
    if (pos >= text.size())
        return false;
    qsizetype end = text.indexOf(u'\n', pos);
    if (end < 0)
        end = text.size();
    QStringView l = text.mid(pos, end - pos);
    if (l.endsWith(u'\r'))
        l.chop(1);
    *line = l;
    pos = end + 1;
    ++lineNo;
    return true;
}

bool Parser::parse(const QString &content)
{
    text = content;
    QStringView line;
    const QStringView header = nextLine(&line) ? trimBlanks(line) : QStringView();
    if (header == headerV4) {
        ansi = true;
    } else if (header != headerV5) {
        return fail(1, QStringLiteral("not a registry file: the first line must be \"%1\" or "
                                      "\"%2\"")
                           .arg(headerV5, headerV4));
    }
    while (nextLine(&line)) {
        const QStringView t = trimBlanks(line);
        if (t.isEmpty() || t.startsWith(u';'))
            continue;
        bool ok;
        if (t.startsWith(u'['))
            ok = keyLine(t);
        else if (t.startsWith(u'"') || t.startsWith(u'@'))
            ok = valueLine(t);
        else
            ok = fail(lineNo, QStringLiteral("expected [KEY], a value or a comment"));
        if (!ok)
            return false;
    }
    return true;
}

bool holdsLineBreakOrNul(QStringView name)
{
    return name.contains(u'\r') || name.contains(u'\n') || name.contains(QChar(0));
}

// Why the registry would refuse a name that has passed the line checks, or
// nothing when it takes it.
QString nameFault(QStringView name, bool key)
{
    const qsizetype limit = key ? maxKeyNameLength : maxValueNameLength;
    if (name.size() > limit)
        return QStringLiteral("a %1 name is longer than %2 characters")
            .arg(key ? QStringLiteral("key") : QStringLiteral("value"))
            .arg(limit);
    if (key ? isValidKeyName(name) : isValidValueName(name))
        return QString();
    return QStringLiteral("a %1 name cannot start with U+FEFF or hold half a surrogate pair")
        .arg(key ? QStringLiteral("key") : QStringLiteral("value"));
}

bool Parser::keyLine(QStringView t)
{
    // The last "]" closes: key names may themselves hold brackets.
    if (!t.endsWith(u']'))
        return fail(lineNo, QStringLiteral("the key name has no closing ]"));
    QStringView inner = t.mid(1, t.size() - 2);
    const bool deletion = inner.startsWith(u'-');
    if (deletion)
        inner = inner.mid(1);
    if (inner.isEmpty())
        return fail(lineNo, QStringLiteral("empty key name"));
    const auto key = parseRegKeyName(inner.toString());
    if (!key) {
        const qsizetype sep = inner.indexOf(u'\\');
        return fail(lineNo,
                    QStringLiteral("unknown hive \"%1\"").arg(sep < 0 ? inner : inner.left(sep)));
    }
    if (holdsLineBreakOrNul(inner))
        return fail(lineNo, QStringLiteral("a key name cannot hold a line break or NUL"));
    for (const QString &part : key->parts) {
        const QString fault = nameFault(part, true);
        if (!fault.isEmpty())
            return fail(lineNo, fault);
    }
    currentName = inner.toString();
    if (deletion) {
        if (key->parts.isEmpty())
            return fail(lineNo, QStringLiteral("a whole hive cannot be deleted"));
        ops.push_back(Op{Op::DeleteKey, lineNo, *key, QString(), 0, QByteArray()});
        currentOp = -1;
        section = Section::Deleted;
    } else {
        currentOp = qsizetype(ops.size());
        ops.push_back(Op{Op::CreateKey, lineNo, *key, QString(), 0, QByteArray()});
        section = Section::Open;
        current = *key;
    }
    return true;
}

// A string in double quotes from t[*pos], which is the opening quote;
// *pos ends after the closing one.
bool Parser::quoted(QStringView t, qsizetype *pos, QString *out, int line)
{
    out->clear();
    qsizetype i = *pos + 1;
    qsizetype runStart = i;
    while (i < t.size()) {
        const QChar c = t[i];
        if (c == u'"') {
            out->append(t.mid(runStart, i - runStart));
            *pos = i + 1;
            return true;
        }
        if (c == u'\\') {
            out->append(t.mid(runStart, i - runStart));
            if (i + 1 >= t.size())
                break;
            const QChar next = t[i + 1];
            if (next != u'\\' && next != u'"')
                return fail(line,
                            QStringLiteral("unknown escape \\%1 in a string; only \\\\ and \\\" "
                                           "are escapes")
                                .arg(next));
            out->append(next);
            i += 2;
            runStart = i;
            continue;
        }
        ++i;
    }
    return fail(line, QStringLiteral("the string has no closing \""));
}

bool Parser::valueLine(QStringView t)
{
    const int start = lineNo;
    if (section == Section::None)
        return fail(start, QStringLiteral("a value before any [KEY]"));
    if (section == Section::Deleted)
        return fail(start, QStringLiteral("a value under the deleted key [-%1]").arg(currentName));

    qsizetype i = 0;
    QString name;
    if (t[0] == u'@') {
        i = 1;
    } else if (!quoted(t, &i, &name, start)) {
        return false;
    } else if (holdsLineBreakOrNul(name)) {
        // Such a name could never be written back out as a line of its own.
        return fail(start, QStringLiteral("a value name cannot hold a line break or NUL"));
    } else if (const QString fault = nameFault(name, false); !fault.isEmpty()) {
        return fail(start, fault);
    }
    while (i < t.size() && isBlank(t[i]))
        ++i;
    if (i >= t.size() || t[i] != u'=')
        return fail(start, QStringLiteral("expected = after the value name"));
    ++i;
    while (i < t.size() && isBlank(t[i]))
        ++i;
    const QStringView rest = t.mid(i);

    Op op{Op::SetValue, start, current, name, RegType::Sz, QByteArray()};
    if (rest.startsWith(u'"')) {
        qsizetype j = 0;
        QString s;
        if (!quoted(rest, &j, &s, start))
            return false;
        if (j != rest.size())
            return fail(start, QStringLiteral("unexpected text after the string"));
        op.data = encodeRegSz(s);
    } else if (rest == u"-") {
        op.kind = Op::DeleteValue;
    } else if (rest.startsWith(u"dword:", Qt::CaseInsensitive)) {
        const auto v = parseHex32(rest.mid(6));
        if (!v)
            return fail(start, QStringLiteral("dword: takes 1 to 8 hex digits"));
        op.type = RegType::Dword;
        op.data.resize(4);
        for (int b = 0; b < 4; ++b)
            op.data[b] = char(*v >> (8 * b));
    } else if (rest.startsWith(u"hex", Qt::CaseInsensitive)) {
        qsizetype colon = 3;
        op.type = RegType::Binary;
        if (rest.mid(3).startsWith(u'(')) {
            const qsizetype close = rest.indexOf(u')', 4);
            const auto type = close < 0 ? std::nullopt : parseHex32(rest.mid(4, close - 4));
            if (!type)
                return fail(start, QStringLiteral("hex(N): takes a type of 1 to 8 hex digits"));
            op.type = *type;
            colon = close + 1;
        }
        if (colon >= rest.size() || rest[colon] != u':')
            return fail(start, QStringLiteral("expected : after hex"));
        if (!hexList(rest.mid(colon + 1), &op.data))
            return false;
        if (ansi && (op.type == RegType::ExpandSz || op.type == RegType::MultiSz)) {
            QByteArray wide(op.data.size() * 2, '\0');
            char *out = wide.data();
            for (qsizetype b = 0; b < op.data.size(); ++b)
                out[2 * b] = op.data.at(b);
            op.data = wide;
        }
    } else {
        return fail(start, QStringLiteral("unknown value data; expected \"string\", dword:, "
                                          "hex:, hex(N): or -"));
    }
    // Not through the merged view, though: there creating a key and writing
    // a value may land in different hives.
    if (op.kind == Op::SetValue && currentOp >= 0 && current.hive != Hive::ClassesRoot) {
        ops[size_t(currentOp)].implied = true;
        currentOp = -1;
    }
    ops.push_back(std::move(op));
    return true;
}

// Comma-separated bytes; a trailing "\" continues the list on the next line.
bool Parser::hexList(QStringView first, QByteArray *data)
{
    // Where each physical line begins in the joined list, so that a bad byte
    // is reported on its own line.
    struct Piece
    {
        qsizetype offset;
        int line;
    };
    std::vector<Piece> pieces{{0, lineNo}};
    const int start = lineNo;
    QString joined;
    QStringView list = first;
    while (list.endsWith(u'\\')) {
        joined.append(list.chopped(1));
        QStringView next;
        if (!nextLine(&next))
            return fail(start, QStringLiteral("the hex list continues past the end of the file"));
        pieces.push_back({joined.size(), lineNo});
        list = trimBlanks(next);
    }
    if (!joined.isEmpty() || pieces.size() > 1) {
        joined.append(list);
        list = joined;
    }
    auto lineAt = [&](qsizetype offset) {
        int line = start;
        for (const Piece &p : pieces) {
            if (p.offset <= offset)
                line = p.line;
        }
        return line;
    };

    data->clear();
    data->reserve(list.size() / 3 + 1);
    if (trimBlanks(list).isEmpty())
        return true; // no bytes at all is a value of length zero
    const qsizetype n = list.size();
    for (qsizetype i = 0;;) {
        qsizetype end = list.indexOf(u',', i);
        if (end < 0)
            end = n;
        const QStringView byte = trimBlanks(list.mid(i, end - i));
        const qsizetype at = byte.isEmpty() ? i : byte.begin() - list.begin();
        if (byte.isEmpty() && end == n)
            return fail(lineAt(i - 1), QStringLiteral("the hex list ends in a ,"));
        const int high = byte.size() == 2 ? hexDigit(byte[0]) : 0;
        const int low = byte.isEmpty() || byte.size() > 2 ? -1 : hexDigit(byte.back());
        if (high < 0 || low < 0)
            return fail(lineAt(at), QStringLiteral("expected a byte of two hex digits, found "
                                                   "\"%1\"")
                                        .arg(byte));
        data->append(char(high << 4 | low));
        if (end == n)
            return true;
        i = end + 1;
    }
}

bool apply(RegistryStore &store, const std::vector<Op> &ops, const QString &displayName,
           QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = what;
        return false;
    };
    if (!store.isWritable())
        return fail(displayName +
                    QStringLiteral(": the registry %1 cannot be written").arg(store.fileName()));
    if (!store.beginTransaction())
        return fail(
            displayName +
            QStringLiteral(": could not begin writing the registry %1").arg(store.fileName()));
    for (const Op &op : ops) {
        if (op.implied)
            continue;
        bool ok = false;
        switch (op.kind) {
        case Op::CreateKey:
            ok = store.createKey(op.key);
            break;
        case Op::DeleteKey:
            ok = store.removeKey(op.key);
            break;
        case Op::SetValue:
            ok = store.setValue(op.key, op.name, op.type, op.data);
            break;
        case Op::DeleteValue:
            ok = store.removeValue(op.key, op.name);
            break;
        }
        if (!ok) {
            store.rollbackTransaction();
            return fail(displayName + QLatin1Char(':') + QString::number(op.line) +
                        QStringLiteral(": could not be written to the registry; nothing of the "
                                       "file was kept"));
        }
    }
    if (!store.commitTransaction())
        return fail(displayName + QStringLiteral(": could not be written to the registry; "
                                                 "nothing of the file was kept"));
    return true;
}

// ---------------------------------------------------------------------------
// Writing

// What a .reg line can carry and read back unchanged, and what other
// readers of the file take as text.
bool writableText(QStringView s)
{
    for (QChar c : s) {
        if (c == u'\n' || c == u'\r' || c == u'\0')
            return false;
    }
    return s.isValidUtf16();
}

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
    if (v.type != RegType::Sz || n < 2 || n % 2 != 0 || v.data.at(n - 1) || v.data.at(n - 2))
        return std::nullopt;
    QString s(n / 2 - 1, Qt::Uninitialized);
    const auto *p = reinterpret_cast<const uchar *>(v.data.constData());
    QChar *chars = s.data();
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = char16_t(p[2 * i] | p[2 * i + 1] << 8);
        if (u == 0)
            return std::nullopt;
        chars[i] = QChar(u);
    }
    if (!writableText(s))
        return std::nullopt;
    return s;
}

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
    if (const auto s = cleanString(v)) {
        appendQuoted(out, *s);
        out += '\n';
    } else if (v.type == RegType::Dword && v.data.size() == 4) {
        const auto *p = reinterpret_cast<const uchar *>(v.data.constData());
        const quint32 d =
            quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        out += "dword:" + QByteArray::number(d, 16).rightJustified(8, '0') + '\n';
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

class Exporter
{
public:
    Exporter(const RegistryStore &store, QIODevice &out, RegFileEncoding encoding)
        : store(store), out(out), encoding(encoding)
    {
    }

    bool run(const QList<RegKeyPath> &roots);
    QString error;

private:
    bool writeKey(const RegKeyPath &key);
    bool flush(bool force);

    const RegistryStore &store;
    QIODevice &out;
    const RegFileEncoding encoding;
    // Whole lines of UTF-8 text, written out a megabyte at a time.
    QByteArray buf;
};

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

bool Exporter::flush(bool force)
{
    if (!force && buf.size() < (1 << 20))
        return true;
    if (encoding == RegFileEncoding::Utf16)
        buf = toRegeditText(buf);
    if (!buf.isEmpty() && out.write(buf) != buf.size()) {
        error = QStringLiteral("cannot write the output: %1").arg(out.errorString());
        return false;
    }
    buf.clear();
    return true;
}

bool Exporter::writeKey(const RegKeyPath &key)
{
    QList<RegValue> values = store.values(key);
    if (key.parts.isEmpty() && values.isEmpty())
        return true;
    for (const QString &part : key.parts) {
        if (part.isEmpty() || !writableText(part)) {
            error = QStringLiteral("the key %1 has a name that a .reg file cannot hold")
                        .arg(key.toString());
            return false;
        }
    }
    std::stable_partition(values.begin(), values.end(),
                          [](const RegValue &v) { return v.name.isEmpty(); });
    buf += '[' + key.toString().toUtf8() + "]\n";
    for (const RegValue &v : values) {
        if (!writableText(v.name)) {
            error = QStringLiteral("a value of %1 has a name that a .reg file cannot hold")
                        .arg(key.toString());
            return false;
        }
        appendValue(buf, v);
    }
    buf += '\n';
    return flush(false);
}

bool Exporter::run(const QList<RegKeyPath> &roots)
{
    buf = QByteArray(headerV5.data(), headerV5.size()) + "\n\n";
    if (encoding == RegFileEncoding::Utf16 && out.write("\xff\xfe", 2) != 2) {
        error = QStringLiteral("cannot write the output: %1").arg(out.errorString());
        return false;
    }
    // Iterative, so that however deep the registry goes the stack does not.
    std::vector<RegKeyPath> pending;
    for (auto r = roots.crbegin(); r != roots.crend(); ++r)
        pending.push_back(*r);
    while (!pending.empty()) {
        const RegKeyPath key = std::move(pending.back());
        pending.pop_back();
        if (!writeKey(key))
            return false;
        const QStringList subkeys = store.subkeyNames(key);
        for (auto s = subkeys.crbegin(); s != subkeys.crend(); ++s)
            pending.push_back(key.child(*s));
    }
    return flush(true);
}

} // namespace

std::optional<RegKeyPath> parseRegKeyName(const QString &name)
{
    const qsizetype sep = name.indexOf(QLatin1Char('\\'));
    const QString hive = sep < 0 ? name : name.left(sep);
    if (hive.isEmpty() || hive.contains(QLatin1Char('/')))
        return std::nullopt;
    auto key = parseKeyPath(hive);
    if (!key || !key->parts.isEmpty())
        return std::nullopt;
    if (sep >= 0)
        key->parts = name.mid(sep + 1).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return key;
}

bool importRegFile(RegistryStore &store, const QByteArray &content, const QString &displayName,
                   QString *error)
{
    const Decoded decoded = decode(content);
    if (decoded.badLine) {
        if (error)
            *error = displayName + QLatin1Char(':') + QString::number(decoded.badLine) +
                     QStringLiteral(": ") + decoded.why;
        return false;
    }
    Parser parser(displayName);
    if (!parser.parse(decoded.text)) {
        if (error)
            *error = parser.error;
        return false;
    }
    return apply(store, parser.ops, displayName, error);
}

bool importRegFile(RegistryStore &store, const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = fileName + QStringLiteral(": cannot be read: ") + file.errorString();
        return false;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = fileName + QStringLiteral(": cannot be read: ") + file.errorString();
        return false;
    }
    return importRegFile(store, content, fileName, error);
}

bool exportRegFile(const RegistryStore &store, const std::optional<RegKeyPath> &root,
                   QIODevice &out, QString *error, RegFileEncoding encoding)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = what;
        return false;
    };
    if (!store.isUsable())
        return fail(QStringLiteral("the registry %1 cannot be read").arg(store.fileName()));
    QList<RegKeyPath> roots;
    if (root) {
        // A hive is there even when nothing has been written to it.
        if (!root->parts.isEmpty() && !store.keyExists(*root))
            return fail(QStringLiteral("no such key: %1").arg(root->toString()));
        roots.append(storedSpelling(store, *root));
    } else {
        roots = {RegKeyPath{Hive::LocalMachine, {}}, RegKeyPath{Hive::CurrentUser, {}}};
    }
    Exporter exporter(store, out, encoding);
    if (!exporter.run(roots))
        return fail(exporter.error);
    return true;
}
