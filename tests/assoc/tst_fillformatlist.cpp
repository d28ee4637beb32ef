#include "formatcatalogue.h"
#include "formatlist.h"
#include "registrylayout.h"
#include "testregistry.h"

#include <QListWidget>
#include <QtTest>

#include <FreeImage.h>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\");
const QString user = QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes\\");
const QString fileExts = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\");

void registerViewer(TestRegistry &reg, int fif)
{
    QVERIFY(reg.set(machine + progIdOf(fif), QString(), formatDescription(fif)));
}

void registerAll(TestRegistry &reg)
{
    for (int fif = 0; fif < formatCount(); ++fif)
        registerViewer(reg, fif);
}

QString bitString(const QBitArray &bits)
{
    QString s;
    for (int i = 0; i < bits.size(); ++i)
        s += bits.testBit(i) ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

int checkState(const QListWidgetItem *item)
{
    return item->data(Qt::CheckStateRole).toInt();
}

} // namespace

class TestFillFormatList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nothingOfferedLeavesEverythingEmpty()
    {
        TestRegistry reg;
        // A ProgId key without a default value does not count as registered.
        QVERIFY(reg.createKey(machine + QStringLiteral("Talvimor.PNG\\shell\\open")));
        QListWidget list;
        SelectionList selection;
        QVERIFY(fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 0);
        QVERIFY(selection.isEmpty());
    }

    void itemsDescribeTheRealTable()
    {
        TestRegistry reg;
        registerAll(reg);
        QListWidget list;
        SelectionList selection;
        QVERIFY(!fillFormatList(&list, &selection));
        QCOMPARE(list.count(), formatCount());
        QCOMPARE(selection.size(), formatCount());
        for (int row = 0; row < list.count(); ++row) {
            const QListWidgetItem *item = list.item(row);
            // Not user-checkable: the window toggles the state itself.
            QCOMPARE(int(item->flags()), 0x21);
            QCOMPARE(item->type(), int(QListWidgetItem::Type));
            QCOMPARE(item->data(FormatIdRole).toInt(), row);
            QCOMPARE(checkState(item), int(Qt::Unchecked));
            QCOMPARE(item->data(Qt::CheckStateRole).userType(), QMetaType::Int);
            QCOMPARE(item->text(), formatName(row) + QLatin1Char('\t'));
            QCOMPARE(selection.at(row).fif, row);
            QCOMPARE(selection.at(row).selected.size(), extensionsOfFormat(row).size());
        }
        const QListWidgetItem *jpeg = list.item(fifOf("JPEG"));
        QCOMPARE(jpeg->toolTip(),
                 QStringLiteral("JPEG - JFIF Compliant<br>.jpg, .jif, .jpeg, .jpe"));
    }

    void overrideAloneDecides()
    {
        TestRegistry reg;
        const int png = fifOf("PNG"), gif = fifOf("GIF");
        registerViewer(reg, png);
        registerViewer(reg, gif);
        // Override names another program, classes name the viewer: not associated.
        QVERIFY(reg.set(fileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                        QStringLiteral("pngfile")));
        QVERIFY(reg.set(user + QStringLiteral(".png"), QString(), progIdOf(png)));
        // The reverse: associated, whatever the classes say.
        QVERIFY(
            reg.set(fileExts + QStringLiteral(".gif"), QStringLiteral("ProgId"), progIdOf(gif)));
        QVERIFY(reg.set(machine + QStringLiteral(".gif"), QString(), QStringLiteral("giffile")));

        QListWidget list;
        SelectionList selection;
        QVERIFY(!fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 2);
        QCOMPARE(checkState(list.item(0)), int(Qt::Unchecked)); // PNG comes first by id
        QCOMPARE(checkState(list.item(1)), int(Qt::Checked));
        QCOMPARE(bitString(selection.at(1).selected), QStringLiteral("1"));
    }

    void mergedClassesDecideWithoutOverride()
    {
        TestRegistry reg;
        const int jpeg = fifOf("JPEG");
        registerViewer(reg, jpeg);
        // Per-user classes win over the machine's; the machine's count too.
        QVERIFY(reg.set(machine + QStringLiteral(".jpg"), QString(), QStringLiteral("jpegfile")));
        QVERIFY(reg.set(user + QStringLiteral(".jpg"), QString(), progIdOf(jpeg)));
        QVERIFY(reg.set(machine + QStringLiteral(".jpe"), QString(), progIdOf(jpeg)));
        // Letter case matters for ProgIds.
        QVERIFY(
            reg.set(user + QStringLiteral(".jpeg"), QString(), QStringLiteral("talvimor.jpeg")));

        QListWidget list;
        SelectionList selection;
        QVERIFY(!fillFormatList(&list, &selection));
        QCOMPARE(checkState(list.item(0)), int(Qt::PartiallyChecked));
        QCOMPARE(bitString(selection.at(0).selected), QStringLiteral("1001"));
    }

    void onlyStringValuesNameTheViewer()
    {
        TestRegistry reg;
        const int png = fifOf("PNG"), gif = fifOf("GIF");
        registerViewer(reg, png);
        registerViewer(reg, gif);
        // The ProgId's text, but as a one-string list and as raw bytes: only a
        // string value names a ProgId.
        QVERIFY(reg.store->setValue(TestRegistry::key(user + QStringLiteral(".png")), QString(),
                                    RegType::MultiSz,
                                    encodeRegSz(progIdOf(png)) + QByteArray(2, '\0')));
        QVERIFY(reg.store->setValue(TestRegistry::key(fileExts + QStringLiteral(".gif")),
                                    QStringLiteral("ProgId"), RegType::Binary,
                                    progIdOf(gif).toLatin1()));

        QListWidget list;
        SelectionList selection;
        QVERIFY(!fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 2);
        QCOMPARE(checkState(list.item(0)), int(Qt::Unchecked));
        QCOMPARE(checkState(list.item(1)), int(Qt::Unchecked));
    }

    void fullyAssociatedFormatsGiveTrue()
    {
        TestRegistry reg;
        const int tiff = fifOf("TIFF"), bmp = fifOf("BMP");
        registerViewer(reg, tiff);
        registerViewer(reg, bmp);
        for (const char *ext : {".tif", ".tiff"})
            QVERIFY(reg.set(user + QLatin1String(ext), QString(), progIdOf(tiff)));
        QVERIFY(reg.set(user + QStringLiteral(".bmp"), QString(), progIdOf(bmp)));
        // An empty default value still marks the ProgId as registered.
        QVERIFY(reg.set(machine + progIdOf(bmp), QString(), QString()));

        QListWidget list;
        SelectionList selection;
        QVERIFY(fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 2);
        QCOMPARE(checkState(list.item(0)), int(Qt::Checked));
        QCOMPARE(checkState(list.item(1)), int(Qt::Checked));
        QCOMPARE(bitString(selection.at(1).selected), QStringLiteral("11"));
    }

    void sharedExtensionsGoToOneFormat()
    {
        TestRegistry reg;
        registerAll(reg);
        const int pbm = fifOf("PBM"), pbmraw = fifOf("PBMRAW");
        QVERIFY(reg.set(user + QStringLiteral(".pbm"), QString(), progIdOf(pbmraw)));
        QListWidget list;
        SelectionList selection;
        fillFormatList(&list, &selection);
        QCOMPARE(checkState(list.item(pbm)), int(Qt::Unchecked));
        QCOMPARE(checkState(list.item(pbmraw)), int(Qt::Checked));
        QCOMPARE(bitString(selection.at(pbmraw).selected), QStringLiteral("1"));
    }

    void sortedListsPlaceItemsByText()
    {
        TestRegistry reg;
        for (const char *name : {"TIFF", "BMP", "PNG", "GIF"})
            registerViewer(reg, fifOf(name));
        QListWidget list;
        list.setSortingEnabled(true);
        fillFormatList(&list, nullptr);
        QStringList texts;
        for (int row = 0; row < list.count(); ++row)
            texts.append(list.item(row)->text().trimmed());
        QCOMPARE(texts, (QStringList{QStringLiteral("BMP"), QStringLiteral("GIF"),
                                     QStringLiteral("PNG"), QStringLiteral("TIFF")}));
    }

    void callsAppendToWhatIsThere()
    {
        TestRegistry reg;
        registerViewer(reg, fifOf("PNG"));
        QListWidget list;
        list.addItem(QStringLiteral("already here"));
        SelectionList selection{FormatSelection{99, QBitArray(2, true)}};
        fillFormatList(&list, &selection);
        fillFormatList(&list, &selection);
        QCOMPARE(list.count(), 3);
        QCOMPARE(list.item(0)->text(), QStringLiteral("already here"));
        QCOMPARE(selection.size(), 3);
        QCOMPARE(selection.at(0).fif, 99);
        QCOMPARE(selection.at(2).fif, fifOf("PNG"));
    }

    void readsNothingIntoTheRegistry()
    {
        TestRegistry reg;
        registerAll(reg);
        QVERIFY(reg.set(user + QStringLiteral(".png"), QString(), QStringLiteral("Talvimor.PNG")));
        const QStringList before = reg.dump(QStringLiteral("HKEY_LOCAL_MACHINE")) +
                                   reg.dump(QStringLiteral("HKEY_CURRENT_USER"));
        QListWidget list;
        fillFormatList(&list, nullptr);
        QCOMPARE(reg.dump(QStringLiteral("HKEY_LOCAL_MACHINE")) +
                     reg.dump(QStringLiteral("HKEY_CURRENT_USER")),
                 before);
    }
};

QTEST_MAIN(TestFillFormatList)
#include "tst_fillformatlist.moc"
