// Reading .reg files into the store.
//
// A file is read whole before anything is written, in three steps:
// decodeRegFileText() (regfile_decoder.cpp) makes its bytes text; the
// Parser below turns the text, line by line, into a list of operations,
// stopping at the first line it cannot take; apply() then runs those
// operations as one transaction, so that a file lands whole or not at all.
//
// Laid out in that order: the small lexical helpers, the operations and the
// Parser with its line handlers, the applier, and last the entry points
// that regfile.h declares.

#include "regfile.h"
#include "regfile_p.h"

#include <QFile>
#include <QStringView>

#include <vector>

namespace {

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

// "FILE:LINE: what", as every complaint about a line of the file reads.
QString lineError(const QString &displayName, int line, const QString &what)
{
    return displayName + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") + what;
}

// ---------------------------------------------------------------------------
// Parsing

// One change the file asks for, in the file's order.
struct Op
{
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;                    // what the change does
    int line;                     // where its entry starts, for the message if it fails
    RegKeyPath key;               // the key it creates, deletes or writes in
    QString name;                 // the value's name, for SetValue and DeleteValue
    quint32 type = RegType::None; // the value's type, for SetValue
    QByteArray data;              // the value's bytes, for SetValue
    // Set on a [KEY] whose first value creates it anyway: a third fewer writes.
    bool implied = false;
};

class Parser
{
public:
    explicit Parser(const QString &displayName) : displayName(displayName) {}

    bool parse(const QString &content);

    std::vector<Op> ops; // what the file asks for, once parse() succeeds
    QString error;       // why parse() failed

private:
    enum class Section { None, Open, Deleted };

    bool nextLine(QStringView *line);
    bool fail(int line, const QString &what);
    bool keyLine(QStringView t);
    bool valueLine(QStringView t);
    bool quoted(QStringView t, qsizetype *pos, QString *out, int line);
    bool hexList(QStringView first, QByteArray *data);

    QString displayName;             // the file as messages name it
    QStringView text;                // the whole file
    qsizetype pos = 0;               // where the next line starts in text
    int lineNo = 0;                  // the line nextLine() gave last
    bool ansi = false;               // REGEDIT4: hex strings are 8-bit
    Section section = Section::None; // what the last [KEY] line opened
    RegKeyPath current;              // the key values go to in an open section
    qsizetype currentOp = -1;        // the CreateKey of the current section
    QString currentName;             // as the file spells it, for messages
};

bool Parser::fail(int line, const QString &what)
{
    error = lineError(displayName, line, what);
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
    if (header == regFileHeaderV4) {
        ansi = true;
    } else if (header != regFileHeaderV5) {
        return fail(1, QStringLiteral("not a registry file: the first line must be \"%1\" or "
                                      "\"%2\"")
                           .arg(regFileHeaderV5, regFileHeaderV4));
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
    return QStringLiteral(
               "a %1 name cannot start with U+FEFF or U+FFFE, or hold half a surrogate pair")
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
    if (!fitsOnOneLine(inner))
        return fail(lineNo, QStringLiteral("a key name cannot hold a line break or NUL"));
    // Told here, the limit has a line to name.
    if (key->hive == Hive::ClassesRoot && key->parts.size() > maxKeyDepthBelow(key->hive))
        return fail(lineNo, QStringLiteral("keys under HKEY_CLASSES_ROOT nest at most %1 levels "
                                           "deep, as they are kept under Software\\Classes, "
                                           "%2 levels below a hive at most")
                                .arg(maxKeyDepthBelow(key->hive))
                                .arg(maxKeyDepth));
    if (key->parts.size() > maxKeyDepth)
        return fail(lineNo, QStringLiteral("keys nest at most %1 levels deep").arg(maxKeyDepth));
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
    } else if (!fitsOnOneLine(name)) {
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
        op.data = encodeRegDword(*v);
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
        qsizetype offset; // where the line's bytes start in the joined list
        int line;         // the line's number in the file
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

// ---------------------------------------------------------------------------
// Applying

bool applyOne(RegistryStore &store, const Op &op)
{
    switch (op.kind) {
    case Op::CreateKey:
        return store.createKey(op.key);
    case Op::DeleteKey:
        return store.removeKey(op.key);
    case Op::SetValue:
        return store.setValue(op.key, op.name, op.type, op.data);
    case Op::DeleteValue:
        return store.removeValue(op.key, op.name);
    }
    return false;
}

bool apply(RegistryStore &store, const std::vector<Op> &ops, const QString &displayName,
           QString *error)
{
    if (!store.isWritable())
        return failWith(
            error, displayName +
                       QStringLiteral(": the registry %1 cannot be written").arg(store.fileName()));
    bool began = false;
    const Op *failed = nullptr;
    const bool landed = atomically(store, [&] {
        began = true;
        for (const Op &op : ops) {
            if (!op.implied && !applyOne(store, op)) {
                failed = &op;
                return false;
            }
        }
        return true;
    });
    if (landed)
        return true;
    if (!began)
        return failWith(
            error,
            displayName +
                QStringLiteral(": could not begin writing the registry %1").arg(store.fileName()));
    const QString lost =
        QStringLiteral("could not be written to the registry; nothing of the file was kept");
    // A line that failed is named; a commit that failed has no line.
    return failWith(error, failed ? lineError(displayName, failed->line, lost)
                                  : displayName + QStringLiteral(": ") + lost);
}

// ---------------------------------------------------------------------------
// The size limit

// The characters text holds, a "\r\n" line end counting as one: what
// regedit's UTF-16 form adds to each line is not more text.
qint64 textLength(QStringView text)
{
    qint64 crlf = 0;
    for (qsizetype i = text.indexOf(u'\r'); i >= 0; i = text.indexOf(u'\r', i + 1)) {
        if (i + 1 < text.size() && text[i + 1] == u'\n')
            ++crlf;
    }
    return text.size() - crlf;
}

QString tooLarge(const QString &displayName)
{
    return displayName + QStringLiteral(": longer than %1 Mi characters (%2), more than a .reg "
                                        "file can hold")
                             .arg(maxRegFileChars / (1024 * 1024))
                             .arg(maxRegFileChars);
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
    const RegFileText decoded = decodeRegFileText(content);
    if (decoded.badLine)
        return failWith(error, lineError(displayName, decoded.badLine, decoded.why));
    if (textLength(decoded.text) > maxRegFileChars)
        return failWith(error, tooLarge(displayName));
    Parser parser(displayName);
    if (!parser.parse(decoded.text))
        return failWith(error, parser.error);
    return apply(store, parser.ops, displayName, error);
}

bool importRegFile(RegistryStore &store, const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(error,
                        fileName + QStringLiteral(": cannot be read: ") + file.errorString());
    // The size first, so that a file that cannot fit is not read at all;
    // devices and pipes tell none, and are read only until they pass it.
    if (file.size() > maxRegFileBytes)
        return failWith(error, tooLarge(fileName));
    QByteArray content;
    while (content.size() <= maxRegFileBytes) {
        const QByteArray chunk = file.read(1024 * 1024);
        if (chunk.isEmpty())
            break;
        content += chunk;
    }
    if (content.size() > maxRegFileBytes)
        return failWith(error, tooLarge(fileName));
    if (file.error() != QFileDevice::NoError)
        return failWith(error,
                        fileName + QStringLiteral(": cannot be read: ") + file.errorString());
    return importRegFile(store, content, fileName, error);
}
