#include "regvalue.h"

#include <QtTest>

namespace {

// Little-endian UTF-16 units, written out so that the expected bytes do not
// come from the code under test.
QByteArray units(std::initializer_list<char16_t> list)
{
    QByteArray data;
    for (char16_t u : list) {
        data.append(char(u & 0xff));
        data.append(char(u >> 8));
    }
    return data;
}

} // namespace

class TestRegValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stringsReadAsQSettingsReadsThem_data();
    void stringsReadAsQSettingsReadsThem();
    void stringsAreWrittenWithTheirNul();

    void multiStringsReadAsQSettingsReadsThem_data();
    void multiStringsReadAsQSettingsReadsThem();
    void multiStringsAreWrittenWithTheirNuls();

    void numbersAreLittleEndian();
    void numbersOfAnyOtherLengthAreNone();

    void everyTypeReadsAsQSettingsReadsIt_data();
    void everyTypeReadsAsQSettingsReadsIt();
    void showingKeepsTheBytesOfWhatIsNoText();

    void typedReadsTakeOnlyTheirType();
};

void TestRegValue::stringsReadAsQSettingsReadsThem_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");

    QTest::newRow("with its NUL") << units({'a', 'b', 0}) << QStringLiteral("ab");
    QTest::newRow("without a NUL") << units({'a', 'b'}) << QStringLiteral("ab");
    QTest::newRow("up to the first NUL") << units({'a', 0, 'b', 0}) << QStringLiteral("a");
    QTest::newRow("nothing") << QByteArray() << QString();
    QTest::newRow("only the NUL") << units({0}) << QString();
    // The last byte is the low half of a unit whose high half is missing.
    QTest::newRow("an odd last byte") << QByteArray("a\0b", 3) << QStringLiteral("ab");
    QTest::newRow("a surrogate pair")
        << units({0xd83d, 0xde00, 0}) << QString::fromUtf8("\xf0\x9f\x98\x80");
}

void TestRegValue::stringsReadAsQSettingsReadsThem()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    QCOMPARE(decodeRegSz(data), text);
}

void TestRegValue::stringsAreWrittenWithTheirNul()
{
    QCOMPARE(encodeRegSz(QStringLiteral("ab")), units({'a', 'b', 0}));
    QCOMPARE(encodeRegSz(QString()), units({0}));
    const QString text = QString::fromUtf8("caf\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80");
    QCOMPARE(decodeRegSz(encodeRegSz(text)), text);
}

void TestRegValue::multiStringsReadAsQSettingsReadsThem_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("strings");

    QTest::newRow("two strings") << units({'a', 0, 'b', 'c', 0, 0})
                                 << QStringList{QStringLiteral("a"), QStringLiteral("bc")};
    // Nothing after the first empty string is read, however much follows.
    QTest::newRow("stops at the first empty string")
        << units({'a', 0, 0, 'b', 0, 0}) << QStringList{QStringLiteral("a")};
    QTest::newRow("an empty string first") << units({0, 'a', 0, 0}) << QStringList();
    QTest::newRow("the empty list") << units({0}) << QStringList();
    QTest::newRow("nothing") << QByteArray() << QStringList();
    QTest::newRow("without the final NUL")
        << units({'a', 0, 'b', 0}) << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("without any NUL")
        << units({'a', 0, 'b'}) << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("an odd last byte")
        << QByteArray("a\0\0\0b", 5) << QStringList{QStringLiteral("a"), QStringLiteral("b")};
}

void TestRegValue::multiStringsReadAsQSettingsReadsThem()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, strings);
    QCOMPARE(decodeRegMultiSz(data), strings);
}

void TestRegValue::multiStringsAreWrittenWithTheirNuls()
{
    const QStringList strings{QStringLiteral("a"), QStringLiteral("bc")};
    QCOMPARE(encodeRegMultiSz(strings), units({'a', 0, 'b', 'c', 0, 0}));
    QCOMPARE(decodeRegMultiSz(encodeRegMultiSz(strings)), strings);
    QCOMPARE(encodeRegMultiSz({}), units({0}));
    QCOMPARE(decodeRegMultiSz(encodeRegMultiSz({})), QStringList());
}

