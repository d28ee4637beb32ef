#pragma once

// What the .reg reader and writer share.

#include "registrynames.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

class QFile;

inline const QLatin1String regFileHeaderV5("Windows Registry Editor Version 5.00");
inline const QLatin1String regFileHeaderV4("REGEDIT4");

// Sets *error, when there is one to set, and fails.
inline bool failWith(QString *error, const QString &what)
{
    if (error)
        *error = what;
    return false;
}

// A .reg file's lines as text, decoded a piece at a time: however long the
// file, only the line being read and one piece after it are held. UTF-16LE
// after its BOM, else UTF-8 with or without one; UTF-16BE and malformed text
// are refused on the line where they stop being text, and so is a line of
// more than maxRegLineChars characters.
class RegFileLines
{
public:
    explicit RegFileLines(QFile &file);
    explicit RegFileLines(const QByteArray &content);

    // The next line without its line end, valid until the next call; false
    // at the end of the text, or when failed().
    bool next(QStringView *line);
    // The line next() gave last, or the one it failed on (0 for none).
    int lineNumber() const { return line; }
    bool failed() const { return !why.isEmpty(); }
    // What is wrong on lineNumber(), or with the file when that is 0.
    QString why;

private:
    bool fill();
    void decode(const char *bytes, qsizetype size, bool last);
    void decodeUtf8(const char *bytes, qsizetype size, bool last);
    void decodeUtf16(const char *bytes, qsizetype size, bool last);

    QFile *file = nullptr;   // where the bytes come from, if not from content
    QByteArray content;      // the bytes when they were given whole
    qsizetype contentAt = 0; // how many of them have been decoded
    bool ended = false;      // every byte has been decoded
    enum class Encoding { Unknown, Utf8, Utf16 } encoding = Encoding::Unknown;
    bool highPending = false; // UTF-16 decoded last a high surrogate
    QByteArray carry;         // bytes of a character that a piece's end cut
    QString text;             // decoded and not yet given out, from pos on
    qsizetype pos = 0;        // where the next line starts in text
    qsizetype scanned = 0;    // how far text is known to hold no line end
    QString bad;              // why decoding stopped where text ends
    int line = 0;             // lines given out so far
};
