// The applier on the substitute and on the real registry (under Wine):
// seeded and read back only through the registry settings. In order:
// partial items; taking over and remembering; idempotence; what the machine
// decides; giving back on unchecking; shared extensions; the round trip over
// the real table; names that must never address another key. What only a
// transactional registry can promise is in tst_applywhole.

#include "fifof.h"
#include "formatcatalogue.h"
#include "formatlist.h"
#include "formatregistration.h"
#include "listitems.h"
#include "registrylayout.h"
#include "registrylimits.h"
#include "testregistry.h"

#include <QListWidget>
#include <QtTest>

namespace {

QString progId(const char *name)
{
    return progIdOf(fifOf(name));
}

// Another program's ProgId, registered the way installers do: with a verb.
void registerProgram(TestRegistry &reg, const QString &id)
{
    QVERIFY(reg.set(inMachineClasses + id + QStringLiteral("\\shell\\open\\command"), QString(),
                    QStringLiteral("other.exe \"%1\"")));
}

// What each extension of the real table opens with now, read from the
// registry as it stands.
QMap<QString, QString> effectiveHandlers(const TestRegistry &reg)
{
    QMap<QString, QString> handlers;
    for (const QString &ext : allExtensions()) {
        const QString key = QLatin1Char('.') + ext;
        handlers[key] = progIdOpening(reg.get(inFileExts + key, overrideProgIdValue), [&] {
            return reg.get(mergedClassesPath + QLatin1Char('\\') + key, QString())
                .value_or(QString());
        });
    }
    return handlers;
}

// A list of the formats named, each in the state given, saved as the window
// saves it.
bool applyItems(std::initializer_list<const char *> formats, Qt::CheckState state)
{
    QListWidget list;
    for (const char *format : formats)
        addItem(list, format, state);
    return applyFormatList(&list);
}

} // namespace

