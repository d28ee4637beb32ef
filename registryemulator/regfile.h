#pragma once

// The registry editor's .reg text files, read into and written from the
// substitute registry, so that a machine can be described, reset and
// looked at as it would be on Windows.
//
// Reading takes "Windows Registry Editor Version 5.00" and "REGEDIT4" files
// in UTF-8 (with or without a BOM) or in UTF-16LE with its BOM, as Windows
// writes them. Inside a quoted string only \\ and \" are escapes; any other
// backslash is refused rather than guessed at. In a REGEDIT4 file the
// hex(2) and hex(7) strings are 8-bit and are widened as Latin-1.
//
// Writing gives keys depth-first in subkeyNames() order, so that writing what
// was read back in gives the same bytes, as UTF-8 with "\n" line ends to be
// read by people and diff, or as regedit itself writes: UTF-16LE with its BOM
// and "\r\n" line ends. Only that second form is fit for regedit, which
// takes a file without the BOM for 8-bit text whatever its header says, and
// then widens every byte of the hex(2) and hex(7) data (seen with Wine's).

#include "registrystore.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QIODevice;

// A key as .reg files name it: the hive, long or short, then key names
// separated by "\" alone. Unlike parseKeyPath, "/" is an ordinary character
// here, as in the MIME database's "image/png" keys.
std::optional<RegKeyPath> parseRegKeyName(const QString &name);

// The most characters (UTF-16 units, a line end counting as one) a .reg
// file read may hold: far beyond any machine's associations, and small
// enough to hold in memory several times over while it is parsed. Counted
// in text, not bytes, so that whatever export writes in either encoding,
// import takes back: the same text in UTF-16 takes twice the bytes.
constexpr qint64 maxRegFileChars = 64 * 1024 * 1024;
// No encoding takes more bytes for a character so counted than UTF-16 does
// for a "\r\n" line end: a file of more bytes than this cannot fit.
constexpr qint64 maxRegFileBytes = 4 * maxRegFileChars + 2;

// Reads the whole file before writing anything, then applies it as one
// transaction: either every line lands or the registry is left as it was.
// On failure *error says "FILE:LINE: what is wrong" (the line where the
// offending entry starts), or "FILE: ..." for what has no line. Text of
// more than maxRegFileChars characters is refused before it is parsed, and
// a file of more than maxRegFileBytes bytes, or one without end, unread.
bool importRegFile(RegistryStore &store, const QString &fileName, QString *error = nullptr);
// The same for content already in memory; displayName stands for FILE.
bool importRegFile(RegistryStore &store, const QByteArray &content, const QString &displayName,
                   QString *error = nullptr);

// Writes root and every key below it, or without root everything under
// HKEY_LOCAL_MACHINE and then HKEY_CURRENT_USER. A hive's own key is
// written only when it holds values. Fails for a root that does not exist
// and for names that no .reg line can hold (line breaks, broken UTF-16).
enum class RegFileEncoding { Utf8, Utf16 };
bool exportRegFile(const RegistryStore &store, const std::optional<RegKeyPath> &root,
                   QIODevice &out, QString *error = nullptr,
                   RegFileEncoding encoding = RegFileEncoding::Utf8);
