// A Save that fails says why, in words the user can act on, and leaves the
// window open with the choice made: each call of the Save failing in turn
// with a full disk's, a read-only one's or another error, and each trouble
// a registry file meets, brought about on the substitute registry as it
// would happen. Last, a window that could not read the registry at all says
// so instead of showing a list.

#include "faultwalk.h"
#include "fifof.h"
#include "registrylayout.h"
#include "registrytrouble.h"
#include "selectassocwidget.h"
#include "shellnotify.h"
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
            QVERIFY(
                reg->set(inMachineClasses + progIdOf(fifOf(name)), QString(), QLatin1String(name)));
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
        choice = png->data(Qt::CheckStateRole).toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
        png->setData(Qt::CheckStateRole, choice);
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

    // Why in one line, in place of a list, with nothing to save.
    void checkUnreadable(const QString &reason)
    {
        auto *why = window->findChild<QLabel *>(QStringLiteral("readFailure"));
        QVERIFY(findParts() && why);
        QVERIFY2(why->text().contains(reason), qPrintable(why->text()));
        QCOMPARE(list->count(), 0);
        QVERIFY(!list->isEnabled());
        QVERIFY(!buttons->button(QDialogButtonBox::Save)->isEnabled());
        QVERIFY(buttons->button(QDialogButtonBox::Cancel)->isEnabled());
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

    void troubleIsShownAndNothingLost_data() { addTroubleRows(); }

    // Whatever keeps the registry from being written, Save says why and
    // keeps the window open with the choice, the registry as it was; once
    // the trouble is gone, the same window saves. A registry that cannot
    // even be read says why in place of the list, and offers no Save.
    void troubleIsShownAndNothingLost()
    {
        QFETCH(int, trouble);
        QFETCH(QString, reason);
        QFETCH(bool, readable);
        QFETCH(bool, passes);
        PELLVARIN_TROUBLED_REGISTRY(troubled, trouble, reg->fileName);
        reg->reopenAt(troubled.fileName());
        const QByteArray before = troubled.contents();
        if (readable) {
            open();
            const Box box = save();
            checkStillOpen(box);
            QVERIFY2(box.text.contains(reason), qPrintable(box.text));
        } else {
            window = std::make_unique<SelectAssocWidget>(nullptr);
            checkUnreadable(reason);
        }
        QCOMPARE(troubled.contents(), before);
        QVERIFY(troubled.end());
        if (passes) {
            const Box again = save();
            QVERIFY2(again.text.isEmpty(), qPrintable(again.text));
            QVERIFY(!window->isVisible());
            QVERIFY(troubled.contents() != before);
        }
        // Done with while the file is there; a damaged one reads as empty
        // once refused.
        window.reset();
        reg->seededMachine();
        reg.reset();
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

        checkUnreadable(QStringLiteral("another program is using the registry"));
    }
};

QTEST_MAIN(TestSaveFailure)
#include "tst_savefailure.moc"
