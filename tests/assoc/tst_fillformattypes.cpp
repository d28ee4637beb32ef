#include "formatcatalogue.h"
#include "formatlist.h"
#include "formatregistration.h"
#include "listitems.h"
#include "registrylayout.h"
#include "testregistry.h"

#include <QListWidget>
#include <QtTest>

// What only the substitute can seed: values of other types than a string,
// which the engine's own settings never write.
class TestFillFormatTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The ProgId's text, but as a one-string list and as raw bytes: only a
    // string value names a ProgId. The applier must see the same values as
    // the reader: what reads as not ours is taken over when checked, and
    // what is left then reads as ours.
    void checkingTakesOverWhatOnlyConvertsToTheProgId()
    {
        TestRegistry reg;
        const int png = fifOf("PNG"), gif = fifOf("GIF");
        registerFormats(reg, {png, gif});
        const QString pngKey = inUserClasses + QStringLiteral(".png");
        const QString gifOverride = inFileExts + QStringLiteral(".gif");
        QVERIFY(reg.setData(pngKey, QString(), RegType::MultiSz,
                            encodeRegSz(progIdOf(png)) + QByteArray(2, '\0')));
        QVERIFY(reg.setData(gifOverride, QStringLiteral("ProgId"), RegType::Binary,
                            progIdOf(gif).toLatin1()));

        QListWidget list;
        SelectionList selection;
        QVERIFY(!fillFormatList(&list, &selection));
        QCOMPARE(list.count(), 2);
        QCOMPARE(checkState(list.item(0)), int(Qt::Unchecked));
        QCOMPARE(checkState(list.item(1)), int(Qt::Unchecked));
        setAll(list, Qt::Checked);
        QVERIFY(applyFormatList(&list));

        QVERIFY(!reg.get(gifOverride, QStringLiteral("ProgId")));
        QCOMPARE(reg.get(inUserClasses + QStringLiteral(".gif"), QString()), progIdOf(gif));
        const auto pngDefault = reg.store->value(TestRegistry::key(pngKey), QString());
        QVERIFY(pngDefault);
        QCOMPARE(pngDefault->type, quint32(RegType::Sz));
        QCOMPARE(decodeRegSz(pngDefault->data), progIdOf(png));

        QListWidget reread;
        QVERIFY(fillFormatList(&reread, nullptr));
        QCOMPARE(checkState(reread.item(0)), int(Qt::Checked));
        QCOMPARE(checkState(reread.item(1)), int(Qt::Checked));
    }
};

QTEST_MAIN(TestFillFormatTypes)
#include "tst_fillformattypes.moc"
