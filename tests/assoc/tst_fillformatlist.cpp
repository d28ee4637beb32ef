#include "fifof.h"
#include "formatcatalogue.h"
#include "formatlist.h"
#include "formatregistration.h"
#include "listitems.h"
#include "registrylayout.h"
#include "testregistry.h"

#include <QListWidget>
#include <QtTest>

class TestFillFormatList : public QObject
{
    Q_OBJECT

    // Fresh for each test, so that no test's seeding or items reach the next.
    std::unique_ptr<TestRegistry> reg;
    std::unique_ptr<QListWidget> list;
    SelectionList selection;

    bool fill() { return fillFormatList(list.get(), &selection); }

    // The unnamed value of an extension's key: the ProgId it opens with.
    bool opens(const QString &key, const QString &id) { return reg->set(key, QString(), id); }

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        list = std::make_unique<QListWidget>();
        selection.clear();
    }

    // Going away, the registry checks that the machine's keys are as seeded.
    void cleanup()
    {
        list.reset();
        reg.reset();
    }

    void nothingOfferedLeavesEverythingEmpty()
    {
        // A ProgId key without a default value does not count as registered.
        QVERIFY(reg->createKey(inMachineClasses + QStringLiteral("Talvimor.PNG\\shell\\open")));
        QVERIFY(fill());
        QCOMPARE(list->count(), 0);
        QVERIFY(selection.isEmpty());
    }

    void itemsDescribeTheRealTable()
    {
        registerEveryFormat(*reg);
        QVERIFY(!fill());
        QCOMPARE(list->count(), formatCount());
        QCOMPARE(selection.size(), formatCount());
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem *item = list->item(row);
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
        const QListWidgetItem *jpeg = list->item(fifOf("JPEG"));
        QCOMPARE(jpeg->toolTip(),
                 QStringLiteral("JPEG - JFIF Compliant<br>.jpg, .jif, .jpeg, .jpe"));
    }

    void overrideAloneDecides()
    {
        const int png = fifOf("PNG"), gif = fifOf("GIF");
        registerFormats(*reg, {png, gif});
        // Override names another program, classes name the viewer: not associated.
        QVERIFY(reg->set(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                         QStringLiteral("pngfile")));
        QVERIFY(opens(inUserClasses + QStringLiteral(".png"), progIdOf(png)));
        // The reverse: associated, whatever the classes say.
        QVERIFY(
            reg->set(inFileExts + QStringLiteral(".gif"), QStringLiteral("ProgId"), progIdOf(gif)));
        QVERIFY(opens(inMachineClasses + QStringLiteral(".gif"), QStringLiteral("giffile")));

        QVERIFY(!fill());
        QCOMPARE(list->count(), 2);
        QCOMPARE(checkState(list->item(0)), int(Qt::Unchecked)); // PNG comes first by id
        QCOMPARE(checkState(list->item(1)), int(Qt::Checked));
        QCOMPARE(describe(selection),
                 (QStringList{QStringLiteral("PNG=0"), QStringLiteral("GIF=1")}));
    }

    void mergedClassesDecideWithoutOverride()
    {
        const int jpeg = fifOf("JPEG");
        registerFormats(*reg, {jpeg});
        // Per-user classes win over the machine's; the machine's count too.
        QVERIFY(opens(inMachineClasses + QStringLiteral(".jpg"), QStringLiteral("jpegfile")));
        QVERIFY(opens(inUserClasses + QStringLiteral(".jpg"), progIdOf(jpeg)));
        QVERIFY(opens(inMachineClasses + QStringLiteral(".jpe"), progIdOf(jpeg)));
        // Letter case matters for ProgIds.
        QVERIFY(opens(inUserClasses + QStringLiteral(".jpeg"), QStringLiteral("talvimor.jpeg")));

        QVERIFY(!fill());
        QCOMPARE(checkState(list->item(0)), int(Qt::PartiallyChecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(describe(selection), QStringList{QStringLiteral("JPEG=1001")});
    }

    void fullyAssociatedFormatsGiveTrue()
    {
        const int tiff = fifOf("TIFF"), bmp = fifOf("BMP");
        registerFormats(*reg, {tiff, bmp});
        for (const char *ext : {".tif", ".tiff"})
            QVERIFY(opens(inUserClasses + QLatin1String(ext), progIdOf(tiff)));
        QVERIFY(opens(inUserClasses + QStringLiteral(".bmp"), progIdOf(bmp)));
        // An empty default value still marks the ProgId as registered.
        QVERIFY(reg->set(inMachineClasses + progIdOf(bmp), QString(), QString()));

        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QVERIFY(fill());
        QCOMPARE(list->count(), 2);
        QCOMPARE(checkState(list->item(0)), int(Qt::Checked));
        QCOMPARE(checkState(list->item(1)), int(Qt::Checked));
        QCOMPARE(describe(selection),
                 (QStringList{QStringLiteral("BMP=1"), QStringLiteral("TIFF=11")}));
    }

    void sharedExtensionsGoToOneFormat()
    {
        registerEveryFormat(*reg);
        const int pbm = fifOf("PBM"), pbmraw = fifOf("PBMRAW");
        QVERIFY(opens(inUserClasses + QStringLiteral(".pbm"), progIdOf(pbmraw)));
        fill();
        QCOMPARE(checkState(list->item(pbm)), int(Qt::Unchecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(checkState(list->item(pbmraw)), int(Qt::Checked));
        QCOMPARE(describe({selection.at(pbmraw)}), QStringList{QStringLiteral("PBMRAW=1")});
    }

    // A sorted list puts each item at its place by text as it goes in, so
    // every role must already be on the item then: one set afterwards
    // through the row it went to would land on another format's item.
    void sortedListsKeepEachItemWhole()
    {
        const int png = fifOf("PNG");
        registerFormats(*reg, {fifOf("TIFF"), fifOf("BMP"), png, fifOf("GIF")});
        QVERIFY(opens(inMachineClasses + QStringLiteral(".png"), progIdOf(png)));
        list->setSortingEnabled(true);
        fill();
        QCOMPARE(list->count(), 4);
        QStringList texts;
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem *item = list->item(row);
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
        registerFormats(*reg, {fifOf("PNG")});
        list->addItem(QStringLiteral("already here"));
        selection = {FormatSelection{99, QBitArray(2, true)}};
        fill();
        fill();
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->text(), QStringLiteral("already here"));
        QCOMPARE(selection.size(), 3);
        QCOMPARE(selection.at(0).fif, 99);
        QCOMPARE(selection.at(2).fif, fifOf("PNG"));
    }

    void readsNothingIntoTheRegistry()
    {
        registerEveryFormat(*reg);
        QVERIFY(opens(inUserClasses + QStringLiteral(".png"), QStringLiteral("Talvimor.PNG")));
        const QStringList before = reg->everything();
        QVERIFY(before.size() > formatCount());
        fillFormatList(list.get(), nullptr);
        QCOMPARE(reg->everything(), before);
    }

    // The applier writes no key for an extension that cannot name one, so
    // the reader must not hold it against the format either.
    void extensionsNoKeyCanBeNamedAfterAreSkipped()
    {
        const int fif = registerLocalFormat("SLASHED", "x/y,slashed,z\\w");
        QVERIFY(fif >= 0);
        registerFormats(*reg, {fif});
        QVERIFY(opens(inMachineClasses + QStringLiteral(".slashed"), progIdOf(fif)));
        for (int i = 0; i < 2; ++i)
            QTest::ignoreMessage(QtDebugMsg,
                                 "skipped an extension that cannot name a registry key");
        QVERIFY(fill());
        QCOMPARE(list->count(), 1);
        QCOMPARE(checkState(list->item(0)), int(Qt::Checked));
        QCOMPARE(describe(selection), QStringList{QStringLiteral("SLASHED=010")});
    }

    // An empty list gives a tool tip of a lone dot, and a format with
    // nothing to associate holds nothing against the result.
    void formatsWithoutExtensionsAreUncheckedAndCountAsWhole()
    {
        const int fif = registerLocalFormat("BARE", "");
        QVERIFY(fif >= 0);
        registerFormats(*reg, {fif});
        QVERIFY(fill());
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->toolTip(), QStringLiteral("Local<br>."));
        QCOMPARE(checkState(list->item(0)), int(Qt::Unchecked));
        QCOMPARE(selection.at(0).selected.size(), 0);
    }
};

QTEST_MAIN(TestFillFormatList)
#include "tst_fillformatlist.moc"
