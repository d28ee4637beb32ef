// The Vista-and-later path: the Windows version, the association page and
// its message boxes, making the viewer the default and querying through the
// service, each against a stand-in service that fails on demand and counts
// its releases; and at the end the substitute service itself, which follows
// Default Programs on the substitute registry.

#include "defaultprograms.h"
#include "defaultprograms_p.h"
#include "formatcatalogue.h"
#include "registrylayout.h"
#include "testregistry.h"
#include "windowsassociations_p.h"
#include "windowsversion.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <FreeImage.h>

namespace {

const QString versionKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
const QString capabilities = QStringLiteral("Software\\Talvimor\\Image Viewer\\Capabilities");

QBitArray bitsOf(const char *bits)
{
    QBitArray b(int(qstrlen(bits)));
    for (int i = 0; i < b.size(); ++i)
        b.setBit(i, bits[i] == '1');
    return b;
}

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

class FakeRegistration final : public AssociationRegistration
{
public:
    explicit FakeRegistration(Ledger &l) : l(l) {}
    HResult queryAppIsDefault(const QString &query, int type, int level, const QString &app,
                              bool *isDefault) override
    {
        l.calls.append(QStringLiteral("QueryAppIsDefault %1 %2 %3 %4")
                           .arg(query)
                           .arg(type)
                           .arg(level)
                           .arg(app));
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
    void release() override
    {
        ++l.released;
        delete this;
    }

private:
    Ledger &l;
};

class FakeUI final : public AssociationRegistrationUI
{
public:
    explicit FakeUI(Ledger &l) : l(l) {}
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
    template <typename Obj, typename I> HResult make(I **out)
    {
        *out = nullptr;
        const bool fail = l.failing.contains(QStringLiteral("Create"));
        if (!fail || l.returnObjectOnFailure) {
            *out = new Obj(l);
            ++l.created;
        }
        return fail ? HResults::notInitialized : HResults::ok;
    }
    HResult createRegistration(AssociationRegistration **out) override
    {
        return make<FakeRegistration>(out);
    }
    HResult createRegistrationUI(AssociationRegistrationUI **out) override
    {
        return make<FakeUI>(out);
    }

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

QStringList debugLines;
void collectDebug(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtDebugMsg)
        debugLines.append(msg);
}

} // namespace

class TestDefaultPrograms : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;
    Ledger ledger;
    FakeFactory factory{ledger};

    // A Windows as the substitute registry describes one: "6.1" for 7,
    // "10.0" for 10 and 11, told apart by the build.
    void setWindows(const QString &version, int build = 0)
    {
        const QStringList parts = version.split(QLatin1Char('.'));
        if (parts.first().toInt() >= 10) {
            // Windows 10 keeps "6.3" for old programs and its own numbers beside.
            QVERIFY(reg->set(versionKey, QStringLiteral("CurrentVersion"), QStringLiteral("6.3")));
            for (int i = 0; i < 2; ++i) {
                const quint32 v = parts.value(i).toUInt();
                const QByteArray le(reinterpret_cast<const char *>(&v), 4);
                QVERIFY(reg->setData(versionKey,
                                     i ? QStringLiteral("CurrentMinorVersionNumber")
                                       : QStringLiteral("CurrentMajorVersionNumber"),
                                     RegType::Dword, le));
            }
        } else {
            QVERIFY(reg->set(versionKey, QStringLiteral("CurrentVersion"), version));
        }
        if (build > 0)
            QVERIFY(
                reg->set(versionKey, QStringLiteral("CurrentBuildNumber"), QString::number(build)));
    }

    // JPEG and TIFF registered machine-wide, the rest not.
    void registerJpegAndTiff()
    {
        QVERIFY(reg->set(inMachineClasses + progIdOf(fifOf("JPEG")), QString(),
                         QStringLiteral("JPEG")));
        QVERIFY(reg->set(inMachineClasses + progIdOf(fifOf("TIFF")), QString(),
                         QStringLiteral("TIFF")));
    }

