// Reading .reg files into the store.
//
// A file streams through, so that memory does not grow with it: RegFileLines
// (regfile_decoder.cpp) makes its bytes text a piece at a time; the Parser
// below turns each line into an operation and applies it at once, all in
// one transaction that the first line it cannot take rolls back, so that a
// file lands whole or not at all.
//
// Laid out in that order: the small lexical helpers, the operations and the
// Parser with its line handlers, and last the entry points that regfile.h
// declares.

#include "regfile.h"
#include "regfile_p.h"

#include <QFile>
#include <QStringView>

#include <optional>

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

QString tooBig()
{
    return QStringLiteral("the value holds more than %1 MiB, more than a .reg file takes")
        .arg(maxRegValueBytes / (1024 * 1024));
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
};

// Parses and applies, one entry at a time, inside the caller's transaction.
class Parser
{
public:
    Parser(RegistryStore &store, RegFileLines &lines, const QString &displayName)
        : store(store), lines(lines), displayName(displayName)
    {
    }

    // Whether the file starts as a .reg file does; read before the write
    // lock is taken, so that any other file takes none.
    bool header();
    // The rest, false at the first line that cannot be read or applied; the
    // caller then rolls everything back.
    bool run();

    QString error; // why run() failed

private:
    enum class Section { None, Open, Deleted };

    bool nextLine(QStringView *line);
    bool fail(int line, const QString &what);
    bool keyLine(QStringView t);
    bool valueLine(QStringView t);
    bool quoted(QStringView t, qsizetype *pos, QString *out, int line);
    bool hexList(QStringView first, QByteArray *data);
    bool apply(const Op &op);
    bool createPending();

    RegistryStore &store;            // where the file goes
    RegFileLines &lines;             // the file
    QString displayName;             // the file as messages name it
    bool ansi = false;               // REGEDIT4: hex strings are 8-bit
    Section section = Section::None; // what the last [KEY] line opened
    RegKeyPath current;              // the key values go to in an open section
    // The current section's key, not yet created: its first value creates
    // it anyway, which spares a third of the writes.
    std::optional<Op> pendingKey;
    QString currentName; // as the file spells it, for messages
};

bool Parser::fail(int line, const QString &what)
{
    error = lineError(displayName, line, what);
    return false;
}

// The next line; false at the end of the file, or with error set when the
// file stops being text there or cannot be read.
bool Parser::nextLine(QStringView *line)
{
    if (lines.next(line))
        return true;
    if (lines.failed())
        error = lines.lineNumber() > 0 ? lineError(displayName, lines.lineNumber(), lines.why)
                                       : displayName + QStringLiteral(": ") + lines.why;
    return false;
}

bool Parser::header()
{
    QStringView line;
    const QStringView first = nextLine(&line) ? trimBlanks(line) : QStringView();
    if (!error.isEmpty())
        return false;
    ansi = first == regFileHeaderV4;
    return ansi || first == regFileHeaderV5 ||
           fail(1, QStringLiteral("not a registry file: the first line must be \"%1\" or \"%2\"")
                       .arg(regFileHeaderV5, regFileHeaderV4));
}

bool Parser::run()
{
    QStringView line;
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
            ok = fail(lines.lineNumber(), QStringLiteral("expected [KEY], a value or a comment"));
        if (!ok)
            return false;
    }
    return error.isEmpty() && createPending();
}

// Writes op; a line that fails is named, and nothing of the file is kept.
bool Parser::apply(const Op &op)
{
    bool done = false;
    switch (op.kind) {
    case Op::CreateKey:
        done = store.createKey(op.key);
        break;
    case Op::DeleteKey:
        done = store.removeKey(op.key);
        break;
    case Op::SetValue:
        done = store.setValue(op.key, op.name, op.type, op.data);
        break;
    case Op::DeleteValue:
        done = store.removeValue(op.key, op.name);
        break;
    }
    return done ||
           fail(op.line, QStringLiteral(
                             "could not be written to the registry; nothing of the file was kept"));
}

bool Parser::createPending()
{
    if (!pendingKey)
        return true;
    const Op op = std::move(*pendingKey);
    pendingKey.reset();
    return apply(op);
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
    if (key ? registryTakesKeyName(name) : registryTakesValueName(name))
        return QString();
    return QStringLiteral(
               "a %1 name cannot start with U+FEFF or U+FFFE, or hold half a surrogate pair")
        .arg(key ? QStringLiteral("key") : QStringLiteral("value"));
}

bool Parser::keyLine(QStringView t)
{
    const int lineNo = lines.lineNumber();
    // The last "]" closes: key names may themselves hold brackets.
    if (!t.endsWith(u']'))
        return fail(lineNo, QStringLiteral("the key name has no closing ]"));
    QStringView inner = t.mid(1, t.size() - 2);
    const bool deletion = inner.startsWith(u'-');
    if (deletion)
        inner = inner.mid(1);
    if (inner.isEmpty())
        return fail(lineNo, QStringLiteral("empty key name"));
    const QString name = inner.toString();
    const auto key = parseRegKeyName(name);
    if (!key) {
        const qsizetype sep = inner.indexOf(u'\\');
        return fail(lineNo,
                    QStringLiteral("unknown hive \"%1\"").arg(sep < 0 ? inner : inner.left(sep)));
    }
    if (!fitsOnARegLine(inner))
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
    if (deletion && key->parts.isEmpty())
        return fail(lineNo, QStringLiteral("a whole hive cannot be deleted"));
    if (!createPending())
        return false;
    currentName = name;
    if (deletion) {
        section = Section::Deleted;
        return apply(Op{Op::DeleteKey, lineNo, *key, QString(), 0, QByteArray()});
    }
    section = Section::Open;
    current = *key;
    Op create{Op::CreateKey, lineNo, *key, QString(), 0, QByteArray()};
    // Not through the merged view, though: there creating a key and writing
    // a value may land in different hives.
    if (key->hive == Hive::ClassesRoot)
        return apply(create);
    pendingKey = std::move(create);
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
    const int start = lines.lineNumber();
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
    } else if (!fitsOnARegLine(name)) {
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
        if (s.size() >= maxRegValueBytes / 2)
            return fail(start, tooBig());
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
            if (op.data.size() > maxRegValueBytes / 2)
                return fail(start, tooBig());
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
    // A value written creates its key; one deleted from a key not there
    // yet deletes nothing, as it would once the key is made.
    if (op.kind == Op::SetValue)
        pendingKey.reset();
    return apply(op);
}

