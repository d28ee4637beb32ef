// The Vista-and-later path: the Windows version, the association page and
// its message boxes, making the viewer the default and querying through the
// service, each against a stand-in service that fails on demand and counts
// its releases; and at the end the substitute service itself, which follows
// Default Programs on the substitute registry.

#include "defaultprograms.h"
#include "defaultprograms_p.h"
#include "enginefixture.h"
#include "formatcatalogue.h"
#include "listitems.h"
#include "messagecapture.h"
#include "registrylayout.h"
#include "shellrecord.h"
#include "testregistry.h"
#include "windowsassociations_p.h"
#include "windowsversion.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <FreeImage.h>

namespace {

// Stand-ins for the service objects that fail whichever call a test names
// and count every creation and release.
struct Ledger
{
    QSet<QString> failing;
    bool returnObjectOnFailure = false;
    int created = 0;
    int released = 0;
    bool allDefault = false;
    QSet<QString> defaultExtensions;
    // What QueryCurrentDefault answers, by extension; a failing one hands
    // its string back all the same when returnStringOnFailure is set.
    QMap<QString, QString> currentDefaults;
    bool returnStringOnFailure = false;
    int stringsGiven = 0;
    int stringsFreed = 0;
    QStringList calls;
};

// Either service object; each one made is given back once.
class FakeService final : public AssociationRegistration, public AssociationRegistrationUI
{
public:
    explicit FakeService(Ledger &l) : l(l) {}
    HResult queryAppIsDefault(const QString &query, int type, int level, const QString &app,
                              bool *isDefault) override
    {
        l.calls.append(QStringLiteral("QueryAppIsDefault %1 %2 %3 %4")
                           .arg(query, QString::number(type), QString::number(level), app));
        if (l.failing.contains(QStringLiteral("QueryAppIsDefault ") + query))
            return HResults::invalidArgument;
        *isDefault = l.defaultExtensions.contains(query);
        return HResults::ok;
    }
    HResult queryAppIsDefaultAll(int level, const QString &app, bool *isDefault) override
    {
        l.calls.append(QStringLiteral("QueryAppIsDefaultAll %1 %2").arg(level).arg(app));
        if (l.failing.contains(QStringLiteral("QueryAppIsDefaultAll")))
            return HResults::notImplemented;
        *isDefault = l.allDefault;
        return HResults::falseOk; // S_FALSE is a success
    }
    HResult setAppAsDefaultAll(const QString &app) override
    {
        l.calls.append(QStringLiteral("SetAppAsDefaultAll ") + app);
        return l.failing.contains(QStringLiteral("SetAppAsDefaultAll")) ? HResults::invalidArgument
                                                                        : HResults::ok;
    }
    HResult queryCurrentDefault(const QString &query, int type, int level,
                                char16_t **association) override
    {
        l.calls.append(
            QStringLiteral("QueryCurrentDefault %1 %2 %3").arg(query).arg(type).arg(level));
        *association = nullptr;
        const bool fail = l.failing.contains(QStringLiteral("QueryCurrentDefault ") + query);
        if (l.currentDefaults.contains(query) && (!fail || l.returnStringOnFailure)) {
            const QString answer = l.currentDefaults.value(query);
            *association = new char16_t[size_t(answer.size()) + 1];
            std::copy_n(answer.utf16(), answer.size() + 1, *association);
            ++l.stringsGiven;
        }
        if (fail)
            return HResults::invalidArgument;
        return *association ? HResults::ok : HResults::noAssociation;
    }
    void freeString(char16_t *s) override
    {
        if (s)
            ++l.stringsFreed;
        delete[] s;
    }
    HResult launchAdvancedAssociationUI(const QString &app) override
    {
        l.calls.append(QStringLiteral("LaunchAdvancedAssociationUI ") + app);
        return l.failing.contains(QStringLiteral("Launch")) ? HResults::classNotRegistered
                                                            : HResults::ok;
    }
    void release() override
    {
        ++l.released;
        delete this;
    }

private:
    Ledger &l;
};

class FakeFactory final : public AssociationServiceFactory
{
public:
    explicit FakeFactory(Ledger &l) : l(l) {}
    template <typename I> HResult make(I **out)
    {
        *out = nullptr;
        const bool fail = l.failing.contains(QStringLiteral("Create"));
        if (!fail || l.returnObjectOnFailure) {
            *out = new FakeService(l);
            ++l.created;
        }
        return fail ? HResults::notInitialized : HResults::ok;
    }
    HResult createRegistration(AssociationRegistration **out) override { return make(out); }
    HResult createRegistrationUI(AssociationRegistrationUI **out) override { return make(out); }

private:
    Ledger &l;
};

struct Box
{
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the message boxes that the code under test opens, recording them.
QList<Box> answerBoxes(const std::function<void()> &run)
{
    QList<Box> boxes;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes.append({box->windowTitle(), box->text(), box->icon()});
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            box->done(QMessageBox::Ok);
        }
    });
    timer.start(10);
    run();
    return boxes;
}

