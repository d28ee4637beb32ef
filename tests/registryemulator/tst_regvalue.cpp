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
    void stringsReadAsQSettingsReadsThem_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("text");
        // Whether the text is also written as these bytes: with one NUL at the end.
        QTest::addColumn<bool>("written");

        QTest::newRow("with its NUL") << units({'a', 'b', 0}) << QStringLiteral("ab") << true;
        QTest::newRow("without a NUL") << units({'a', 'b'}) << QStringLiteral("ab") << false;
        QTest::newRow("up to the first NUL")
            << units({'a', 0, 'b', 0}) << QStringLiteral("a") << false;
        QTest::newRow("nothing") << QByteArray() << QString() << false;
        QTest::newRow("only the NUL") << units({0}) << QString() << true;
        // The last byte is the low half of a unit whose high half is missing.
        QTest::newRow("an odd last byte") << QByteArray("a\0b", 3) << QStringLiteral("ab") << false;
        QTest::newRow("a surrogate pair")
            << units({0xd83d, 0xde00, 0}) << QString::fromUtf8("\xf0\x9f\x98\x80") << true;
        QTest::newRow("beyond Latin-1 and the BMP")
            << units({'c', 'a', 'f', 0xe9, ' ', 0x4e2d, ' ', 0xd83d, 0xde00, 0})
            << QString::fromUtf8("caf\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80") << true;
    }

    void stringsReadAsQSettingsReadsThem()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, text);
        QFETCH(bool, written);
        QCOMPARE(decodeRegSz(data), text);
        if (written)
            QCOMPARE(encodeRegSz(text), data);
    }

    void multiStringsReadAsQSettingsReadsThem_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("strings");
        // Whether the list is also written as these bytes: each string with its
        // NUL, and one more NUL to end the list.
        QTest::addColumn<bool>("written");

        const QStringList ab{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("two strings")
            << units({'a', 0, 'b', 'c', 0, 0})
            << QStringList{QStringLiteral("a"), QStringLiteral("bc")} << true;
        // Nothing after the first empty string is read, however much follows.
        QTest::newRow("stops at the first empty string")
            << units({'a', 0, 0, 'b', 0, 0}) << QStringList{QStringLiteral("a")} << false;
        QTest::newRow("an empty string first") << units({0, 'a', 0, 0}) << QStringList() << false;
        QTest::newRow("the empty list") << units({0}) << QStringList() << true;
        QTest::newRow("nothing") << QByteArray() << QStringList() << false;
        QTest::newRow("without the final NUL") << units({'a', 0, 'b', 0}) << ab << false;
        QTest::newRow("without any NUL") << units({'a', 0, 'b'}) << ab << false;
        QTest::newRow("an odd last byte") << QByteArray("a\0\0\0b", 5) << ab << false;
    }

    void multiStringsReadAsQSettingsReadsThem()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, strings);
        QFETCH(bool, written);
        QCOMPARE(decodeRegMultiSz(data), strings);
        if (written)
            QCOMPARE(encodeRegMultiSz(strings), data);
    }

    // Data of any length but the number's own is no number at all.
    void numbersAreLittleEndianOfOneLength()
    {
        const QByteArray dword("\x04\x03\x02\x01", 4), qword("\x08\x07\x06\x05\x04\x03\x02\x01", 8);
        QCOMPARE(encodeRegDword(0x01020304), dword);
        QCOMPARE(decodeRegDword(dword), std::optional<quint32>(0x01020304));
        QCOMPARE(decodeRegDword(QByteArray(4, '\xff')), std::optional<quint32>(0xffffffffu));
        QCOMPARE(encodeRegQword(Q_UINT64_C(0x0102030405060708)), qword);
        QCOMPARE(decodeRegQword(qword), std::optional<quint64>(Q_UINT64_C(0x0102030405060708)));
        QCOMPARE(decodeRegQword(QByteArray(8, '\xff')),
                 std::optional<quint64>(Q_UINT64_C(0xffffffffffffffff)));
        for (int size : {0, 3, 5, 8})
            QVERIFY2(!decodeRegDword(QByteArray(size, '\1')), qPrintable(QString::number(size)));
        for (int size : {0, 4, 7, 9})
            QVERIFY2(!decodeRegQword(QByteArray(size, '\1')), qPrintable(QString::number(size)));
    }

    void everyTypeReadsAsQSettingsReadsIt_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QVariant>("expected");
        // Tools show what the settings read as raw text or cannot read as bytes:
        // whether a tool shows the value as read, or else its bytes.
        QTest::addColumn<bool>("shownAsRead");

        const auto text = [](std::initializer_list<char16_t> list) {
            QString s;
            for (char16_t u : list)
                s.append(QChar(u));
            return QVariant(s);
        };
        const uint binary = RegType::Binary, dword = RegType::Dword;
        QTest::newRow("string") << uint(RegType::Sz) << units({'a', 0, 'b'}) << text({'a'}) << true;
        QTest::newRow("expandable string") << uint(RegType::ExpandSz) << units({'%', 'a', '%', 0})
                                           << text({'%', 'a', '%'}) << true;
        QTest::newRow("list") << uint(RegType::MultiSz) << units({'a', 0, 0, 'b', 0, 0})
                              << QVariant(QStringList{QStringLiteral("a")}) << true;
        // Bytes as UTF-16LE text, to their end: a NUL is a character there.
        QTest::newRow("binary") << binary << units({'a', 'b'}) << text({'a', 'b'}) << false;
        QTest::newRow("binary holding NUL")
            << binary << units({'a', 0, 'b', 0}) << text({'a', 0, 'b', 0}) << false;
        QTest::newRow("binary, odd last byte")
            << binary << QByteArray("a\0b", 3) << text({'a'}) << false;
        QTest::newRow("binary, one byte") << binary << QByteArray("a", 1) << text({}) << false;
        QTest::newRow("binary, empty") << binary << QByteArray() << text({}) << false;
        QTest::newRow("binary, ProgId in 8-bit bytes")
            << binary << QByteArray("Ta.G", 4) << text({0x6154, 0x472e}) << false;
        QTest::newRow("none") << uint(RegType::None) << units({'x', 0}) << text({'x', 0}) << false;
        QTest::newRow("none, empty") << uint(RegType::None) << QByteArray() << text({}) << false;
        QTest::newRow("dword") << dword << QByteArray("\x04\x03\x02\x81", 4)
                               << QVariant(int(0x81020304)) << true;
        // Read with the DWORD code: the bytes are not swapped; so a tool shows
        // its bytes rather than a number it does not hold.
        QTest::newRow("big-endian dword")
            << uint(RegType::DwordBigEndian) << QByteArray("\x04\x03\x02\x01", 4)
            << QVariant(int(0x01020304)) << false;
        QTest::newRow("dword, short")
            << dword << QByteArray("\x04\x03", 2) << QVariant(int(0x0304)) << false;
        QTest::newRow("dword, three bytes")
            << dword << QByteArray(3, '\1') << QVariant(int(0x010101)) << false;
        QTest::newRow("dword, long")
            << dword << QByteArray("\x04\x03\x02\x01\x09", 5) << QVariant(int(0x01020304)) << false;
        QTest::newRow("dword, empty") << dword << QByteArray() << QVariant(int(0)) << false;
        QTest::newRow("qword") << uint(RegType::Qword) << QByteArray(8, '\xff')
                               << QVariant(qint64(-1)) << true;
        QTest::newRow("qword, short")
            << uint(RegType::Qword) << QByteArray("\x01", 1) << QVariant(qint64(1)) << false;
        QTest::newRow("link") << uint(RegType::Link) << units({'a', 0}) << QVariant() << false;
        QTest::newRow("resource list") << 8u << QByteArray(4, '\0') << QVariant() << false;
    }

    void everyTypeReadsAsQSettingsReadsIt()
    {
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QFETCH(QVariant, expected);
        QFETCH(bool, shownAsRead);
        const QVariant value = nativeSettingsValue(RegValue{QStringLiteral("v"), type, data});
        QCOMPARE(value.userType(), expected.userType());
        QCOMPARE(value, expected);

        const QVariant shown = settingsValue(RegValue{QString(), type, data});
        const QVariant shownExpected = shownAsRead ? expected : QVariant(data);
        QCOMPARE(shown.userType(), shownExpected.userType());
        QCOMPARE(shown, shownExpected);
    }

    // A version or a ProgId kept as bytes or as a number is not one: Windows'
    // readers of those keys ask for their one type.
    void typedReadsTakeOnlyTheirType()
    {
        const QByteArray text = units({u'6', u'.', u'1', 0});
        const QByteArray seven("\x07\0\0\0", 4);
        const auto value = [](quint32 type, const QByteArray &data) {
            return std::optional<RegValue>(RegValue{QString(), type, data});
        };
        for (quint32 type : {quint32(RegType::Sz), quint32(RegType::ExpandSz)})
            QCOMPARE(regStringOf(value(type, text)), std::optional<QString>(QStringLiteral("6.1")));
        QCOMPARE(regStringOf(value(RegType::Sz, QByteArray())), std::optional<QString>(QString()));
        for (quint32 other :
             {quint32(RegType::None), quint32(RegType::Binary), quint32(RegType::Dword),
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
};

QTEST_APPLESS_MAIN(TestRegValue)
#include "tst_regvalue.moc"