void TestRegValue::numbersAreLittleEndian()
{
    QCOMPARE(encodeRegDword(0x01020304), QByteArray("\x04\x03\x02\x01", 4));
    QCOMPARE(decodeRegDword(QByteArray("\x04\x03\x02\x01", 4)), std::optional<quint32>(0x01020304));
    QCOMPARE(decodeRegDword(QByteArray(4, '\xff')), std::optional<quint32>(0xffffffffu));
    QCOMPARE(encodeRegQword(Q_UINT64_C(0x0102030405060708)),
             QByteArray("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    QCOMPARE(decodeRegQword(QByteArray("\x08\x07\x06\x05\x04\x03\x02\x01", 8)),
             std::optional<quint64>(Q_UINT64_C(0x0102030405060708)));
    QCOMPARE(decodeRegQword(QByteArray(8, '\xff')),
             std::optional<quint64>(Q_UINT64_C(0xffffffffffffffff)));
}

void TestRegValue::numbersOfAnyOtherLengthAreNone()
{
    for (int size : {0, 3, 5, 8})
        QVERIFY2(!decodeRegDword(QByteArray(size, '\1')), qPrintable(QString::number(size)));
    for (int size : {0, 4, 7, 9})
        QVERIFY2(!decodeRegQword(QByteArray(size, '\1')), qPrintable(QString::number(size)));
}

// A version or a ProgId kept as bytes or as a number is not one: Windows'
// readers of those keys ask for their one type.
void TestRegValue::typedReadsTakeOnlyTheirType()
{
    const QByteArray text = units({u'6', u'.', u'1', 0});
    const QByteArray seven("\x07\0\0\0", 4);
    const auto value = [](quint32 type, const QByteArray &data) {
        return std::optional<RegValue>(RegValue{QString(), type, data});
    };
    QCOMPARE(regStringOf(value(RegType::Sz, text)), std::optional<QString>(QStringLiteral("6.1")));
    QCOMPARE(regStringOf(value(RegType::ExpandSz, text)),
             std::optional<QString>(QStringLiteral("6.1")));
    QCOMPARE(regStringOf(value(RegType::Sz, QByteArray())), std::optional<QString>(QString()));
    for (quint32 other : {quint32(RegType::None), quint32(RegType::Binary), quint32(RegType::Dword),
                          quint32(RegType::MultiSz), quint32(RegType::Link)})
        QVERIFY2(!regStringOf(value(other, text)), qPrintable(QString::number(other)));
    QVERIFY(!regStringOf(std::nullopt));

    QCOMPARE(regDwordOf(value(RegType::Dword, seven)), std::optional<quint32>(7));
    for (quint32 other : {quint32(RegType::DwordBigEndian), quint32(RegType::Binary),
                          quint32(RegType::Sz), quint32(RegType::Qword)})
        QVERIFY2(!regDwordOf(value(other, seven)), qPrintable(QString::number(other)));
    QVERIFY(!regDwordOf(value(RegType::Dword, QByteArray(3, '\7'))));
    QVERIFY(!regDwordOf(std::nullopt));
}

void TestRegValue::everyTypeReadsAsQSettingsReadsIt_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QVariant>("expected");

    const auto text = [](std::initializer_list<char16_t> list) {
        QString s;
        for (char16_t u : list)
            s.append(QChar(u));
        return QVariant(s);
    };
    QTest::newRow("string") << uint(RegType::Sz) << units({'a', 0, 'b'}) << text({'a'});
    QTest::newRow("expandable string")
        << uint(RegType::ExpandSz) << units({'%', 'a', '%', 0}) << text({'%', 'a', '%'});
    QTest::newRow("list") << uint(RegType::MultiSz) << units({'a', 0, 0, 'b', 0, 0})
                          << QVariant(QStringList{QStringLiteral("a")});
    // Bytes as UTF-16LE text, to their end: a NUL is a character there.
    QTest::newRow("binary") << uint(RegType::Binary) << units({'a', 'b'}) << text({'a', 'b'});
    QTest::newRow("binary holding NUL")
        << uint(RegType::Binary) << units({'a', 0, 'b', 0}) << text({'a', 0, 'b', 0});
    QTest::newRow("binary, odd last byte")
        << uint(RegType::Binary) << QByteArray("a\0b", 3) << text({'a'});
    QTest::newRow("binary, one byte") << uint(RegType::Binary) << QByteArray("a", 1) << text({});
    QTest::newRow("binary, empty") << uint(RegType::Binary) << QByteArray() << text({});
    QTest::newRow("binary, ProgId in 8-bit bytes")
        << uint(RegType::Binary) << QByteArray("Ta.G", 4) << text({0x6154, 0x472e});
    QTest::newRow("none") << uint(RegType::None) << units({'x', 0}) << text({'x', 0});
    QTest::newRow("none, empty") << uint(RegType::None) << QByteArray() << text({});
    QTest::newRow("dword") << uint(RegType::Dword) << QByteArray("\x04\x03\x02\x81", 4)
                           << QVariant(int(0x81020304));
    // Read with the DWORD code: the bytes are not swapped.
    QTest::newRow("big-endian dword")
        << uint(RegType::DwordBigEndian) << QByteArray("\x04\x03\x02\x01", 4)
        << QVariant(int(0x01020304));
    QTest::newRow("dword, short") << uint(RegType::Dword) << QByteArray("\x04\x03", 2)
                                  << QVariant(int(0x0304));
    QTest::newRow("dword, long") << uint(RegType::Dword) << QByteArray("\x04\x03\x02\x01\x09", 5)
                                 << QVariant(int(0x01020304));
    QTest::newRow("dword, empty") << uint(RegType::Dword) << QByteArray() << QVariant(int(0));
    QTest::newRow("qword") << uint(RegType::Qword) << QByteArray(8, '\xff') << QVariant(qint64(-1));
    QTest::newRow("qword, short") << uint(RegType::Qword) << QByteArray("\x01", 1)
                                  << QVariant(qint64(1));
    QTest::newRow("link") << uint(RegType::Link) << units({'a', 0}) << QVariant();
    QTest::newRow("resource list") << 8u << QByteArray(4, '\0') << QVariant();
}