    void ownEverything()
    {
        for (const char *e : {".jpg", ".jif", ".jpeg", ".jpe"})
            ledger.currentDefaults.insert(QLatin1String(e), QStringLiteral("Talvimor.JPEG"));
        for (const char *e : {".tif", ".tiff"})
            ledger.currentDefaults.insert(QLatin1String(e), QStringLiteral("Talvimor.TIFF"));
    }

    void installViewer()
    {
        QVERIFY(reg->set(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\RegisteredApplications"),
                         registeredAppName, capabilities));
    }

    // The viewer claims .png and .gif; the machine gives .gif to the viewer
    // and .png to another program.
    void installViewerClaimingPngAndGif()
    {
        installViewer();
        const QString caps = QStringLiteral("HKEY_LOCAL_MACHINE\\") + capabilities;
        QVERIFY(reg->set(caps + QStringLiteral("\\FileAssociations"), QStringLiteral(".png"),
                         QStringLiteral("Talvimor.PNG")));
        QVERIFY(reg->set(caps + QStringLiteral("\\FileAssociations"), QStringLiteral(".gif"),
                         QStringLiteral("Talvimor.GIF")));
        QVERIFY(reg->set(inMachineClasses + QStringLiteral(".gif"), QString(),
                         QStringLiteral("Talvimor.GIF")));
        QVERIFY(reg->set(inMachineClasses + QStringLiteral(".png"), QString(),
                         QStringLiteral("pngfile")));
    }

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        ledger = Ledger();
        installAssociationServiceFactory(&factory);
        debugLines.clear();
        qInstallMessageHandler(collectDebug);
    }

    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        installAssociationServiceFactory(nullptr);
        // Every object made is given back exactly once, whatever happened,
        // and so is every string the service handed out.
        QCOMPARE(ledger.released, ledger.created);
        QCOMPARE(ledger.stringsFreed, ledger.stringsGiven);
    }

    void windowsVersionComesFromTheRegistry_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("expected");
        QTest::newRow("missing is XP") << QString() << -1 << -1 << 0x30;
        QTest::newRow("2000") << QStringLiteral("5.0") << -1 << -1 << 0x20;
        QTest::newRow("XP") << QStringLiteral("5.1") << -1 << -1 << 0x30;
        QTest::newRow("Server 2003") << QStringLiteral("5.2") << -1 << -1 << 0x40;
        QTest::newRow("Vista") << QStringLiteral("6.0") << -1 << -1 << 0x80;
        QTest::newRow("7") << QStringLiteral("6.1") << -1 << -1 << 0x90;
        QTest::newRow("8") << QStringLiteral("6.2") << -1 << -1 << 0xa0;
        QTest::newRow("8.1") << QStringLiteral("6.3") << -1 << -1 << 0xb0;
        QTest::newRow("10 behind a 6.3") << QStringLiteral("6.3") << 10 << 0 << 0xc0;
        QTest::newRow("garbage is XP") << QStringLiteral("six") << -1 << -1 << 0x30;
    }

    void windowsVersionComesFromTheRegistry()
    {
        QFETCH(QString, current);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, expected);
        if (!current.isNull())
            QVERIFY(reg->set(versionKey, QStringLiteral("CurrentVersion"), current));
        auto dword = [&](const char *name, int v) {
            const QByteArray le = QByteArray::fromRawData(reinterpret_cast<const char *>(&v), 4);
            QVERIFY(reg->setData(versionKey, QLatin1String(name), RegType::Dword, le));
        };
        if (major >= 0) {
            dword("CurrentMajorVersionNumber", major);
            dword("CurrentMinorVersionNumber", minor);
        }
        QCOMPARE(windowsVersion(), expected);
        QCOMPARE(isVistaOrLater(), expected > 0x7F);
    }

    void modeChangesBetween0x7fAnd0x80()
    {
        QVERIFY(!isWindowsVistaOrLater(0x30));
        QVERIFY(!isWindowsVistaOrLater(0x7F));
        QVERIFY(isWindowsVistaOrLater(0x80));
        QVERIFY(isWindowsVistaOrLater(0xc0));
    }

    void serviceChangesAtWindows8And10()
    {
        QVERIFY(!isWindows8OrLater(0x90));
        QVERIFY(!isWindows8OrLater(0x9F));
        QVERIFY(isWindows8OrLater(0xA0));
        QVERIFY(isWindows8OrLater(0xc0));
        QVERIFY(!isWindows10OrLater(0xb0));
        QVERIFY(!isWindows10OrLater(0xBF));
        QVERIFY(isWindows10OrLater(0xC0));
    }

    // Windows 11 is told from 10 by the build alone; its page takes the
    // registered name as a URI component.
    void settingsPageUri()
    {
        QCOMPARE(defaultAppsPageUri(0), QStringLiteral("ms-settings:defaultapps"));
        QCOMPARE(defaultAppsPageUri(19045), QStringLiteral("ms-settings:defaultapps"));
        QCOMPARE(defaultAppsPageUri(21999), QStringLiteral("ms-settings:defaultapps"));
        const QString eleven = QStringLiteral(
            "ms-settings:defaultapps?registeredAppMachine=Talvimor%20Image%20Viewer");
        QCOMPARE(defaultAppsPageUri(22000), eleven);
        QCOMPARE(defaultAppsPageUri(26100), eleven);
    }

    void pageNeedsTheViewerRegistered()
    {
        const QList<Box> boxes = answerBoxes([] { launchAssociationPage(); });
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].icon, QMessageBox::Information);
        QCOMPARE(boxes[0].title, QStringLiteral("File associations"));
        QCOMPARE(boxes[0].text,
                 QStringLiteral(
                     "Talvimor Image Viewer is not installed. Cannot set file associations."));
        QCOMPARE(ledger.created, 0);
    }

    void pageFailuresAreShown_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("objectAnyway");
        QTest::addColumn<QString>("text");
        QTest::newRow("create") << QStringLiteral("Create") << false
                                << QStringLiteral(
                                       "Cannot create ApplicationAssociationRegistrationUI "
                                       "for Talvimor Image Viewer");
        QTest::newRow("create, object anyway")
            << QStringLiteral("Create") << true
            << QStringLiteral("Cannot create ApplicationAssociationRegistrationUI for Talvimor "
                              "Image Viewer");
        QTest::newRow("launch") << QStringLiteral("Launch") << false
                                << QStringLiteral(
                                       "Cannot launch ApplicationAssociationRegistrationUI "
                                       "for Talvimor Image Viewer");
        QTest::newRow("none") << QString() << false << QString();
    }

    void pageFailuresAreShown()
    {
        QFETCH(QString, failing);
        QFETCH(bool, objectAnyway);
        QFETCH(QString, text);
        installViewer();
        ledger.failing.insert(failing);
        ledger.returnObjectOnFailure = objectAnyway;
        const QList<Box> boxes = answerBoxes([] { launchAssociationPage(); });
        if (text.isEmpty()) {
            QVERIFY(boxes.isEmpty());
            QCOMPARE(ledger.calls, QStringList{QStringLiteral(
                                       "LaunchAdvancedAssociationUI Talvimor Image Viewer")});
        } else {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].icon, QMessageBox::Critical);
            QCOMPARE(boxes[0].title, QStringLiteral("File associations"));
            QCOMPARE(boxes[0].text, text);
            // A page that could not be made is never asked to open, even
            // when an object came back with the failure.
            if (failing == QLatin1String("Create"))
                QVERIFY(ledger.calls.isEmpty());
        }
    }

    QString openedUri() const
    {
        QFile file(openedUriFileFor(RegistryStore::defaultFileName()));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll()).trimmed();
    }

    void pageFromWindows10IsSettings_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("build");
        QTest::addColumn<QString>("uri");
        QTest::newRow("8.1") << QStringLiteral("6.3") << 9600 << QString();
        QTest::newRow("10") << QStringLiteral("10.0") << 19045
                            << QStringLiteral("ms-settings:defaultapps");
        QTest::newRow("10, last build before 11")
            << QStringLiteral("10.0") << 21999 << QStringLiteral("ms-settings:defaultapps");
        QTest::newRow("11") << QStringLiteral("10.0") << 22000
                            << QStringLiteral("ms-settings:defaultapps?registeredAppMachine="
                                              "Talvimor%20Image%20Viewer");
    }

    void pageFromWindows10IsSettings()
    {
        QFETCH(QString, version);
        QFETCH(int, build);
        QFETCH(QString, uri);
        setWindows(version, build);
        installViewer();
        const QList<Box> boxes = answerBoxes([] { launchAssociationPage(); });
        QVERIFY(boxes.isEmpty());
        QCOMPARE(openedUri(), uri);
        if (uri.isEmpty()) {
            QCOMPARE(ledger.calls, QStringList{QStringLiteral(
                                       "LaunchAdvancedAssociationUI Talvimor Image Viewer")});
        } else {
            QCOMPARE(ledger.created, 0);
            QVERIFY(ledger.calls.isEmpty());
        }
    }

    // Settings that cannot be opened leave the older page, and its boxes.
    void pageFallsBackWhenSettingsCannotOpen_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("text");
        QTest::newRow("page opens") << QString() << QString();
        QTest::newRow("page cannot be made")
            << QStringLiteral("Create")
            << QStringLiteral(
                   "Cannot create ApplicationAssociationRegistrationUI for Talvimor Image Viewer");
        QTest::newRow("page cannot open")
            << QStringLiteral("Launch")
            << QStringLiteral(
                   "Cannot launch ApplicationAssociationRegistrationUI for Talvimor Image Viewer");
    }

    void pageFallsBackWhenSettingsCannotOpen()
    {
        QFETCH(QString, failing);
        QFETCH(QString, text);
        setWindows(QStringLiteral("10.0"), 22631);
        installViewer();
        // A directory where the record would go: the launch fails.
        QVERIFY(QDir().mkpath(openedUriFileFor(RegistryStore::defaultFileName())));
        ledger.failing.insert(failing);
        const QList<Box> boxes = answerBoxes([] { launchAssociationPage(); });
        if (failing != QLatin1String("Create"))
            QCOMPARE(ledger.calls, QStringList{QStringLiteral(
                                       "LaunchAdvancedAssociationUI Talvimor Image Viewer")});
        if (text.isEmpty()) {
            QVERIFY(boxes.isEmpty());
        } else {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].icon, QMessageBox::Critical);
            QCOMPARE(boxes[0].title, QStringLiteral("File associations"));
            QCOMPARE(boxes[0].text, text);
        }
    }

    void pageOnWindows11NeedsTheViewerRegistered()
    {
        setWindows(QStringLiteral("10.0"), 22631);
        const QList<Box> boxes = answerBoxes([] { launchAssociationPage(); });
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].icon, QMessageBox::Information);
        QCOMPARE(boxes[0].text,
                 QStringLiteral(
                     "Talvimor Image Viewer is not installed. Cannot set file associations."));
        QCOMPARE(openedUri(), QString());
        QCOMPARE(ledger.created, 0);
    }

    void makingDefault_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<QString>("debug");
        QTest::newRow("accepted") << QString() << true << QString();
        QTest::newRow("create")
            << QStringLiteral("Create") << false
            << QStringLiteral("IApplicationAssociationRegistration CoCreateInstance error");
        QTest::newRow("set") << QStringLiteral("SetAppAsDefaultAll") << false
                             << QStringLiteral(
                                    "IApplicationAssociationRegistration SetAppAsDefaultAll error");
    }

    void makingDefault()
    {
        QFETCH(QString, failing);
        QFETCH(bool, expected);
        QFETCH(QString, debug);
        ledger.failing.insert(failing);
        ledger.returnObjectOnFailure = true;
        bool ok = !expected;
        makeAppDefaultThroughService(&ok);
        QCOMPARE(ok, expected);
        QCOMPARE(debugLines, debug.isEmpty() ? QStringList() : QStringList{debug});

        // Without ok it still asks, and logs as before.
        const QStringList calls = ledger.calls;
        debugLines.clear();
        makeAppDefaultThroughService(nullptr);
        QCOMPARE(ledger.calls, calls + calls);
        QCOMPARE(debugLines, debug.isEmpty() ? QStringList() : QStringList{debug});
        if (failing != QLatin1String("Create"))
            QCOMPARE(ledger.calls.count(QStringLiteral("SetAppAsDefaultAll Talvimor Image Viewer")),
                     2);
    }

    void queryNeedsTheViewerRegistered()
    {
        SelectionList list{FormatSelection{5, QBitArray(1, true)}};
        QVERIFY(!queryDefaultsThroughService(&list));
        QCOMPARE(list.size(), 1);
        QCOMPARE(ledger.created, 0);
    }

    void queryListsRegisteredFormats()
    {
        installViewer();
        const int jpeg = fifOf("JPEG"), png = fifOf("PNG"), tiff = fifOf("TIFF");
        QVERIFY(reg->set(inMachineClasses + progIdOf(jpeg), QString(), QStringLiteral("JPEG")));
        QVERIFY(reg->set(inMachineClasses + progIdOf(tiff), QString(), QString()));
        QVERIFY(reg->createKey(inMachineClasses + progIdOf(png) +
                               QStringLiteral("\\shell"))); // no default
        ledger.defaultExtensions = {QStringLiteral(".jpg"), QStringLiteral(".jpeg"),
                                    QStringLiteral(".tif"), QStringLiteral(".tiff")};
        ledger.failing.insert(QStringLiteral("QueryAppIsDefault .jpeg"));
        ledger.allDefault = true;

        SelectionList list{FormatSelection{0, QBitArray()}};
        // True overall although bits are clear: passed on as the service says.
        QVERIFY(queryDefaultsThroughService(&list));
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[1].fif, jpeg);
        QCOMPARE(list[1].selected, bitsOf("1000")); // .jpeg failed: its bit stays clear
        QCOMPARE(list[2].fif, tiff);
        QCOMPARE(list[2].selected, bitsOf("11"));
        QCOMPARE(debugLines, QStringList{QStringLiteral(
                                 "IApplicationAssociationRegistration QueryAppIsDefault error")});
        QVERIFY(ledger.calls.contains(
            QStringLiteral("QueryAppIsDefault .jpe 0 1 Talvimor Image Viewer")));
        QCOMPARE(ledger.calls.first(),
                 QStringLiteral("QueryAppIsDefaultAll 1 Talvimor Image Viewer"));
        QCOMPARE(ledger.created, 1);
    }

    // A failed query that leaves the flag alone must not inherit the answer
    // of the extension before it.
    void failedQueryAfterAnOwnedExtensionIsClear()
    {
        installViewer();
        const int jpeg = fifOf("JPEG");
        QVERIFY(reg->set(inMachineClasses + progIdOf(jpeg), QString(), QStringLiteral("JPEG")));
        ledger.defaultExtensions = {QStringLiteral(".jpg"), QStringLiteral(".jpeg")};
        ledger.failing.insert(QStringLiteral("QueryAppIsDefault .jif"));
        SelectionList list;
        queryDefaultsThroughService(&list);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].selected, bitsOf("1010"));
    }

    void queryOverallFailureKeepsTheFlag()
    {
        installViewer();
        ledger.failing.insert(QStringLiteral("QueryAppIsDefaultAll"));
        ledger.allDefault = true;
        QVERIFY(!queryDefaultsThroughService(nullptr));
        QCOMPARE(debugLines,
                 QStringList{QStringLiteral(
                     "IApplicationAssociationRegistration QueryAppIsDefaultAll error")});
        ledger.failing = {QStringLiteral("Create")};
        ledger.returnObjectOnFailure = true;
        SelectionList list;
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
        setWindows(version);
        installViewer();
        registerJpegAndTiff();
        ownEverything();
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
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[1].fif, fifOf("JPEG"));
        QCOMPARE(list[1].selected, bitsOf("1000"));
        QCOMPARE(list[2].fif, fifOf("TIFF"));
        QCOMPARE(list[2].selected, bitsOf("10"));
        for (const QString &call : std::as_const(ledger.calls))
            QVERIFY2(call.startsWith(QLatin1String("QueryCurrentDefault ")), qPrintable(call));
        QVERIFY(ledger.calls.contains(QStringLiteral("QueryCurrentDefault .jpe 0 1")));
        QCOMPARE(ledger.calls.size(), 6);
        QCOMPARE(
            debugLines,
            (QStringList{
                QStringLiteral("IApplicationAssociationRegistration QueryCurrentDefault error"),
                QStringLiteral("IApplicationAssociationRegistration QueryCurrentDefault error")}));
        QCOMPARE(ledger.stringsGiven, 5);
        QCOMPARE(ledger.stringsFreed, 5);

        // Everything the viewer's: the answer is the bits', list or none.
        ownEverything();
        ledger.failing.clear();
        ledger.allDefault = false;
        list.clear();
        QVERIFY(queryDefaultsThroughService(&list));
        QCOMPARE(list[0].selected, bitsOf("1111"));
        QCOMPARE(list[1].selected, bitsOf("11"));
        QVERIFY(queryDefaultsThroughService(nullptr));
        QCOMPARE(ledger.created, 3);
    }

    // Up to 7 the service's own overall answer stands, as before.
    void queryOnWindows7KeepsTheOlderQuestions()
    {
        setWindows(QStringLiteral("6.1"));
        installViewer();
        registerJpegAndTiff();
        ownEverything();
        ledger.allDefault = false;
        SelectionList list;
        QVERIFY(!queryDefaultsThroughService(&list));
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].selected, bitsOf("0000"));
        for (const QString &call : std::as_const(ledger.calls))
            QVERIFY2(!call.startsWith(QLatin1String("QueryCurrentDefault")), qPrintable(call));
        QCOMPARE(ledger.stringsGiven, 0);
    }

    void makingDefaultFromWindows8IsChecked_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("setFails");
        QTest::addColumn<bool>("expected");
        QTest::newRow("7, nothing owned") << QStringLiteral("6.1") << false << false << true;
        QTest::newRow("8, nothing changed") << QStringLiteral("6.2") << false << false << false;
        QTest::newRow("10, nothing changed") << QStringLiteral("10.0") << false << false << false;
        QTest::newRow("10, owned already") << QStringLiteral("10.0") << true << false << true;
        QTest::newRow("10, refused, owned") << QStringLiteral("10.0") << true << true << true;
    }

    void makingDefaultFromWindows8IsChecked()
    {
        QFETCH(QString, version);
        QFETCH(bool, owned);
        QFETCH(bool, setFails);
        QFETCH(bool, expected);
        setWindows(version);
        installViewer();
        registerJpegAndTiff();
        ownEverything();
        if (!owned)
            ledger.currentDefaults.insert(QStringLiteral(".jpg"), QStringLiteral("jpegfile"));
        if (setFails)
            ledger.failing.insert(QStringLiteral("SetAppAsDefaultAll"));

        bool ok = !expected;
        makeAppDefaultThroughService(&ok);
        QCOMPARE(ok, expected);
        QCOMPARE(ledger.calls.first(), QStringLiteral("SetAppAsDefaultAll Talvimor Image Viewer"));
        QStringList debug;
        if (setFails)
            debug.append(
                QStringLiteral("IApplicationAssociationRegistration SetAppAsDefaultAll error"));
        if (!expected)
            debug.append(QStringLiteral("IApplicationAssociationRegistration SetAppAsDefaultAll: "
                                        "Windows no longer lets an application set its own "
                                        "defaults"));
        QCOMPARE(debugLines, debug);
        QCOMPARE(ledger.stringsFreed, ledger.stringsGiven);
    }

    // The substitute for Windows' own service, on the substitute registry.
    void substituteFollowsDefaultPrograms()
    {
        installAssociationServiceFactory(nullptr);
        installViewerClaimingPngAndGif();
        QVERIFY(!QTest::currentTestFailed());

        AssociationServiceFactory &real = associationServiceFactory();
        AssociationRegistrationUI *page = nullptr;
        QCOMPARE(real.createRegistrationUI(&page), HResults::classNotRegistered);
        QVERIFY(!page);

        AssociationRegistration *r = nullptr;
        QVERIFY(!failed(real.createRegistration(&r)));
        bool flag = true;
        QVERIFY(
            !failed(r->queryAppIsDefault(QStringLiteral(".PNG"), 0, 1, registeredAppName, &flag)));
        QVERIFY(!flag);
        QVERIFY(
            !failed(r->queryAppIsDefault(QStringLiteral(".gif"), 0, 1, registeredAppName, &flag)));
        QVERIFY(flag);
        QVERIFY(!failed(r->queryAppIsDefaultAll(1, registeredAppName, &flag)));
        QVERIFY(!flag);
        QVERIFY(
            failed(r->queryAppIsDefault(QStringLiteral(".bmp"), 0, 1, registeredAppName, &flag)));
        QVERIFY(failed(r->setAppAsDefaultAll(QStringLiteral("Not Registered"))));

        QVERIFY(!failed(r->setAppAsDefaultAll(registeredAppName)));
        QCOMPARE(reg->get(QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                         "Explorer\\FileExts\\.png\\UserChoice"),
                          QStringLiteral("Progid")),
                 QStringLiteral("Talvimor.PNG"));
        QVERIFY(!failed(r->queryAppIsDefaultAll(1, registeredAppName, &flag)));
        QVERIFY(flag);
        r->release();
    }

    // From Windows 8 the substitute takes the request and changes nothing,
    // while the older questions still answer from the registry; the current
    // default is the user's choice, else the merged classes'.
    void substituteFromWindows8SetsNothing()
    {
        installAssociationServiceFactory(nullptr);
        setWindows(QStringLiteral("10.0"), 22631);
        installViewerClaimingPngAndGif();
        QVERIFY(!QTest::currentTestFailed());
        const QString choice = QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                              "Explorer\\FileExts\\.gif\\UserChoice");
        QVERIFY(reg->set(choice, QStringLiteral("Progid"), QStringLiteral("giffile")));
        const QStringList before = reg->everything();

        AssociationRegistration *r = nullptr;
        QVERIFY(!failed(associationServiceFactory().createRegistration(&r)));
        QVERIFY(!failed(r->setAppAsDefaultAll(registeredAppName)));
        QCOMPARE(reg->everything(), before);
        QCOMPARE(reg->store->notifications(0x08000000).count, 0);
        QVERIFY(failed(r->setAppAsDefaultAll(QStringLiteral("Not Registered"))));

        bool flag = false;
        QVERIFY(
            !failed(r->queryAppIsDefault(QStringLiteral(".gif"), 0, 1, registeredAppName, &flag)));
        QVERIFY(!flag);

        auto current = [&](const QString &extension, QString *answer) {
            char16_t *s = reinterpret_cast<char16_t *>(1);
            const HResult hr = r->queryCurrentDefault(extension, 0, 1, &s);
            *answer = s ? QString::fromUtf16(s) : QString();
            r->freeString(s);
            return hr;
        };
        QString answer;
        QCOMPARE(current(QStringLiteral(".gif"), &answer), HResults::ok);
        QCOMPARE(answer, QStringLiteral("giffile"));
        QCOMPARE(current(QStringLiteral(".png"), &answer), HResults::ok);
        QCOMPARE(answer, QStringLiteral("pngfile"));
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