class TestApplyFormatList : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        registerEveryFormat(*reg);
        for (const char *id : {"jpegfile", "pngfile", "giffile"})
            registerProgram(*reg, QLatin1String(id));
        QVERIFY(reg->set(inMachineClasses + QStringLiteral(".jpg"), QString(),
                         QStringLiteral("jpegfile")));
        QVERIFY(reg->set(inMachineClasses + QStringLiteral(".gif"), QString(),
                         QStringLiteral("giffile")));
    }

    // Going away, the registry checks that the machine's keys are as seeded.
    void cleanup() { reg.reset(); }

    void partiallyCheckedItemsAreLeftAlone()
    {
        QVERIFY(reg->set(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                         QStringLiteral("pngfile")));
        const QStringList before = reg->everything();
        QVERIFY(applyItems({"PNG", "JPEG"}, Qt::PartiallyChecked));
        QCOMPARE(reg->everything(), before);
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 0);
    }

    void checkingTakesOverAndRemembers()
    {
        // .png: an override naming another program; .jpg: machine classes
        // only; .bmp: nothing at all.
        QVERIFY(reg->set(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                         QStringLiteral("pngfile")));
        QVERIFY(applyItems({"PNG", "JPEG", "BMP"}, Qt::Checked));

        QVERIFY(!reg->get(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId")));
        QCOMPARE(reg->get(inUserClasses + QStringLiteral(".png"), QString()), progId("PNG"));
        QCOMPARE(reg->get(inUserClasses + QStringLiteral(".png"), QStringLiteral("PerceivedType")),
                 QStringLiteral("image"));
        QCOMPARE(reg->get(inUserClasses + QStringLiteral(".png\\OpenWithProgids"),
                          QStringLiteral("pngfile")),
                 QString());
        QCOMPARE(reg->valueNames(inUserClasses + QStringLiteral(".jpg\\OpenWithProgids")),
                 QStringList{QStringLiteral("jpegfile")});
        // The remembered ProgId is the one read before the first extension
        // was written, for each extension on its own.
        QVERIFY(!reg->exists(inUserClasses + QStringLiteral(".jif\\OpenWithProgids")));
        QCOMPARE(reg->get(inUserClasses + QStringLiteral(".jif"), QString()), progId("JPEG"));
        QVERIFY(!reg->exists(inUserClasses + QStringLiteral(".bmp\\OpenWithProgids")));
        QCOMPARE(reg->valueNames(inUserClasses + QStringLiteral(".bmp")),
                 (QStringList{QString(), QStringLiteral("PerceivedType")}));
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 1);
    }

    void applyingTwiceWritesNothingMore_data()
    {
        QTest::addColumn<QStringList>("unregistered");
        QTest::newRow("every format") << QStringList();
        // The window then lists fewer formats than the table has.
        QTest::newRow("without JPEG and JNG")
            << QStringList{QStringLiteral("JPEG"), QStringLiteral("JNG")};
    }

    void applyingTwiceWritesNothingMore()
    {
        QFETCH(QStringList, unregistered);
        for (const QString &format : unregistered)
            QVERIFY(reg->removeKey(inMachineClasses + progId(qPrintable(format))));
        QListWidget list;
        fillFormatList(&list, nullptr);
        QCOMPARE(list.count(), formatCount() - unregistered.size());
        // Two checked formats sharing an extension hand it over on every run,
        // so the list is the one a window shows after the first save.
        checkAllOnce(list);
        QVERIFY(applyFormatList(&list));
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 1);
        const QStringList after = reg->everything();
        QVERIFY(applyFormatList(&list));
        QCOMPARE(reg->everything(), after);
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 1);
    }

    void alreadyOursThroughTheMachineWritesNothing()
    {
        QVERIFY(reg->set(inMachineClasses + QStringLiteral(".png"), QString(), progId("PNG")));
        const QStringList before = reg->everything();
        QVERIFY(applyItems({"PNG"}, Qt::Checked));
        QCOMPARE(reg->everything(), before);
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 0);
        // Unchecking it cannot give back what the machine decides, and so
        // tells the shell of nothing.
        QVERIFY(applyItems({"PNG"}, Qt::Unchecked));
        QCOMPARE(reg->everything(), before);
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 0);
    }

    // Only 2 is checked and only 1 partly: anything else a caller leaves
    // in the role unchecks.
    void unknownCheckStatesUncheck()
    {
        QListWidget list;
        const char *formats[] = {"GIF", "PNG", "BMP"};
        const int states[] = {3, -1, 255};
        for (int i = 0; i < 3; ++i) {
            const QString ext = QLatin1Char('.') + extensionsOfFormat(fifOf(formats[i])).first();
            QVERIFY(reg->set(inFileExts + ext, QStringLiteral("ProgId"), progId(formats[i])));
            addItem(list, formats[i], Qt::Unchecked);
            list.item(i)->setData(Qt::CheckStateRole, states[i]);
        }
        QVERIFY(applyFormatList(&list));
        for (const char *f : formats) {
            const QString ext = QLatin1Char('.') + extensionsOfFormat(fifOf(f)).first();
            QVERIFY2(!reg->get(inFileExts + ext, QStringLiteral("ProgId")), f);
            QVERIFY2(!reg->exists(inUserClasses + ext), f);
        }
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 1);
    }

    void uncheckingRemovesOurOverride()
    {
        QVERIFY(
            reg->set(inFileExts + QStringLiteral(".gif"), QStringLiteral("ProgId"), progId("GIF")));
        QVERIFY(applyItems({"GIF"}, Qt::Unchecked));
        QVERIFY(!reg->get(inFileExts + QStringLiteral(".gif"), QStringLiteral("ProgId")));
        QVERIFY(reg->exists(inFileExts + QStringLiteral(".gif")));
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 1);
    }

    void uncheckingGivesBackToTheFirstRegisteredProgram()
    {
        const QString png = inUserClasses + QStringLiteral(".png");
        QVERIFY(reg->set(png, QString(), progId("PNG")));
        QVERIFY(reg->set(png, QStringLiteral("PerceivedType"), QStringLiteral("image")));
        // "Abandoned" sorts first but has no subkeys, so it is not registered.
        QVERIFY(reg->createKey(inMachineClasses + QStringLiteral("Abandoned")));
        for (const char *id : {"Abandoned", "pngfile", "zzz"})
            QVERIFY(reg->set(png + QStringLiteral("\\OpenWithProgids"), QLatin1String(id), {}));
        QVERIFY(applyItems({"PNG"}, Qt::Unchecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(reg->get(png, QString()), QStringLiteral("pngfile"));
        QCOMPARE(reg->get(png, QStringLiteral("PerceivedType")), QStringLiteral("image"));
        QCOMPARE(reg->valueNames(png + QStringLiteral("\\OpenWithProgids")).size(), 3);
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 1);
    }

    void uncheckingWithNoHeirRemovesTheKey()
    {
        const QString png = inUserClasses + QStringLiteral(".png");
        QVERIFY(reg->set(png, QString(), progId("PNG")));
        QVERIFY(reg->set(png, QStringLiteral("PerceivedType"), QStringLiteral("image")));
        QVERIFY(reg->set(png + QStringLiteral("\\OpenWithProgids"), QStringLiteral("Gone"), {}));
        QVERIFY(applyItems({"PNG"}, Qt::Unchecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QVERIFY(!reg->exists(png));
        PELLVARIN_COMPARE_NOTIFICATIONS(*reg, 1);
    }

    void sharedExtensionEndsWithTheLaterRow()
    {
        QVERIFY(applyItems({"PGM", "PGMRAW"}, Qt::Checked));
        QCOMPARE(reg->get(inUserClasses + QStringLiteral(".pgm"), QString()), progId("PGMRAW"));
        // The later row reads what the first wrote through the merged view.
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(reg->valueNames(inUserClasses + QStringLiteral(".pgm\\OpenWithProgids")),
                 QStringList{progId("PGM")});
    }

    // Giving an extension back never hands it to a format of the viewer
    // that the same list gives up, the format itself included.
    void givingBackSkipsProgIdsGivenUp()
    {
        QVERIFY(applyItems({"PPM", "PPMRAW"}, Qt::Checked));
        // .ppm now opens with PPMRAW and remembers PPM; both are registered.
        QVERIFY(applyItems({"PPM", "PPMRAW"}, Qt::Unchecked));
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QVERIFY(!reg->exists(inUserClasses + QStringLiteral(".ppm")));

        QListWidget reread;
        QVERIFY(!fillFormatList(&reread, nullptr));
        for (int row = 0; row < reread.count(); ++row)
            QCOMPARE(checkState(reread.item(row)), int(Qt::Unchecked));
    }

    // The registry finds a key under any letter case, so a ProgId given up
    // is given up in every spelling.
    void givingBackSkipsProgIdsGivenUpInAnyCase()
    {
        const QString png = inUserClasses + QStringLiteral(".png");
        registerProgram(*reg, progId("PNG"));
        // The machine's default too, so that the merged view names the
        // viewer where it does not merge the user's classes.
        QVERIFY(reg->set(inMachineClasses + QStringLiteral(".png"), QString(), progId("PNG")));
        QVERIFY(reg->set(png, QString(), progId("PNG")));
        QVERIFY(reg->set(png + QStringLiteral("\\OpenWithProgids"), progId("PNG").toLower(),
                         QString()));
        QVERIFY(applyItems({"PNG"}, Qt::Unchecked));
        QVERIFY(!reg->exists(png));
    }

    void roundTripsOverTheRealTable()
    {
        const QMap<QString, QString> original = effectiveHandlers(*reg);
        QListWidget list;
        SelectionList unused;
        QVERIFY(!fillFormatList(&list, &unused));
        setAll(list, Qt::Checked);
        QVERIFY(applyFormatList(&list));

        // Every format reads back checked, except those whose only
        // extension went to a later row of the same table.
        QListWidget reread;
        fillFormatList(&reread, nullptr);
        QStringList unchecked;
        for (int row = 0; row < reread.count(); ++row) {
            if (checkState(reread.item(row)) != Qt::Checked)
                unchecked.append(reread.item(row)->text().trimmed());
        }
        PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE();
        QCOMPARE(unchecked, (QStringList{QStringLiteral("PBM"), QStringLiteral("PGM"),
                                         QStringLiteral("PPM")}));

        setAll(reread, Qt::Unchecked);
        QVERIFY(applyFormatList(&reread));
        const QMap<QString, QString> after = effectiveHandlers(*reg);
        QCOMPARE(after, original);
        for (const QString &handler : after)
            QVERIFY(!handler.startsWith(QLatin1String("Talvimor.")));
    }

    void unsafeNamesNeverAddressOtherKeys_data()
    {
        QTest::addColumn<QString>("override");
        QTest::addColumn<bool>("remembered");
        QTest::newRow("backslashes") << QStringLiteral("..\\..\\Escape") << false;
        QTest::newRow("slash") << QStringLiteral("../Escape") << false;
        QTest::newRow("past the value name limit")
            << QString(maxValueNameLength + 1, QLatin1Char('p')) << false;
        QTest::newRow("at the value name limit")
            << QString(maxValueNameLength, QLatin1Char('p')) << true;
        QTest::newRow("control characters") << QStringLiteral("Other\t\x01\x7f") << true;
        QTest::newRow("line break") << QStringLiteral("Other\nName") << false;
    }

    void unsafeNamesNeverAddressOtherKeys()
    {
        // An override naming no single value: it may be compared and
        // removed, never used as a name, and it must not fail the save.
        QFETCH(QString, override);
        QFETCH(bool, remembered);
        QVERIFY(reg->set(inFileExts + QStringLiteral(".gif"), QStringLiteral("ProgId"), override));
        QVERIFY(applyItems({"GIF"}, Qt::Checked));
        QVERIFY(!reg->get(inFileExts + QStringLiteral(".gif"), QStringLiteral("ProgId")));
        // The whole key, to the last value: a separator taken as one would
        // have made a key ".." or a value of a deeper name somewhere below.
        const QString gif = inUserClasses + QStringLiteral(".gif");
        QStringList expected{QLatin1Char('[') + gif + QLatin1Char(']'),
                             QStringLiteral(".=QString:") + progId("GIF"),
                             QStringLiteral("PerceivedType=QString:image")};
        if (remembered)
            expected << QStringLiteral("[%1\\OpenWithProgids]").arg(gif)
                     << override + QStringLiteral("=QString:");
        QCOMPARE(reg->dump(gif), expected);
    }

    // Registers a format for the rest of this process, so it comes last.
    void extensionsNoKeyCanBeNamedAfterAreSkipped()
    {
        // ".ext" must fit in a key name; FreeImage keeps the list's pointer.
        static const QByteArray extensions = "a/b,sep,c\\d," + QByteArray(maxKeyNameLength, 'x') +
                                             ',' + QByteArray(maxKeyNameLength - 1, 'y') +
                                             ",ctl\x01\x7f";
        const int fif = registerLocalFormat("SEPARATED", extensions.constData());
        QVERIFY(fif >= 0);
        QVERIFY(reg->set(inMachineClasses + progIdOf(fif), QString(), QStringLiteral("Separated")));
        for (int i = 0; i < 3; ++i)
            QTest::ignoreMessage(QtDebugMsg,
                                 "skipped an extension that cannot name a registry key");
        const QStringList before = reg->subkeyNames(userClassesPath);
        QVERIFY(applyItems({"SEPARATED"}, Qt::Checked));
        const QStringList expected{QStringLiteral(".ctl\x01\x7f"), QStringLiteral(".sep"),
                                   QLatin1Char('.') + QString(maxKeyNameLength - 1, u'y')};
        for (const QString &key : expected)
            QCOMPARE(reg->get(inUserClasses + key, QString()), progIdOf(fif));
        // The real registry may hold them from an earlier run already.
        QStringList all = before;
        for (const QString &key : expected) {
            if (!all.contains(key, Qt::CaseInsensitive))
                all.append(key);
        }
        std::sort(all.begin(), all.end());
        QCOMPARE(reg->subkeyNames(userClassesPath), all);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestApplyFormatList test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_applyformatlist.moc"
