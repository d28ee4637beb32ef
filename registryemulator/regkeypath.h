#pragma once

// Where a key is: a hive and the key names below it, compared as Windows
// compares them and kept as first written. Which names the registry takes,
// and how it compares them, are the registry's own rules (registrynames.h),
// shared with the engine, which checks them on every platform.

#include "registrynames.h"

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
// The hive one of those names, as any of them spells it, stands for.
std::optional<Hive> hiveNamed(const QString &name);
QString hiveName(Hive hive);

// How deep keys nest below a hive as it is named: HKEY_CLASSES_ROOT's are
// kept under Software\Classes of a hive, two levels down.
constexpr qsizetype maxKeyDepthBelow(Hive hive)
{
    return hive == Hive::ClassesRoot ? maxKeyDepth - 2 : maxKeyDepth;
}
