// A .reg file's bytes as text, a piece at a time. Damaged text is refused,
// with its line, rather than imported half-right.

#include "regfile.h"
#include "regfile_p.h"

#include <QFile>

#include <algorithm>
#include <initializer_list>

namespace {

// How many bytes are read and decoded at a time.
constexpr qsizetype pieceBytes = 1 << 20;

// Only the first U+FEFF marks the byte order; a second one is text before
// the header, which no reader of the file would take for part of it.
QString secondBom()
{
    return QStringLiteral("the file starts with two byte-order marks (U+FEFF); a .reg file has "
                          "at most one");
}

QString unpairedSurrogate()
{
    return QStringLiteral("the text is not valid UTF-16 (an unpaired surrogate)");
}

} // namespace

RegFileLines::RegFileLines(QFile &file) : file(&file) {}

RegFileLines::RegFileLines(const QByteArray &content) : content(content) {}

bool RegFileLines::next(QStringView *out)
{
    const auto tooLong = [this] {
        why = QStringLiteral("the line is longer than %1 Mi characters, more than a .reg file "
                             "holds on one line")
                  .arg(maxRegLineChars / (1024 * 1024));
        return false;
    };
    for (;;) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), scanned);
        if (end < 0) {
            scanned = text.size();
            // Known too long before its end is read: a file without line
            // ends is not held whole.
            if (text.size() - pos > maxRegLineChars + 1) {
                ++line;
                return tooLong();
            }
            if (!bad.isEmpty()) {
                ++line;
                why = bad;
                return false;
            }
            if (!ended) {
                // What was given out makes room for the next piece.
                text.remove(0, pos);
                scanned -= pos;
                pos = 0;
                if (!fill())
                    return false;
                continue;
            }
            if (pos == text.size())
                return false;
            end = text.size(); // the last line has no line end
        }
        ++line;
        QStringView l(text.constData() + pos, end - pos);
        pos = scanned = qMin(end + 1, qsizetype(text.size()));
        if (l.endsWith(u'\r'))
            l.chop(1);
        if (l.size() > maxRegLineChars)
            return tooLong();
        *out = l;
        return true;
    }
}

bool RegFileLines::fill()
{
    if (!file) {
        const qsizetype n = qMin(pieceBytes, qsizetype(content.size()) - contentAt);
        contentAt += n;
        decode(content.constData() + contentAt - n, n, contentAt == content.size());
        return true;
    }
    const QByteArray piece = file->read(pieceBytes);
    if (piece.isEmpty() && file->error() != QFileDevice::NoError) {
        line = 0;
        why = QStringLiteral("cannot be read: ") + file->errorString();
        return false;
    }
    decode(piece.constData(), piece.size(), piece.isEmpty());
    return true;
}

void RegFileLines::decode(const char *bytes, qsizetype size, bool last)
{
    QByteArray joined;
    if (!carry.isEmpty()) {
        joined = carry + QByteArray(bytes, size);
        carry.clear();
        bytes = joined.constData();
        size = joined.size();
    }
    if (encoding == Encoding::Unknown) {
        // Room for a byte-order mark and a second one after it.
        if (size < 6 && !last) {
            carry = QByteArray(bytes, size);
            return;
        }
        const auto *p = reinterpret_cast<const uchar *>(bytes);
        const auto markAt = [&](qsizetype at, std::initializer_list<uchar> mark) {
            return size >= at + qsizetype(mark.size()) &&
                   std::equal(mark.begin(), mark.end(), p + at);
        };
        qsizetype skip = 0;
        if (markAt(0, {0xfe, 0xff})) {
            bad = QStringLiteral("UTF-16 big-endian is not supported; use UTF-16LE or UTF-8");
        } else if (markAt(0, {0xff, 0xfe})) {
            encoding = Encoding::Utf16;
            skip = 2;
            if (markAt(2, {0xff, 0xfe}))
                bad = secondBom();
        } else {
            encoding = Encoding::Utf8;
            if (markAt(0, {0xef, 0xbb, 0xbf})) {
                skip = 3;
                if (markAt(3, {0xef, 0xbb, 0xbf}))
                    bad = secondBom();
            }
        }
        if (!bad.isEmpty()) {
            ended = true;
            return;
        }
        bytes += skip;
        size -= skip;
    }
    if (encoding == Encoding::Utf16)
        decodeUtf16(bytes, size, last);
    else
        decodeUtf8(bytes, size, last);
    if (last || !bad.isEmpty())
        ended = true;
}

// Appends the well-formed UTF-8 of bytes to text, stopping at the first byte
// that is not (QString::fromUtf8 would quietly substitute). A character that
// the piece's end cuts waits in carry for the next piece.
void RegFileLines::decodeUtf8(const char *bytes, qsizetype size, bool last)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes);
    const qsizetype old = text.size();
    text.resize(old + size); // never more units than bytes
    auto *out = reinterpret_cast<char16_t *>(text.data()) + old;
    qsizetype i = 0, k = 0;
    while (i < size) {
        const uchar c = p[i];
        if (c < 0x80) {
            out[k++] = c;
            ++i;
            continue;
        }
        int len;
        char32_t cp;
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
            break;
        }
        if (size - i < len) {
            if (!last)
                carry = QByteArray(bytes + i, size - i);
            break;
        }
        int b = 1;
        for (; b < len && (p[i + b] & 0xc0) == 0x80; ++b)
            cp = cp << 6 | (p[i + b] & 0x3f);
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (b < len || overlong || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            break;
        if (cp >= 0x10000) {
            out[k++] = QChar::highSurrogate(cp);
            out[k++] = QChar::lowSurrogate(cp);
        } else {
            out[k++] = char16_t(cp);
        }
        i += len;
    }
    text.resize(old + k);
    if (i + carry.size() < size)
        bad = QStringLiteral("the text is not valid UTF-8");
}

// The same for UTF-16LE, whose surrogate pairs may span two pieces.
void RegFileLines::decodeUtf16(const char *bytes, qsizetype size, bool last)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes);
    const qsizetype units = size / 2;
    const qsizetype old = text.size();
    text.resize(old + units);
    auto *out = reinterpret_cast<char16_t *>(text.data()) + old;
    qsizetype k = 0;
    for (; k < units; ++k) {
        const char16_t u = char16_t(p[2 * k] | p[2 * k + 1] << 8);
        if (QChar::isLowSurrogate(u) != highPending)
            break;
        highPending = QChar::isHighSurrogate(u);
        out[k] = u;
    }
    text.resize(old + k);
    if (k < units || (last && highPending))
        bad = unpairedSurrogate();
    else if (size % 2 != 0 && last)
        bad = QStringLiteral("the UTF-16 text ends in half a character");
    else if (size % 2 != 0)
        carry = QByteArray(bytes + size - 1, 1);
}
