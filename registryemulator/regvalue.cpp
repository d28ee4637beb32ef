#include "regvalue.h"

namespace {

template <typename Int> QByteArray littleEndian(Int value)
{
    QByteArray data(int(sizeof(Int)), '\0');
    for (size_t b = 0; b < sizeof(Int); ++b)
        data[int(b)] = char(value >> (8 * b));
    return data;
}

template <typename Int> std::optional<Int> fromLittleEndian(const QByteArray &data)
{
    if (size_t(data.size()) != sizeof(Int))
        return std::nullopt;
    Int value = 0;
    for (qsizetype b = data.size() - 1; b >= 0; --b)
        value = Int(value << 8 | uchar(data.at(b)));
    return value;
}

} // namespace

QByteArray encodeRegSz(const QString &text)
{
    QByteArray data(int((text.size() + 1) * 2), '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        data[int(2 * i)] = char(u & 0xff);
        data[int(2 * i + 1)] = char(u >> 8);
    }
    return data;
}

QString decodeRegSz(const QByteArray &data)
{
    QString text;
    text.reserve(data.size() / 2);
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const char16_t u = char16_t(uchar(data.at(i)) | (uchar(data.at(i + 1)) << 8));
        if (u == 0)
            break;
        text.append(QChar(u));
    }
    return text;
}

QByteArray encodeRegDword(quint32 value)
{
    return littleEndian(value);
}

std::optional<quint32> decodeRegDword(const QByteArray &data)
{
    return fromLittleEndian<quint32>(data);
}

QByteArray encodeRegQword(quint64 value)
{
    return littleEndian(value);
}

std::optional<quint64> decodeRegQword(const QByteArray &data)
{
    return fromLittleEndian<quint64>(data);
}
