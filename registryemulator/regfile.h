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

// The most bytes of data one value of a .reg file holds: far beyond what
// any program keeps in the registry (Microsoft advises storing values of
// more than 2 KB as files), and small enough to hold a few times over while
// it is read. Export refuses a larger value, so that what it writes, import
// takes back.
constexpr qint64 maxRegValueBytes = 32 * 1024 * 1024;
// The most characters (UTF-16 units) one line holds, its line end not
// counted: room for the largest value written as a string, every character
// escaped, with the longest name. A file as a whole has no limit.
constexpr qint64 maxRegLineChars = 64 * 1024 * 1024;

// Reads the file a piece at a time and applies each entry as it is read,
// all in one transaction: either every line lands or the registry is left
// as it was. Memory does not grow with the file, only with its longest
// line and largest value. The registry's write lock is held from the line
// after the header to the end of the file; a file with no .reg header takes
// none. On failure *error says "FILE:LINE: what is wrong"
// (the line where the offending entry starts), or "FILE: ..." for what has
// no line. A line or a value beyond the limits above is refused on its line,
// so that a file without line ends is never held whole.
bool importRegFile(RegistryStore &store, const QString &fileName, QString *error = nullptr);
// The same for content already in memory; displayName stands for FILE.
bool importRegFile(RegistryStore &store, const QByteArray &content, const QString &displayName,
                   QString *error = nullptr);

// Writes root and every key below it, or without root everything under
// HKEY_LOCAL_MACHINE and then HKEY_CURRENT_USER. A hive's own key is
// written only when it holds values. Fails for a root that does not exist,
// for names that no .reg line can hold (line breaks, broken UTF-16) and for
// a value of more than maxRegValueBytes.
enum class RegFileEncoding { Utf8, Utf16 };
bool exportRegFile(const RegistryStore &store, const std::optional<RegKeyPath> &root,
                   QIODevice &out, QString *error = nullptr,
                   RegFileEncoding encoding = RegFileEncoding::Utf8);
