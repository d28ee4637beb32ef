#include "regvalue.h"

namespace {

// UTF-16LE unit number i of data, as if the data went on with NULs.
char16_t unitAt(const QByteArray &data, qsizetype i)
{
    const qsizetype at = 2 * i;
    const uchar low = at < data.size() ? uchar(data.at(at)) : 0;
    const uchar high = at + 1 < data.size() ? uchar(data.at(at + 1)) : 0;
    return char16_t(low | high << 8);
}

// Units that hold any of the data's bytes.
qsizetype unitCount(const QByteArray &data)
{
    return (data.size() + 1) / 2;
}

// The string that starts at unit *i, up to its NUL or the end of the data;
// *i ends past that NUL.
QString stringAt(const QByteArray &data, qsizetype *i)
{
    const qsizetype n = unitCount(data);
    const qsizetype start = *i;
    while (*i < n && unitAt(data, *i) != 0)
        ++*i;
    QString s(*i - start, Qt::Uninitialized);
    QChar *chars = s.data();
    for (qsizetype k = 0; k < s.size(); ++k)
        chars[k] = QChar(unitAt(data, start + k));
    ++*i;
    return s;
}

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

// The first size bytes of data, with NULs after its end.
QByteArray paddedTo(const QByteArray &data, qsizetype size)
{
    QByteArray bytes = data.left(size);
    if (bytes.size() < size)
        bytes.append(QByteArray(size - bytes.size(), '\0'));
    return bytes;
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
    qsizetype i = 0;
    return stringAt(data, &i);
}

QByteArray encodeRegMultiSz(const QStringList &strings)
{
    QByteArray data;
    for (const QString &s : strings)
        data += encodeRegSz(s);
    return data + QByteArray(2, '\0');
}

QStringList decodeRegMultiSz(const QByteArray &data)
{
    QStringList strings;
    for (qsizetype i = 0;;) {
        const QString s = stringAt(data, &i);
        if (s.isEmpty())
            return strings;
        strings.append(s);
    }
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

std::optional<QString> regStringOf(const std::optional<RegValue> &value)
{
    if (!value || (value->type != RegType::Sz && value->type != RegType::ExpandSz))
        return std::nullopt;
    return decodeRegSz(value->data);
}

std::optional<quint32> regDwordOf(const std::optional<RegValue> &value)
{
    if (!value || value->type != RegType::Dword)
        return std::nullopt;
    return decodeRegDword(value->data);
}

QVariant nativeSettingsValue(const RegValue &v)
{
    switch (v.type) {
    case RegType::Sz:
    case RegType::ExpandSz:
        return decodeRegSz(v.data);
    case RegType::MultiSz:
        return decodeRegMultiSz(v.data);
    case RegType::None:
    case RegType::Binary: {
        // QString::fromWCharArray over size / 2 units: a NUL is kept as a
        // character and does not end the text.
        QString text(v.data.size() / 2, Qt::Uninitialized);
        QChar *chars = text.data();
        for (qsizetype i = 0; i < text.size(); ++i)
            chars[i] = QChar(unitAt(v.data, i));
        return text;
    }
    case RegType::Dword:
    case RegType::DwordBigEndian:
        return int(*fromLittleEndian<quint32>(paddedTo(v.data, 4)));
    case RegType::Qword:
        return qint64(*fromLittleEndian<quint64>(paddedTo(v.data, 8)));
    default:
        // Qt warns of an unknown type and gives nothing.
        return QVariant();
    }
}

QVariant settingsValue(const RegValue &v)
{
    const bool numberOfItsSize = (v.type == RegType::Dword && v.data.size() == 4) ||
                                 (v.type == RegType::Qword && v.data.size() == 8);
    const bool text =
        v.type == RegType::Sz || v.type == RegType::ExpandSz || v.type == RegType::MultiSz;
    return text || numberOfItsSize ? nativeSettingsValue(v) : QVariant(v.data);
}

bool namesDefaultValue(const QString &name)
{
    return name == QLatin1String("Default") || name == QLatin1String(".");
}