// Comma-separated bytes; a trailing "\" continues the list on the next
// line. Each line's bytes are taken as it comes, so that a long list is never
// held as text whole; a line's end may still cut a byte in two.
bool Parser::hexList(QStringView first, QByteArray *data)
{
    const int start = lines.lineNumber();
    data->clear();
    // What came since the last comma on the lines before, where it began,
    // and where its first character that is not blank is.
    QString cut;
    int cutStart = 0, cutLine = 0;
    int commaLine = 0; // where the last comma was, which must not end the list
    const auto take = [&](QStringView byte, int line) {
        const int high = byte.size() == 2 ? hexDigit(byte[0]) : 0;
        const int low = byte.isEmpty() || byte.size() > 2 ? -1 : hexDigit(byte.back());
        if (high < 0 || low < 0)
            return fail(
                line, QStringLiteral("expected a byte of two hex digits, found \"%1\"").arg(byte));
        if (data->size() >= maxRegValueBytes)
            return fail(start, tooBig());
        data->append(char(high << 4 | low));
        return true;
    };
    QStringView list = first;
    for (int line = start;;) {
        const bool continues = list.endsWith(u'\\');
        if (continues)
            list.chop(1);
        for (;;) {
            const qsizetype comma = list.indexOf(u',');
            const QStringView piece = comma < 0 ? list : list.left(comma);
            if (!piece.isEmpty() && cut.isEmpty())
                cutStart = line;
            if (!trimBlanks(piece).isEmpty() && trimBlanks(cut).isEmpty())
                cutLine = line;
            if (comma < 0 && continues) {
                cut += piece;
                // Three characters are no byte, whatever follows them.
                if (trimBlanks(cut).size() > 2)
                    return take(trimBlanks(cut), cutLine);
                break;
            }
            // Joined only where a line's end cut it.
            const QString joined = cut.isEmpty() ? QString() : QString(cut + piece);
            const QStringView byte = cut.isEmpty() ? piece : QStringView(joined);
            const QStringView trimmed = trimBlanks(byte);
            // An empty byte is told where it began: after the comma before.
            const int at = !trimmed.isEmpty() ? cutLine : byte.isEmpty() ? line : cutStart;
            cut.clear();
            if (comma >= 0) {
                if (!take(trimmed, at))
                    return false;
                commaLine = line;
                list = list.mid(comma + 1);
                continue;
            }
            if (!trimmed.isEmpty())
                return take(trimmed, at);
            // No bytes at all is a value of length zero.
            return commaLine == 0 || fail(commaLine, QStringLiteral("the hex list ends in a ,"));
        }
        QStringView next;
        if (!nextLine(&next))
            return error.isEmpty() &&
                   fail(start, QStringLiteral("the hex list continues past the end of the file"));
        line = lines.lineNumber();
        list = trimBlanks(next);
    }
}

// ---------------------------------------------------------------------------
// Reading and applying

// Runs the parser over lines in one transaction of its own, or of the
// caller's when there is one.
bool importLines(RegistryStore &store, RegFileLines &lines, const QString &displayName,
                 QString *error)
{
    Parser parser(store, lines, displayName);
    if (!parser.header())
        return failWith(error, parser.error);
    if (!store.isWritable())
        return failWith(
            error, displayName +
                       QStringLiteral(": the registry %1 cannot be written").arg(store.fileName()));
    bool began = false;
    const bool landed = atomically(store, [&] {
        began = true;
        return parser.run();
    });
    if (landed)
        return true;
    if (!began)
        return failWith(
            error,
            displayName +
                QStringLiteral(": could not begin writing the registry %1").arg(store.fileName()));
    // A line that failed is named; a commit that failed has no line.
    return failWith(error, !parser.error.isEmpty()
                               ? parser.error
                               : displayName + QStringLiteral(": could not be written to the "
                                                              "registry; nothing of the file was "
                                                              "kept"));
}

} // namespace

std::optional<RegKeyPath> parseRegKeyName(const QString &name)
{
    const qsizetype sep = name.indexOf(QLatin1Char('\\'));
    const auto hive = hiveNamed(sep < 0 ? name : name.left(sep));
    if (!hive)
        return std::nullopt;
    RegKeyPath key{*hive, {}};
    if (sep >= 0)
        key.parts = name.mid(sep + 1).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return key;
}

bool importRegFile(RegistryStore &store, const QByteArray &content, const QString &displayName,
                   QString *error)
{
    RegFileLines lines(content);
    return importLines(store, lines, displayName, error);
}

bool importRegFile(RegistryStore &store, const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(error,
                        fileName + QStringLiteral(": cannot be read: ") + file.errorString());
    RegFileLines lines(file);
    return importLines(store, lines, fileName, error);
}
