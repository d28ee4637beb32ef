// A Save that fails says why, in words the user can act on, and leaves the
// window open with the choice made: each call of the Save failing in turn
// with a full disk's, a read-only one's or another error, a full disk, a
// read-only file, a damaged one, and one that another program is using, each
// brought about on the substitute registry as it would happen. Last, a window
// that could not read the registry at all says so instead of showing a list.

#include "faultwalk.h"
#include "fifof.h"
#include "registrylayout.h"
#include "scratchmount.h"
#include "selectassocwidget.h"
#include "shellnotify.h"
#include "shellrecord.h"
#include "testregistry.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\");

struct Box
{
    QString title;
    QString text;
};

} // namespace

class TestSaveFailure : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;
    std::unique_ptr<SelectAssocWidget> window;
    QListWidget *list = nullptr;
    QDialogButtonBox *buttons = nullptr;

    void seed()
    {
        reg = std::make_unique<TestRegistry>();
        for (const char *name : {"PNG", "GIF"})
            QVERIFY(reg->set(machine + progIdOf(fifOf(name)), QString(), QLatin1String(name)));
    }

    bool findParts()
    {
        list = window->findChild<QListWidget *>(QStringLiteral("listWidget"));
        buttons = window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        return list && buttons;
    }

    void open()
    {
        window = std::make_unique<SelectAssocWidget>(nullptr);
        QVERIFY(findParts());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(list->count(), 2);
        QListWidgetItem *png = list->item(0);
        png->setData(Qt::CheckStateRole,
                     int(png->data(Qt::CheckStateRole).toInt() == Qt::Checked ? Qt::Unchecked
                                                                              : Qt::Checked));
        choice = png->data(Qt::CheckStateRole).toInt();
    }

    // Clicks Save and reads the box it brings up, if any, without waiting
    // for anyone to close it.
    Box save()
    {
        Box box;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *b = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                box = {b->windowTitle(), b->text()};
                b->accept();
            }
        });
        poll.start();
        QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
        return box;
    }

    // The box's title, the window still open and the choice still there.
    void checkStillOpen(const Box &box)
    {
        QCOMPARE(box.title, QStringLiteral("File associations"));
        QVERIFY(window->isVisible());
        QCOMPARE(list->item(0)->data(Qt::CheckStateRole).toInt(), choice);
    }

    int choice = -1;

