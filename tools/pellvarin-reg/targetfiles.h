#pragma once

// What the tool is given on the command line: the file export -o writes, and
// the arguments themselves.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Whether path is the registry or a journal that SQLite plays into it, told
// by device and inode, whatever path leads there.
bool namesTheRegistry(const QString &given, const QString &registry);

// Writes into what is not a regular file (a device, a pipe) as regedit
// writes into NUL. None when path is, or turns out to be, a regular file or
// none at all, which the caller writes aside and renames instead; else ""
// when written, or why not.
std::optional<QString> writeIntoSpecialFile(const QString &path, const QByteArray &bytes);

// The argument as the UTF-8 it must be; none for bytes that are not.
std::optional<QString> fromStrictUtf8(QByteArray bytes);

// Names in messages, cut so that a 16,383-character one stays readable.
QString shortened(const QString &name);

// -n before KEY: NAME as the registry holds it, for values whose names
// the settings and regedit take for the unnamed one. Taken off args.
bool takeLiteralNameOption(QStringList *args);

// As the settings spell the unnamed value, and as regedit does.
QString valueName(const QString &arg, bool literal);
