#pragma once

// Registry values, and the data of each type as Windows stores it. Every
// conversion between a type's bytes and what they mean is here, once;
// reading goes the way QSettings reads the registry on Windows, so that what
// the engine reads here it would also read there.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <QVariant>

#include <optional>

// Registry value types, numbered as Windows numbers them.
namespace RegType {
enum : quint32 {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    DwordBigEndian = 5,
    Link = 6,
    MultiSz = 7,
    Qword = 11,
};
}

struct RegValue
{
    QString name; // "" is the key's unnamed default value
    quint32 type = RegType::None;
    QByteArray data; // the bytes as Windows stores them
};

// Strings are UTF-16LE. Reading takes data that lacks its final NULs as if
// they were there, as QSettings does; an odd last byte is then the low half
// of one more unit.

// REG_SZ and REG_EXPAND_SZ: the text and its terminating NUL. Reading stops
// at the first NUL.
QByteArray encodeRegSz(const QString &text);
QString decodeRegSz(const QByteArray &data);

// REG_MULTI_SZ: each string with its NUL, then one more NUL. Reading stops
// at the first empty string, so that nothing after one is ever read; an
// empty string, or one holding NUL, cannot be part of a list.
QByteArray encodeRegMultiSz(const QStringList &strings);
QStringList decodeRegMultiSz(const QByteArray &data);

// REG_DWORD and REG_QWORD: little-endian, in 4 and 8 bytes. Data of any
// other length is not a number of that type and reads as nothing.
QByteArray encodeRegDword(quint32 value);
std::optional<quint32> decodeRegDword(const QByteArray &data);
QByteArray encodeRegQword(quint64 value);
std::optional<quint64> decodeRegQword(const QByteArray &data);

// A value as the settings give it: strings, a list of strings, an int or a
// qint64 by type; anything else as its bytes.
QVariant settingsValue(const RegValue &value);

// The names by which the settings, like QSettings, address a key's unnamed
// value: "Default" and ".", exactly spelt.
bool namesDefaultValue(const QString &name);
