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

// What a program that wants a value of one type reads, as Windows' own
// readers of these keys do: the text of a REG_SZ or REG_EXPAND_SZ value, or
// the number of a REG_DWORD of four bytes; nothing for a missing value or
// any other type.
std::optional<QString> regStringOf(const std::optional<RegValue> &value);
std::optional<quint32> regDwordOf(const std::optional<RegValue> &value);

// A value as QSettings' native format reads it on Windows (qsettings_win.cpp,
// Qt 5.15): what RegistrySettings gives on the substitute.
//   REG_SZ, REG_EXPAND_SZ: a QString, up to the first NUL.
//   REG_MULTI_SZ: a QStringList, up to the first empty string.
//   REG_BINARY, REG_NONE: a QString of the data's size / 2 UTF-16LE units,
//     NULs included; an odd last byte is not read.
//   REG_DWORD, REG_DWORD_BIG_ENDIAN: an int, both from the four bytes taken
//     as little-endian, with no swap for the big-endian type.
//   REG_QWORD: a qint64 from eight little-endian bytes.
//   Any other type: an invalid QVariant.
// Qt asserts that a number has its type's size and then copies that many
// bytes; shorter data reads here as if it went on with NULs, and the bytes
// past the size are not read.
// Not followed: Qt passes every string through its "@Type(...)" decoding,
// which turns, say, "@ByteArray(x)" into bytes and "@@x" into "@x".
QVariant nativeSettingsValue(const RegValue &value);

// For showing a value: strings, lists and numbers of their type's size as
// nativeSettingsValue reads them; the data of every other value as its
// bytes.
QVariant settingsValue(const RegValue &value);

// The names by which the settings, like QSettings, address a key's unnamed
// value: "Default" and ".", exactly spelt.
bool namesDefaultValue(const QString &name);
