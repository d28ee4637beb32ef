#include "fifof.h"
#include "formatcatalogue.h"
#include "formatlist.h"
#include "portableregistry.h"
#include "registrylayout.h"

#include <QListWidget>
#include <QtTest>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\");
const QString user = QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes\\");
const QString fileExts = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\");

void registerViewer(PortableRegistry &reg, int fif)
{
    QVERIFY(reg.set(machine + progIdOf(fif), QString(), formatDescription(fif)));
}

void registerAll(PortableRegistry &reg)
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
        PortableRegistry reg;
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
        PortableRegistry reg;
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
        PortableRegistry reg;
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
        PortableRegistry reg;
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
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(bitString(selection.at(0).selected), QStringLiteral("1001"));
    }

    void fullyAssociatedFormatsGiveTrue()
    {
        PortableRegistry reg;
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
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QVERIFY(fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 2);
        QCOMPARE(checkState(list.item(0)), int(Qt::Checked));
        QCOMPARE(checkState(list.item(1)), int(Qt::Checked));
        QCOMPARE(bitString(selection.at(1).selected), QStringLiteral("11"));
    }

    void sharedExtensionsGoToOneFormat()
    {
        PortableRegistry reg;
        registerAll(reg);
        const int pbm = fifOf("PBM"), pbmraw = fifOf("PBMRAW");
        QVERIFY(reg.set(user + QStringLiteral(".pbm"), QString(), progIdOf(pbmraw)));
        QListWidget list;
        SelectionList selection;
        fillFormatList(&list, &selection);
        QCOMPARE(checkState(list.item(pbm)), int(Qt::Unchecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(checkState(list.item(pbmraw)), int(Qt::Checked));
        QCOMPARE(bitString(selection.at(pbmraw).selected), QStringLiteral("1"));
    }

    void sortedListsPlaceItemsByText()
    {
        PortableRegistry reg;
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
        PortableRegistry reg;
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
        PortableRegistry reg;
        registerAll(reg);
        QVERIFY(reg.set(user + QStringLiteral(".png"), QString(), QStringLiteral("Talvimor.PNG")));
        const QStringList before = reg.everything();
        QVERIFY(before.size() > formatCount());
        QListWidget list;
        fillFormatList(&list, nullptr);
        QCOMPARE(reg.everything(), before);
    }
};

QTEST_MAIN(TestFillFormatList)
#include "tst_fillformatlist.moc"
