#pragma once

// What the .reg reader and writer share.

#include "registrynames.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

inline const QLatin1String regFileHeaderV5("Windows Registry Editor Version 5.00");
inline const QLatin1String regFileHeaderV4("REGEDIT4");

// Whether text can stand on a .reg line: a line break would end the line,
// and a NUL is no text at all to the readers of the file.
inline bool fitsOnOneLine(QStringView s)
{
    return isWritableName(s) && !s.contains(QChar(0));
}

// Sets *error, when there is one to set, and fails.
inline bool failWith(QString *error, const QString &what)
{
    if (error)
        *error = what;
    return false;
}

// A file's bytes as text, or the line where they stop being text.
struct RegFileText
{
    QString text;    // the whole file, without its byte-order mark
    int badLine = 0; // the line where decoding failed, or 0 when it did not
    QString why;     // what is wrong on that line
};

// UTF-16LE after its BOM, else UTF-8 with or without one; UTF-16BE and
// malformed text are refused.
RegFileText decodeRegFileText(const QByteArray &content);