private Q_SLOTS:
    void init() { seed(); }

    void cleanup()
    {
        window.reset();
        reg.reset();
    }

    void failedCallNamesItsReason_data() { addDiskErrorRows(); }

    // Each call of the window's Save fails in turn with the error given, on
    // a registry of its own each time: a refused Save says why in the box,
    // keeps the window open with the choice and leaves the registry exactly
    // as it was; one that failed after its commit closes as done, saved.
    void failedCallNamesItsReason()
    {
        QFETCH(int, error);
        const DiskError &disk = diskError(error);
        const QStringList before = reg->everything();
        QStringList after;
        Box box;
        FaultWalk walk;
        walk.walkCounted(
            [&](FaultPoint &p) {
                seed();
                open();
                FaultWalk::failing(p, error, [&] { box = save(); });
                p.done = box.text.isEmpty();
                p.note = box.text;
            },
            [&](const FaultPoint &p) {
                if (p.n == 0)
                    after = reg->everything();
                if (p.done) {
                    QVERIFY2(!window->isVisible(), qPrintable(p.where()));
                    QVERIFY2(reg->everything() == after, qPrintable(p.where()));
                    return;
                }
                checkStillOpen(box);
                QVERIFY2(box.text.contains(QLatin1String(disk.reason)), qPrintable(p.where()));
                QVERIFY2(lastRegistryFailure().kind == disk.kind, qPrintable(p.where()));
                QVERIFY2(reg->everything() == before, qPrintable(p.where()));
            });
        if (QTest::currentTestFailed())
            return;
        QVERIFY(after != before);
        QVERIFY(walk.refused > 0);
    }

    void readOnly()
    {
        open();
        reg->makeReadOnly();
        const QStringList before = reg->everything();
        const Box box = save();
        checkStillOpen(box);
        QVERIFY2(box.text.contains(QLatin1String("read-only")), qPrintable(box.text));
        QCOMPARE(reg->everything(), before);
        QCOMPARE(ShellRecord(*reg->store).notifications(associationsChangedEvent).count, 0);
    }

    // As on Windows, a full disk keeps nobody from reading the registry:
    // the window shows the list, and only its Save fails.
    void fullDisk()
    {
        ScratchMount disk;
        if (!disk.isMounted())
            QSKIP(disk.whyNot().constData());
        const QString full = disk.filePath(QStringLiteral("registry.sqlite"));
        QVERIFY(copyRegistryFile(reg->fileName, full));
        QVERIFY(disk.fill());
        reg->fileName = full;
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(full));
        reg->store = RegistryStore::openDefault();
        const QStringList before = reg->everything();
        open();
        const Box box = save();
        checkStillOpen(box);
        QVERIFY2(box.text.contains(QLatin1String("the disk is full")), qPrintable(box.text));
        QCOMPARE(reg->everything(), before);
        // Done with while the disk is there.
        window.reset();
        reg.reset();
    }

    void damaged()
    {
        // An index that no longer matches its table: reading still works,
        // and the window opens, but nothing may be written.
        QCOMPARE(runSql(reg->fileName,
                        "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                        "replace(sql, 'UNIQUE(parent, fold)', 'UNIQUE(parent, name)') "
                        "WHERE name = 'keys';"),
                 QByteArray());
        // Opened anew, as a new process would open it.
        const QString copy = reg->fileName + QStringLiteral(".copy");
        QVERIFY(copyRegistryFile(reg->fileName, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner));
        reg->fileName = copy;
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(copy));
        reg->store = RegistryStore::openDefault();
        open();
        const Box box = save();
        checkStillOpen(box);
        QVERIFY2(box.text.contains(QLatin1String("damaged")) && box.text.contains(reg->fileName),
                 qPrintable(box.text));
        // Refused, the file reads as empty from here on.
        reg->seededMachine();
    }

    void busyThenFree()
    {
        qputenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS", "100");
        seed();
        qunsetenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS");
        open();
        HeldRegistry other(reg->fileName);
        QVERIFY2(other.isHeld(), other.whyNot());
        const Box box = save();
        other.release();
        checkStillOpen(box);
        QVERIFY2(box.text.contains(QLatin1String("another program is using")),
                 qPrintable(box.text));
        // Once the other program is done, the same window saves.
        const Box again = save();
        QVERIFY2(again.text.isEmpty(), qPrintable(again.text));
        QVERIFY(!window->isVisible());
    }

    // A window started while another program holds the whole file can read
    // nothing: it says why in one line and offers nothing to save, rather
    // than show every format as not associated and let Save write that.
    void startedWhileUnreadable()
    {
        qputenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS", "50");
        seed();
        // A copy this process has not opened, which the other program can
        // then take whole.
        const QString locked = reg->fileName + QStringLiteral(".locked");
        QVERIFY(copyRegistryFile(reg->fileName, locked));
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(locked));
        HeldRegistry other(locked, HeldRegistry::Whole);
        QVERIFY2(other.isHeld(), other.whyNot());
        window = std::make_unique<SelectAssocWidget>(nullptr);
        other.release();
        qunsetenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS");
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(reg->fileName));

        auto *why = window->findChild<QLabel *>(QStringLiteral("readFailure"));
        QVERIFY(findParts() && why);
        QVERIFY2(why->text().contains(QLatin1String("another program is using the registry")),
                 qPrintable(why->text()));
        QCOMPARE(list->count(), 0);
        QVERIFY(!list->isEnabled());
        QVERIFY(!buttons->button(QDialogButtonBox::Save)->isEnabled());
        QVERIFY(buttons->button(QDialogButtonBox::Cancel)->isEnabled());
    }
};

QTEST_MAIN(TestSaveFailure)
#include "tst_savefailure.moc"
