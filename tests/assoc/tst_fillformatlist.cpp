#include "fifof.h"
#include "formatcatalogue.h"
#include "formatlist.h"
#include "registrylayout.h"
#include "testregistry.h"

#include <QListWidget>
#include <QtTest>

#include <FreeImage.h>

namespace {

void registerViewer(TestRegistry &reg, int fif)
{
    QVERIFY(reg.set(inMachineClasses + progIdOf(fif), QString(), formatDescription(fif)));
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

// FreeImage keeps the strings it is given, so they must outlive the process.
void noPluginCallbacks(Plugin *, int) {}

// A format of the test's own, registered for the rest of this process, so
// it comes after the real table.
int registerLocalFormat(const char *name, const char *extensions)
{
    return int(FreeImage_RegisterLocalPlugin(noPluginCallbacks, name, "Local", extensions));
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
        QVERIFY(reg.createKey(inMachineClasses + QStringLiteral("Talvimor.PNG\\shell\\open")));
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
            // The viewer reads the id under the role's number, not its name.
            QCOMPARE(item->data(33).toInt(), row);
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
        QVERIFY(reg.set(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                        QStringLiteral("pngfile")));
        QVERIFY(reg.set(inUserClasses + QStringLiteral(".png"), QString(), progIdOf(png)));
        // The reverse: associated, whatever the classes say.
        QVERIFY(
            reg.set(inFileExts + QStringLiteral(".gif"), QStringLiteral("ProgId"), progIdOf(gif)));
        QVERIFY(reg.set(inMachineClasses + QStringLiteral(".gif"), QString(),
                        QStringLiteral("giffile")));

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
        QVERIFY(reg.set(inMachineClasses + QStringLiteral(".jpg"), QString(),
                        QStringLiteral("jpegfile")));
        QVERIFY(reg.set(inUserClasses + QStringLiteral(".jpg"), QString(), progIdOf(jpeg)));
        QVERIFY(reg.set(inMachineClasses + QStringLiteral(".jpe"), QString(), progIdOf(jpeg)));
        // Letter case matters for ProgIds.
        QVERIFY(reg.set(inUserClasses + QStringLiteral(".jpeg"), QString(),
                        QStringLiteral("talvimor.jpeg")));

        QListWidget list;
        SelectionList selection;
        QVERIFY(!fillFormatList(&list, &selection));
        QCOMPARE(checkState(list.item(0)), int(Qt::PartiallyChecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(bitString(selection.at(0).selected), QStringLiteral("1001"));
    }

    void fullyAssociatedFormatsGiveTrue()
    {
        TestRegistry reg;
        const int tiff = fifOf("TIFF"), bmp = fifOf("BMP");
        registerViewer(reg, tiff);
        registerViewer(reg, bmp);
        for (const char *ext : {".tif", ".tiff"})
            QVERIFY(reg.set(inUserClasses + QLatin1String(ext), QString(), progIdOf(tiff)));
        QVERIFY(reg.set(inUserClasses + QStringLiteral(".bmp"), QString(), progIdOf(bmp)));
        // An empty default value still marks the ProgId as registered.
        QVERIFY(reg.set(inMachineClasses + progIdOf(bmp), QString(), QString()));

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
        TestRegistry reg;
        registerAll(reg);
        const int pbm = fifOf("PBM"), pbmraw = fifOf("PBMRAW");
        QVERIFY(reg.set(inUserClasses + QStringLiteral(".pbm"), QString(), progIdOf(pbmraw)));
        QListWidget list;
        SelectionList selection;
        fillFormatList(&list, &selection);
        QCOMPARE(checkState(list.item(pbm)), int(Qt::Unchecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(checkState(list.item(pbmraw)), int(Qt::Checked));
        QCOMPARE(bitString(selection.at(pbmraw).selected), QStringLiteral("1"));
    }

    // A sorted list puts each item at its place by text as it goes in, so
    // every role must already be on the item then: one set afterwards
    // through the row it went to would land on another format's item.
    void sortedListsKeepEachItemWhole()
    {
        TestRegistry reg;
        const char *names[] = {"TIFF", "BMP", "PNG", "GIF"};
        for (const char *name : names)
            registerViewer(reg, fifOf(name));
        const int png = fifOf("PNG");
        QVERIFY(reg.set(inMachineClasses + QStringLiteral(".png"), QString(), progIdOf(png)));
        QListWidget list;
        list.setSortingEnabled(true);
        SelectionList selection;
        fillFormatList(&list, &selection);
        QCOMPARE(list.count(), 4);
        QStringList texts;
        for (int row = 0; row < list.count(); ++row) {
            const QListWidgetItem *item = list.item(row);
            const int fif = item->data(FormatIdRole).toInt();
            texts.append(item->text().trimmed());
            QCOMPARE(item->text(), formatName(fif) + QLatin1Char('\t'));
            QVERIFY(item->toolTip().startsWith(formatDescription(fif) + QLatin1String("<br>")));
            QCOMPARE(checkState(item), fif == png ? int(Qt::Checked) : int(Qt::Unchecked));
        }
        QCOMPARE(texts, (QStringList{QStringLiteral("BMP"), QStringLiteral("GIF"),
                                     QStringLiteral("PNG"), QStringLiteral("TIFF")}));
        // The selection keeps the order of the format ids.
        QCOMPARE(selection.at(0).fif, fifOf("BMP"));
        QCOMPARE(selection.at(3).fif, fifOf("GIF"));
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
        QVERIFY(reg.set(inUserClasses + QStringLiteral(".png"), QString(),
                        QStringLiteral("Talvimor.PNG")));
        const QStringList before = reg.everything();
        QVERIFY(before.size() > formatCount());
        QListWidget list;
        fillFormatList(&list, nullptr);
        QCOMPARE(reg.everything(), before);
    }

    // The applier writes no key for an extension that cannot name one, so
    // the reader must not hold it against the format either.
    void extensionsNoKeyCanBeNamedAfterAreSkipped()
    {
        TestRegistry reg;
        const int fif = registerLocalFormat("SLASHED", "x/y,slashed,z\\w");
        QVERIFY(fif >= 0);
        registerViewer(reg, fif);
        QVERIFY(reg.set(inMachineClasses + QStringLiteral(".slashed"), QString(), progIdOf(fif)));
        for (int i = 0; i < 2; ++i)
            QTest::ignoreMessage(QtDebugMsg,
                                 "skipped an extension that cannot name a registry key");
        QListWidget list;
        SelectionList selection;
        QVERIFY(fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 1);
        QCOMPARE(checkState(list.item(0)), int(Qt::Checked));
        QCOMPARE(bitString(selection.at(0).selected), QStringLiteral("010"));
    }

    // An empty list gives a tool tip of a lone dot, and a format with
    // nothing to associate holds nothing against the result.
    void formatsWithoutExtensionsAreUncheckedAndCountAsWhole()
    {
        TestRegistry reg;
        const int fif = registerLocalFormat("BARE", "");
        QVERIFY(fif >= 0);
        registerViewer(reg, fif);
        QListWidget list;
        SelectionList selection;
        QVERIFY(fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 1);
        QVERIFY(list.item(0)->toolTip().endsWith(QLatin1String("<br>.")));
        QCOMPARE(list.item(0)->toolTip(), QStringLiteral("Local<br>."));
        QCOMPARE(checkState(list.item(0)), int(Qt::Unchecked));
        QCOMPARE(selection.at(0).selected.size(), 0);
    }
};

QTEST_MAIN(TestFillFormatList)
#include "tst_fillformatlist.moc"