const QString notInstalled =
    QStringLiteral("Talvimor Image Viewer is not installed. Cannot set file associations.");
const QString cannotCreatePage =
    QStringLiteral("Cannot create ApplicationAssociationRegistrationUI for Talvimor Image Viewer");
const QString cannotLaunchPage =
    QStringLiteral("Cannot launch ApplicationAssociationRegistrationUI for Talvimor Image Viewer");
const QStringList launchedPage{QStringLiteral("LaunchAdvancedAssociationUI Talvimor Image Viewer")};
const QString elevenPage =
    QStringLiteral("ms-settings:defaultapps?registeredAppMachine=Talvimor%20Image%20Viewer");

enum VersionTest { VistaOrLater, Windows8OrLater, Windows10OrLater };
// How far the association page gets before it is asked for.
enum PageSetup { Unregistered, Registered, SettingsBlocked };

} // namespace

class TestDefaultPrograms : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;
    // The engine's debug lines, from init() on; other messages still reach the log.
    std::optional<MessageCapture> engineDebug;
    Ledger ledger;
    FakeFactory factory{ledger};

    // On the Windows given, the viewer registered with JPEG and TIFF (and
    // no other format machine-wide) and declaring their extensions, and the
    // current default of each the viewer's.
    void ownedJpegAndTiff(const QString &version)
    {
        setWindows(*reg, version);
        registerViewer(*reg);
        for (const char *format : {"JPEG", "TIFF"})
            QVERIFY(reg->set(inMachineClasses + progIdOf(fifOf(format)), QString(),
                             QLatin1String(format)));
        for (const char *e : {".jpg", ".jif", ".jpeg", ".jpe", ".tif", ".tiff"})
            QVERIFY(reg->set(viewerFileAssociations, QLatin1String(e),
                             progIdOf(fifOf(e[1] == 't' ? "TIFF" : "JPEG"))));
        ownEverything();
    }

    void ownEverything()
    {
        for (const char *e : {".jpg", ".jif", ".jpeg", ".jpe"})
            ledger.currentDefaults.insert(QLatin1String(e), QStringLiteral("Talvimor.JPEG"));
        for (const char *e : {".tif", ".tiff"})
            ledger.currentDefaults.insert(QLatin1String(e), QStringLiteral("Talvimor.TIFF"));
    }

    // The substitute service, the viewer claiming .png and .gif, and the
    // machine giving .gif to the viewer and .png to another program.
    void substituteWithViewerClaimingPngAndGif()
    {
        installAssociationServiceFactory(nullptr);
        registerViewer(*reg);
        for (const char *e : {".png", ".gif"})
            QVERIFY(reg->set(viewerFileAssociations, QLatin1String(e),
                             QStringLiteral("Talvimor.") + QString::fromLatin1(e + 1).toUpper()));
        for (const auto &[e, progId] : {std::pair{".gif", "Talvimor.GIF"}, {".png", "pngfile"}})
            QVERIFY(
                reg->set(inMachineClasses + QLatin1String(e), QString(), QLatin1String(progId)));
    }

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        ledger = Ledger();
        installAssociationServiceFactory(&factory);
        engineDebug.emplace(QtDebugMsg);
    }

    void cleanup()
    {
        engineDebug.reset();
        installAssociationServiceFactory(nullptr);
        // Every object made is given back exactly once, whatever happened,
        // and so is every string the service handed out.
        QCOMPARE(ledger.released, ledger.created);
        QCOMPARE(ledger.stringsFreed, ledger.stringsGiven);
    }

    void windowsVersionComesFromTheRegistry_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("build");
        QTest::addColumn<int>("expected");
        QTest::newRow("missing is XP") << QString() << 0 << 0x30;
        QTest::newRow("NT 4") << QStringLiteral("4.0") << 0 << 0x10;
        QTest::newRow("2000") << QStringLiteral("5.0") << 0 << 0x20;
        QTest::newRow("XP") << QStringLiteral("5.1") << 0 << 0x30;
        QTest::newRow("Server 2003") << QStringLiteral("5.2") << 0 << 0x40;
        QTest::newRow("Vista") << QStringLiteral("6.0") << 0 << 0x80;
        QTest::newRow("7") << QStringLiteral("6.1") << 0 << 0x90;
        QTest::newRow("8") << QStringLiteral("6.2") << 0 << 0xa0;
        QTest::newRow("8.1") << QStringLiteral("6.3") << 0 << 0xb0;
        QTest::newRow("6.4 is 8.1") << QStringLiteral("6.4") << 0 << 0xb0;
        QTest::newRow("7.0 is 10") << QStringLiteral("7.0") << 0 << 0xc0;
        QTest::newRow("10 behind a 6.3") << QStringLiteral("10.0") << 0 << 0xc0;
        QTest::newRow("11") << QStringLiteral("10.0") << 22631 << 0xc0;
        QTest::newRow("after 11") << QStringLiteral("11.0") << 0 << 0xc0;
        QTest::newRow("garbage is XP") << QStringLiteral("six") << 0 << 0x30;
    }

    // Every release, and versions no release has: within an NT major they
    // count as the release below, and a major of their own as the next one.
    void windowsVersionComesFromTheRegistry()
    {
        QFETCH(QString, version);
        QFETCH(int, build);
        QFETCH(int, expected);
        setWindows(*reg, version, build);
        QCOMPARE(windowsVersion(), expected);
        QCOMPARE(isVistaOrLater(), expected > 0x7F);
    }

    void modesChangeAtTheirVersions_data()
    {
        QTest::addColumn<int>("test");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Vista at 0x30") << int(VistaOrLater) << 0x30 << false;
        QTest::newRow("Vista at 0x7F") << int(VistaOrLater) << 0x7F << false;
        QTest::newRow("Vista at 0x80") << int(VistaOrLater) << 0x80 << true;
        QTest::newRow("Vista at 0xC0") << int(VistaOrLater) << 0xC0 << true;
        QTest::newRow("8 at 0x90") << int(Windows8OrLater) << 0x90 << false;
        QTest::newRow("8 at 0x9F") << int(Windows8OrLater) << 0x9F << false;
        QTest::newRow("8 at 0xA0") << int(Windows8OrLater) << 0xA0 << true;
        QTest::newRow("8 at 0xC0") << int(Windows8OrLater) << 0xC0 << true;
        QTest::newRow("10 at 0xb0") << int(Windows10OrLater) << 0xb0 << false;
        QTest::newRow("10 at 0xBF") << int(Windows10OrLater) << 0xBF << false;
        QTest::newRow("10 at 0xC0") << int(Windows10OrLater) << 0xC0 << true;
    }

    // The mode changes between 0x7f and 0x80, the service at Windows 8 and 10.
    void modesChangeAtTheirVersions()
    {
        QFETCH(int, test);
        QFETCH(int, version);
        QFETCH(bool, expected);
        QCOMPARE(test == VistaOrLater      ? isWindowsVistaOrLater(version)
                 : test == Windows8OrLater ? isWindows8OrLater(version)
                                           : isWindows10OrLater(version),
                 expected);
    }

    void thePageOpensOrSaysWhyNot_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("build");
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("objectAnyway");
        QTest::addColumn<QString>("box"); // the one box's text, if any
        QTest::addColumn<QString>("uri"); // Settings' page, opened instead
        const QString ten = QStringLiteral("10.0"), create = QStringLiteral("Create"),
                      launch = QStringLiteral("Launch"),
                      tenPage = QStringLiteral("ms-settings:defaultapps");
        // Nothing failing and no box or Settings' page, unless the row says.
        const auto row = [](QTestData &r, const QString &version, int build, PageSetup setup,
                            const QString &failing = {}, const QString &box = {},
                            const QString &uri = {}, bool objectAnyway = false) {
            r << version << build << int(setup) << failing << objectAnyway << box << uri;
        };
        row(QTest::newRow("not registered, XP"), {}, 0, Unregistered, {}, notInstalled);
        row(QTest::newRow("not registered, 11"), ten, 22631, Unregistered, {}, notInstalled);
        row(QTest::newRow("create"), {}, 0, Registered, create, cannotCreatePage);
        row(QTest::newRow("create, object anyway"), {}, 0, Registered, create, cannotCreatePage, {},
            true);
        row(QTest::newRow("launch"), {}, 0, Registered, launch, cannotLaunchPage);
        row(QTest::newRow("none"), {}, 0, Registered);
        row(QTest::newRow("no Settings, page opens"), ten, 22631, SettingsBlocked);
        row(QTest::newRow("no Settings, page cannot be made"), ten, 22631, SettingsBlocked, create,
            cannotCreatePage);
        row(QTest::newRow("no Settings, page cannot open"), ten, 22631, SettingsBlocked, launch,
            cannotLaunchPage);
        row(QTest::newRow("8.1"), QStringLiteral("6.3"), 9600, Registered);
        row(QTest::newRow("10, no build"), ten, 0, Registered, {}, {}, tenPage);
        row(QTest::newRow("10"), ten, 19045, Registered, {}, {}, tenPage);
        row(QTest::newRow("10, last build before 11"), ten, 21999, Registered, {}, {}, tenPage);
        row(QTest::newRow("11"), ten, 22000, Registered, {}, {}, elevenPage);
        row(QTest::newRow("11, later"), ten, 26100, Registered, {}, {}, elevenPage);
    }

    // Settings that cannot be opened on 11 leave the older page, and its
    // boxes. A page that could not be made is never asked to open, even
    // when an object came back with the failure. Windows 11 is told from 10
    // by the build alone; its page takes the registered name as a URI
    // component.
    void thePageOpensOrSaysWhyNot()
    {
        QFETCH(QString, version);
        QFETCH(int, build);
        QFETCH(int, setup);
        QFETCH(QString, failing);
        QFETCH(bool, objectAnyway);
        QFETCH(QString, box);
        QFETCH(QString, uri);
        setWindows(*reg, version, build);
        // What the shell opened is recorded there; a directory in its place
        // makes the launch fail.
        QFile opened(ShellRecord::openedUriFileFor(RegistryStore::defaultFileName()));
        if (setup == SettingsBlocked)
            QVERIFY(QDir().mkpath(opened.fileName()));
        if (setup != Unregistered)
            registerViewer(*reg);
        ledger.failing.insert(failing);
        ledger.returnObjectOnFailure = objectAnyway;
        const QList<Box> boxes = answerBoxes([] { launchAssociationPage(); });
        QCOMPARE(boxes.size(), int(!box.isEmpty()));
        for (const Box &b : boxes) {
            QCOMPARE(b.icon,
                     box == notInstalled ? QMessageBox::Information : QMessageBox::Critical);
            QCOMPARE(b.title, QStringLiteral("File associations"));
            QCOMPARE(b.text, box);
        }
        QCOMPARE(opened.open(QIODevice::ReadOnly) ? QString::fromUtf8(opened.readAll()).trimmed()
                                                  : QString(),
                 uri);
        if (!uri.isEmpty())
            QCOMPARE(defaultAppsPageUri(build), uri);
        const bool asked =
            setup != Unregistered && uri.isEmpty() && failing != QLatin1String("Create");
        QCOMPARE(ledger.calls, asked ? launchedPage : QStringList());
        QCOMPARE(ledger.created, int(asked || objectAnyway));
    }

    void makingDefault_data()
    {
        QTest::addColumn<QString>("version"); // none: the viewer not even registered
        QTest::addColumn<bool>("owned");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<QStringList>("debug");
        const QString create = QStringLiteral("Create"), set = QStringLiteral("SetAppAsDefaultAll");
        const QStringList setError{serviceError("SetAppAsDefaultAll")};
        const QStringList unchanged{QStringLiteral(
            "IApplicationAssociationRegistration SetAppAsDefaultAll: Windows no longer lets an "
            "application set its own defaults")};
        const QString seven = QStringLiteral("6.1"), eight = QStringLiteral("6.2"),
                      ten = QStringLiteral("10.0");
        QTest::newRow("accepted") << QString() << true << QString() << true << QStringList();
        QTest::newRow("create") << QString() << true << create << false
                                << QStringList{serviceError("CoCreateInstance")};
        QTest::newRow("set") << QString() << true << set << false << setError;
        QTest::newRow("7, nothing owned") << seven << false << QString() << true << QStringList();
        QTest::newRow("8, nothing changed") << eight << false << QString() << false << unchanged;
        QTest::newRow("10, nothing changed") << ten << false << QString() << false << unchanged;
        QTest::newRow("10, owned already") << ten << true << QString() << true << QStringList();
        QTest::newRow("10, refused, owned") << ten << true << set << true << setError;
    }

    // From Windows 8 a request that changed nothing is not done, and one
    // refused that finds everything the viewer's already is.
    void makingDefault()
    {
        QFETCH(QString, version);
        QFETCH(bool, owned);
        QFETCH(QString, failing);
        QFETCH(bool, expected);
        QFETCH(QStringList, debug);
        if (!version.isNull())
            ownedJpegAndTiff(version);
        if (!owned)
            ledger.currentDefaults.insert(QStringLiteral(".jpg"), QStringLiteral("jpegfile"));
        ledger.failing.insert(failing);
        ledger.returnObjectOnFailure = true;
        bool ok = !expected;
        makeAppDefaultThroughService(&ok);
        QCOMPARE(ok, expected);
        QCOMPARE(engineDebug->texts(), debug);
        if (failing != QLatin1String("Create"))
            QCOMPARE(ledger.calls.first(),
                     QStringLiteral("SetAppAsDefaultAll Talvimor Image Viewer"));

        // Without ok it still asks, and logs as before.
        const QStringList calls = ledger.calls;
        engineDebug->clear();
        makeAppDefaultThroughService(nullptr);
        QCOMPARE(ledger.calls, calls + calls);
        QCOMPARE(engineDebug->texts(), debug);
        if (failing != QLatin1String("Create"))
            QCOMPARE(ledger.calls.count(QStringLiteral("SetAppAsDefaultAll Talvimor Image Viewer")),
                     2);
    }

    // A failed query leaves the flag alone, so it must not inherit the answer
    // of the extension before it, the viewer's.
    void queryListsRegisteredFormats()
    {
        registerViewer(*reg);
        const int jpeg = fifOf("JPEG"), png = fifOf("PNG"), tiff = fifOf("TIFF");
        QVERIFY(reg->set(inMachineClasses + progIdOf(jpeg), QString(), QStringLiteral("JPEG")));
        QVERIFY(reg->set(inMachineClasses + progIdOf(tiff), QString(), QString()));
        QVERIFY(reg->createKey(inMachineClasses + progIdOf(png) +
                               QStringLiteral("\\shell"))); // no default
        ledger.defaultExtensions = {QStringLiteral(".jpg"), QStringLiteral(".jpeg"),
                                    QStringLiteral(".tif"), QStringLiteral(".tiff")};
        ledger.failing.insert(QStringLiteral("QueryAppIsDefault .jif"));
        ledger.allDefault = true;

        SelectionList list{FormatSelection{0, QBitArray()}};
        // True overall although bits are clear: passed on as the service says.
        QVERIFY(queryDefaultsThroughService(&list));
        QCOMPARE(describe(list),
                 (QStringList{formatName(0) + QLatin1Char('='), QStringLiteral("JPEG=1010"),
                              QStringLiteral("TIFF=11")}));
        QCOMPARE(engineDebug->texts(), QStringList{serviceError("QueryAppIsDefault")});
        QVERIFY(ledger.calls.contains(
            QStringLiteral("QueryAppIsDefault .jpe 0 1 Talvimor Image Viewer")));
        QCOMPARE(ledger.calls.first(),
                 QStringLiteral("QueryAppIsDefaultAll 1 Talvimor Image Viewer"));
        QCOMPARE(ledger.created, 1);
    }

    // Unregistered, the service is not even made; registered, a failure of
    // its overall answer or of its creation fails the query whole.
    void queryFailsUnlessTheViewerIsRegisteredAndTheServiceAnswers()
    {
        SelectionList list{FormatSelection{5, QBitArray(1, true)}};
        QVERIFY(!queryDefaultsThroughService(&list));
        QCOMPARE(list.size(), 1);
        QCOMPARE(ledger.created, 0);

        registerViewer(*reg);
        ledger.failing.insert(QStringLiteral("QueryAppIsDefaultAll"));
        ledger.allDefault = true;
        QVERIFY(!queryDefaultsThroughService(nullptr));
        QCOMPARE(engineDebug->texts(), QStringList{serviceError("QueryAppIsDefaultAll")});
        ledger.failing = {QStringLiteral("Create")};
        ledger.returnObjectOnFailure = true;
        list.clear();
        QVERIFY(!queryDefaultsThroughService(&list));
        QVERIFY(list.isEmpty());
    }

    void queryFromWindows8AsksForTheCurrentDefault_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("8") << QStringLiteral("6.2");
        QTest::newRow("8.1") << QStringLiteral("6.3");
        QTest::newRow("10") << QStringLiteral("10.0");
    }

    void queryFromWindows8AsksForTheCurrentDefault()
    {
        QFETCH(QString, version);
        ownedJpegAndTiff(version);
        // The older questions would say yes to everything; they are not asked.
        ledger.allDefault = true;
        ledger.defaultExtensions = {QStringLiteral(".jpg"),  QStringLiteral(".jif"),
                                    QStringLiteral(".jpeg"), QStringLiteral(".jpe"),
                                    QStringLiteral(".tif"),  QStringLiteral(".tiff")};
        ledger.currentDefaults[QStringLiteral(".jif")] = QStringLiteral("jpegfile");
        // ProgIds compare exactly.
        ledger.currentDefaults[QStringLiteral(".tiff")] = QStringLiteral("talvimor.TIFF");
        // A failed call that hands back a string all the same: freed, bit clear.
        ledger.failing.insert(QStringLiteral("QueryCurrentDefault .jpe"));
        ledger.returnStringOnFailure = true;
        ledger.currentDefaults.remove(QStringLiteral(".jpeg")); // no association at all

        SelectionList list{FormatSelection{0, QBitArray()}};
        QVERIFY(!queryDefaultsThroughService(&list));
        QCOMPARE(describe(list),
                 (QStringList{formatName(0) + QLatin1Char('='), QStringLiteral("JPEG=1000"),
                              QStringLiteral("TIFF=10")}));
        for (const QString &call : std::as_const(ledger.calls))
            QVERIFY2(call.startsWith(QLatin1String("QueryCurrentDefault ")), qPrintable(call));
        QVERIFY(ledger.calls.contains(QStringLiteral("QueryCurrentDefault .jpe 0 1")));
        // Each extension asked twice: once whether everything declared is
        // the viewer's, once for its bit.
        QCOMPARE(ledger.calls.size(), 12);
        const QString failedCall = serviceError("QueryCurrentDefault");
        QCOMPARE(engineDebug->texts(),
                 (QStringList{failedCall, failedCall, failedCall, failedCall}));
        QCOMPARE(ledger.stringsGiven, 10);
        QCOMPARE(ledger.stringsFreed, 10);

        // Everything declared the viewer's: yes, list or none.
        ownEverything();
        ledger.failing.clear();
        ledger.allDefault = false;
        list.clear();
        QVERIFY(queryDefaultsThroughService(&list));
        QCOMPARE(describe(list),
                 (QStringList{QStringLiteral("JPEG=1111"), QStringLiteral("TIFF=11")}));
        QVERIFY(queryDefaultsThroughService(nullptr));
        QCOMPARE(ledger.created, 3);
    }

    // Up to 7 the service's own overall answer stands, as before.
    void queryOnWindows7KeepsTheOlderQuestions()
    {
        ownedJpegAndTiff(QStringLiteral("6.1"));
        ledger.allDefault = false;
        SelectionList list;
        QVERIFY(!queryDefaultsThroughService(&list));
        QCOMPARE(describe(list),
                 (QStringList{QStringLiteral("JPEG=0000"), QStringLiteral("TIFF=00")}));
        for (const QString &call : std::as_const(ledger.calls))
            QVERIFY2(!call.startsWith(QLatin1String("QueryCurrentDefault")), qPrintable(call));
        QCOMPARE(ledger.stringsGiven, 0);
    }

    void substituteFollowsDefaultPrograms_data()
    {
        QTest::addColumn<bool>("eleven"); // else XP
        QTest::newRow("XP") << false;
        QTest::newRow("11") << true;
    }

    // The substitute for Windows' own service, on the substitute registry.
    // From Windows 8 it takes the request and changes nothing, while the
    // older questions still answer from the registry; the current default is
    // the user's choice, else the merged classes'.
    void substituteFollowsDefaultPrograms()
    {
        QFETCH(bool, eleven);
        substituteWithViewerClaimingPngAndGif();
        if (eleven) {
            setWindows(*reg, QStringLiteral("10.0"), 22631);
            QVERIFY(reg->set(inFileExts + QStringLiteral(".gif\\UserChoice"),
                             QStringLiteral("Progid"), QStringLiteral("giffile")));
        }
        QVERIFY(!QTest::currentTestFailed());
        const QStringList before = reg->everything();

        AssociationServiceFactory &real = associationServiceFactory();
        AssociationRegistrationUI *page = nullptr;
        QCOMPARE(real.createRegistrationUI(&page), HResults::classNotRegistered);
        QVERIFY(!page);

        AssociationRegistration *r = nullptr;
        QVERIFY(!failed(real.createRegistration(&r)));
        bool flag = true;
        const auto isDefault = [&](const char *extension) {
            return r->queryAppIsDefault(QLatin1String(extension), 0, 1, registeredAppName, &flag);
        };
        QVERIFY(!failed(isDefault(".PNG")));
        QVERIFY(!flag);
        QVERIFY(!failed(isDefault(".gif")));
        QCOMPARE(flag, !eleven);
        QVERIFY(!failed(r->queryAppIsDefaultAll(1, registeredAppName, &flag)));
        QVERIFY(!flag);
        QVERIFY(failed(isDefault(".bmp")));
        QVERIFY(failed(r->setAppAsDefaultAll(QStringLiteral("Not Registered"))));

        QVERIFY(!failed(r->setAppAsDefaultAll(registeredAppName)));
        if (eleven)
            QCOMPARE(reg->everything(), before);
        else
            QCOMPARE(
                reg->get(inFileExts + QStringLiteral(".png\\UserChoice"), QStringLiteral("Progid")),
                QStringLiteral("Talvimor.PNG"));
        QCOMPARE(notifications(*reg), eleven ? 0 : 1);
        QVERIFY(!failed(r->queryAppIsDefaultAll(1, registeredAppName, &flag)));
        QCOMPARE(flag, !eleven);

        auto current = [&](const QString &extension, QString *answer) {
            char16_t *s = reinterpret_cast<char16_t *>(1);
            const HResult hr = r->queryCurrentDefault(extension, 0, 1, &s);
            *answer = s ? QString::fromUtf16(s) : QString();
            r->freeString(s);
            return hr;
        };
        QString answer;
        QCOMPARE(current(QStringLiteral(".gif"), &answer), HResults::ok);
        QCOMPARE(answer, eleven ? QStringLiteral("giffile") : QStringLiteral("Talvimor.GIF"));
        QCOMPARE(current(QStringLiteral(".png"), &answer), HResults::ok);
        QCOMPARE(answer, eleven ? QStringLiteral("pngfile") : QStringLiteral("Talvimor.PNG"));
        QVERIFY(failed(current(QStringLiteral(".zzq"), &answer)));
        QVERIFY(answer.isNull());
        r->release();
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestDefaultPrograms test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_defaultprograms.moc"
