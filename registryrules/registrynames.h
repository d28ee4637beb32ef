#pragma once

// Which names the registry takes, and how it tells two names apart.

#include "registrylimits.h"

#include <QString>
#include <QStringView>

// Windows compares names by upper-casing each UTF-16 unit on its own. The
// store keeps every name's fold and finds it by that, so the table is the
// project's own and frozen (regkeyfold.cpp), whatever Unicode the toolkit
// knows.
QString foldName(const QString &name);

// Whether a name can exist in the registry and survive its file: within the
// limit and without NUL (Windows takes names NUL-terminated, so the rest
// would name another key or value), a key name neither empty nor holding
// "\", and no name starting with U+FEFF or U+FFFE, which readers of UTF-16
// take for a byte-order mark, or holding half a surrogate pair, which the
// file's UTF-8 cannot keep. Other control characters are names
// like any other, as on Windows. The store neither stores nor finds any
// other name.
bool registryTakesKeyName(QStringView name);
bool registryTakesValueName(QStringView name);
// What the store takes from now on besides: no line break, which a .reg
// line cannot carry, so that whatever one entry point writes every other
// can read and export. Names written before the rule still read.
bool hasNoLineBreak(QStringView name);

// Whether text can stand on a .reg line: a line break would end the line,
// and a NUL is no text at all to the readers of the file.
bool fitsOnARegLine(QStringView text);

// What a .reg line can carry and read back unchanged, and what other
// readers of the file take as text: on one line, and whole UTF-16.
bool regFileCarries(QStringView text);

// A name taken from the registry or from a plug-in must stand for exactly
// one key or value of a settings path: either separator would address a
// deeper key, a NUL would end the name early, and a name past the limit, or
// with a line break that no .reg file can carry, would fail the whole save
// over one odd entry.
bool namesOneSettingsEntry(QStringView name, qsizetype limit);
