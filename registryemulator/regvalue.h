#pragma once

// Registry values, and the data of each type as Windows stores it. Every
// conversion between a type's bytes and what they mean is here, once.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

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

// REG_SZ and REG_EXPAND_SZ data: UTF-16LE with its terminating NUL.
QByteArray encodeRegSz(const QString &text);
QString decodeRegSz(const QByteArray &data);

// REG_DWORD and REG_QWORD: little-endian, in 4 and 8 bytes. Data of any
// other length is not a number of that type and reads as nothing.
QByteArray encodeRegDword(quint32 value);
std::optional<quint32> decodeRegDword(const QByteArray &data);
QByteArray encodeRegQword(quint64 value);
std::optional<quint64> decodeRegQword(const QByteArray &data);