void TestRegValue::everyTypeReadsAsQSettingsReadsIt()
{
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(QVariant, expected);
    const QVariant value = nativeSettingsValue(RegValue{QStringLiteral("v"), type, data});
    QCOMPARE(value.userType(), expected.userType());
    QCOMPARE(value, expected);
}

// Tools show what the settings read as raw text or cannot read as bytes.
void TestRegValue::showingKeepsTheBytesOfWhatIsNoText()
{
    for (quint32 type :
         {quint32(RegType::Binary), quint32(RegType::None), quint32(RegType::Link)}) {
        const QVariant shown = settingsValue(RegValue{QString(), type, QByteArray("ab", 2)});
        QCOMPARE(shown.userType(), int(QMetaType::QByteArray));
        QCOMPARE(shown.toByteArray(), QByteArray("ab", 2));
    }
    QCOMPARE(settingsValue(RegValue{QString(), RegType::Dword, QByteArray(4, '\1')}),
             QVariant(int(0x01010101)));
    QCOMPARE(settingsValue(RegValue{QString(), RegType::Dword, QByteArray(3, '\1')}).userType(),
             int(QMetaType::QByteArray));
    QCOMPARE(settingsValue(RegValue{QString(), RegType::MultiSz, units({'a', 0, 0})}),
             QVariant(QStringList{QStringLiteral("a")}));
}

QTEST_APPLESS_MAIN(TestRegValue)
#include "tst_regvalue.moc"
