#pragma once

// Where a key is, and which names the registry takes: a hive and the key
// names below it, compared as Windows compares them and kept as first
// written. The limits on names are the Windows registry's own, shared with
// the engine, which checks them on every platform.

#include "../platform/registrylimits.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

enum class Hive { LocalMachine, CurrentUser, ClassesRoot };

struct RegKeyPath
{
    Hive hive = Hive::LocalMachine;
    QStringList parts; // key names below the hive; none holds a separator

    RegKeyPath child(const QString &name) const;
    QString toString() const; // hive spelled out, "\" between levels
};

// Accepts HKEY_LOCAL_MACHINE/HKLM, HKEY_CURRENT_USER/HKCU and
// HKEY_CLASSES_ROOT/HKCR (any letter case), then names separated by "\" or
// "/"; a leading separator and empty levels are dropped. Other hives, such
// as HKEY_USERS, are not kept here and give nothing.
std::optional<RegKeyPath> parseKeyPath(const QString &path);
QString hiveName(Hive hive);

// How deep keys nest below a hive as it is named: HKEY_CLASSES_ROOT's are
// kept under Software\Classes of a hive, two levels down.
constexpr qsizetype maxKeyDepthBelow(Hive hive)
{
    return hive == Hive::ClassesRoot ? maxKeyDepth - 2 : maxKeyDepth;
}

// Windows compares names by upper-casing each UTF-16 unit on its own. The
// store keeps every name's fold and finds it by that, so the table is the
// project's own and frozen (regkeyfold.cpp), whatever Unicode the toolkit
// knows.
QString foldName(const QString &name);

// Whether a name can exist in the registry and survive its file: within the
// limit and without NUL (Windows takes names NUL-terminated, so the rest
// would name another key or value), a key name neither empty nor holding
// "\", and no name starting with U+FEFF or holding half a surrogate pair,
// which the file's UTF-8 cannot keep. Other control characters are names
// like any other, as on Windows. The store neither stores nor finds any
// other name.
bool isValidKeyName(QStringView name);
bool isValidValueName(QStringView name);
// What the store takes from now on besides: no line break, which a .reg
// line cannot carry, so that whatever one entry point writes every other
// can read and export. Names written before the rule still read.
bool isWritableName(QStringView name);
