// The Vista-and-later path: the Windows version, the association page and
// its message boxes, making the viewer the default and querying through the
// service, each against a stand-in service that fails on demand and counts
// its releases; and at the end the substitute service itself, which follows
// Default Programs on the substitute registry.

#include "associationservice.h"
#include "assocservice.h"
#include "formatcatalogue.h"
#include "registrylayout.h"
#include "testregistry.h"
#include "windowsversion.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <FreeImage.h>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\");
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

class TestAssociationService : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;
    Ledger ledger;
    FakeFactory factory{ledger};

    void installViewer()
    {
        QVERIFY(reg->set(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\RegisteredApplications"),
                         registeredAppName, capabilities));
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
        // Every object made is given back exactly once, whatever happened.
        QCOMPARE(ledger.released, ledger.created);
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
        QVERIFY(!isVistaOrLater(0x30));
        QVERIFY(!isVistaOrLater(0x7F));
        QVERIFY(isVistaOrLater(0x80));
        QVERIFY(isVistaOrLater(0xc0));
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
            QCOMPARE(boxes[0].text, text);
        }
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
        makeAppDefaultThroughService(nullptr); // still asks, reports nothing
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
        QVERIFY(reg->set(machine + progIdOf(jpeg), QString(), QStringLiteral("JPEG")));
        QVERIFY(reg->set(machine + progIdOf(tiff), QString(), QString()));
        QVERIFY(reg->createKey(machine + progIdOf(png) + QStringLiteral("\\shell"))); // no default
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
        QCOMPARE(ledger.created, 1);
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

    // The substitute for Windows' own service, on the substitute registry.
    void substituteFollowsDefaultPrograms()
    {
        installAssociationServiceFactory(nullptr);
        installViewer();
        const QString caps = QStringLiteral("HKEY_LOCAL_MACHINE\\") + capabilities;
        QVERIFY(reg->set(caps + QStringLiteral("\\FileAssociations"), QStringLiteral(".png"),
                         QStringLiteral("Talvimor.PNG")));
        QVERIFY(reg->set(caps + QStringLiteral("\\FileAssociations"), QStringLiteral(".gif"),
                         QStringLiteral("Talvimor.GIF")));
        QVERIFY(
            reg->set(machine + QStringLiteral(".gif"), QString(), QStringLiteral("Talvimor.GIF")));
        QVERIFY(reg->set(machine + QStringLiteral(".png"), QString(), QStringLiteral("pngfile")));

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
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestAssociationService test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_associationservice.moc"
