// A .reg file's bytes as text. Damaged text is refused, with its line,
// rather than imported half-right.

#include "regfile_p.h"

#include <algorithm>

namespace {

// Offset of the first byte that is not part of well-formed UTF-8, or -1.
// QString::fromUtf8 would quietly substitute.
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

// Only the first U+FEFF marks the byte order; a second one is text before
// the header, which no reader of the file would take for part of it.
QString secondBom()
{
    return QStringLiteral("the file starts with two byte-order marks (U+FEFF); a .reg file has "
                          "at most one");
}

int lineOfOffset(const QByteArray &bytes, qsizetype offset)
{
    return int(std::count(bytes.constBegin(), bytes.constBegin() + offset, '\n')) + 1;
}

} // namespace

RegFileText decodeRegFileText(const QByteArray &content)
{
    RegFileText out;
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
            if (j == 0 && u == 0xfeff) {
                out.badLine = 1;
                out.why = secondBom();
                return out;
            }
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
    const auto utf8Bom = [&](qsizetype at) {
        return n >= at + 3 && p[at] == 0xef && p[at + 1] == 0xbb && p[at + 2] == 0xbf;
    };
    const qsizetype start = utf8Bom(0) ? 3 : 0;
    // QString::fromUtf8 would quietly drop the second mark as well.
    if (start && utf8Bom(start)) {
        out.badLine = 1;
        out.why = secondBom();
        return out;
    }
    const qsizetype bad = firstInvalidUtf8(content, start);
    if (bad >= 0) {
        out.badLine = lineOfOffset(content, bad);
        out.why = QStringLiteral("the text is not valid UTF-8");
        return out;
    }
    out.text = QString::fromUtf8(content.constData() + start, n - start);
    return out;
}
