// The selection window, on the offscreen platform, seeded through the
// registry settings so that it runs on the substitute and under Wine alike.
// In order: how the window is built; its start state from the registry;
// toggling by click, Enter and "Select all"; closing with and without Save;
// a Save that fails; the banner's logo, by position and by pixels.

#include "fifof.h"
#include "formatcatalogue.h"
#include "headerwidget.h"
#include "registrylayout.h"
#include "selectassocwidget.h"
#include "testregistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <QVBoxLayout>

#include <FreeImage.h>

namespace {

void registerFormats(TestRegistry &reg, std::initializer_list<const char *> names)
{
    for (const char *name : names)
        QVERIFY(reg.set(inMachineClasses + progIdOf(fifOf(name)), QString(), QLatin1String(name)));
}

// The user's own choice, as Explorer records it: it reads the same on every
// platform, where the per-user classes do not show through Wine's classes root.
void associate(TestRegistry &reg, const char *extension, const char *format)
{
    QVERIFY(reg.set(inFileExts + QLatin1String(extension), QStringLiteral("ProgId"),
                    progIdOf(fifOf(format))));
}

int stateOf(const QListWidgetItem *item)
{
    return item->data(Qt::CheckStateRole).toInt();
}

QListWidgetItem *itemNamed(QListWidget *list, const char *name)
{
    const auto found = list->findItems(QLatin1String(name) + QLatin1Char('\t'), Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

void clickItem(QListWidget *list, QListWidgetItem *item, bool onIndicator)
{
    const QRect r = list->visualItemRect(item);
    const QPoint at = onIndicator ? QPoint(r.left() + 8, r.center().y()) : r.center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// A style whose default bottom margin is its own, so that only a margin
// left to the style shows it.
class BottomMarginStyle : public QProxyStyle
{
public:
    static constexpr int bottom = 23;
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_LayoutBottomMargin)
            return bottom;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// A style that activates items on a single click, as several Linux desktops
// have it, or one that leaves activation to a double click.
class ActivationStyle : public QProxyStyle
{
public:
    explicit ActivationStyle(bool onSingleClick) : onSingleClick(onSingleClick) {}
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ItemView_ActivateItemOnSingleClick)
            return onSingleClick;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    const bool onSingleClick;
};

// The banner's background without the logo: a plain label's.
QImage plainLabel(const QSize &size)
{
    QLabel label;
    label.resize(size);
    return label.grab().toImage();
}

// One channel of a logo pixel drawn at the given opacity over a background.
int blended(int logo, int alpha, int background, double opacity)
{
    const double a = opacity * alpha / 255.0;
    return qRound(logo * a + background * (1 - a));
}

} // namespace

class TestSelectAssocWidget : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;
    std::unique_ptr<SelectAssocWidget> window;
    QCheckBox *selectAll = nullptr;
    QListWidget *list = nullptr;
    QDialogButtonBox *buttons = nullptr;

    void open()
    {
        window = std::make_unique<SelectAssocWidget>(nullptr);
        selectAll = window->findChild<QCheckBox *>(QStringLiteral("selectAll"));
        list = window->findChild<QListWidget *>(QStringLiteral("listWidget"));
        buttons = window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QVERIFY(selectAll && list && buttons);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        registerFormats(*reg, {"PNG", "JPEG", "GIF", "BMP"});
    }

    void cleanup()
    {
        window.reset();
        reg.reset();
    }

    void windowIsBuiltAsDesigned()
    {
        open();
        QCOMPARE(window->objectName(), QStringLiteral("Widget"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Talvimor file type selector"));
        QCOMPARE(window->size(), QSize(400, 364));
        const QList<QSize> sizes = window->windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));

        auto *layout = window->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
        QVERIFY(layout);
        QCOMPARE(layout->spacing(), 6);
        const QMargins m = layout->contentsMargins();
        QCOMPARE(m.left(), 15);
        QCOMPARE(m.top(), 0);
        QCOMPARE(m.right(), 15);
        // Left to the style, which says 23 here and 11 on most platforms.
        BottomMarginStyle style;
        window->setStyle(&style);
        QCOMPARE(layout->contentsMargins().bottom(), BottomMarginStyle::bottom);
        window->setStyle(nullptr);
        // Banner, box, list, buttons from top to bottom.
        QVERIFY(qobject_cast<HeaderWidget *>(layout->itemAt(0)->widget()));
        QCOMPARE(layout->itemAt(1)->widget(), selectAll);
        QCOMPARE(layout->itemAt(2)->widget(), list);
        QCOMPARE(layout->itemAt(3)->widget(), buttons);
        auto *banner = qobject_cast<HeaderWidget *>(layout->itemAt(0)->widget());
        QCOMPARE(banner->text(),
                 QStringLiteral("<b>FILE ASSOCIATIONS</b><br>Select which file types are opened "
                                "with <b>Talvimor</b> by default."));
        QCOMPARE(selectAll->text(), QStringLiteral("Select all"));
        QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Save | QDialogButtonBox::Cancel);

        QVERIFY(list->isWrapping());
        QVERIFY(list->isSortingEnabled());
        QVERIFY(list->wordWrap());
        QCOMPARE(list->flow(), QListView::TopToBottom);
        QCOMPARE(list->resizeMode(), QListView::Fixed);
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(list->textElideMode(), Qt::ElideNone);
        QVERIFY(!list->alternatingRowColors());
        QVERIFY(!list->isSelectionRectVisible());
        QCOMPARE(QApplication::focusWidget(), list);
    }

    void startStateFollowsTheRegistry_data()
    {
        QTest::addColumn<bool>("allAssociated");
        QTest::newRow("all associated") << true;
        QTest::newRow("some not") << false;
    }

    void startStateFollowsTheRegistry()
    {
        QFETCH(bool, allAssociated);
        associate(*reg, ".png", "PNG");
        associate(*reg, ".gif", "GIF");
        associate(*reg, ".bmp", "BMP");
        for (const char *e : {".jpg", ".jif", ".jpeg", allAssociated ? ".jpe" : ".none"})
            associate(*reg, e, "JPEG");
        open();
        QCOMPARE(selectAll->checkState(), allAssociated ? Qt::Checked : Qt::Unchecked);
        // Setting the box at start-up rewrote no item.
        QCOMPARE(stateOf(itemNamed(list, "JPEG")),
                 allAssociated ? int(Qt::Checked) : int(Qt::PartiallyChecked));
        QCOMPARE(stateOf(itemNamed(list, "PNG")), int(Qt::Checked));
    }

    void nothingListedStartsChecked()
    {
        // The registry goes before the next begins, which on Windows clears
        // the very keys the first checks as it goes.
        reg.reset();
        reg = std::make_unique<TestRegistry>();
        open();
        QCOMPARE(list->count(), 0);
        QCOMPARE(selectAll->checkState(), Qt::Checked);
    }

    void rowsAreSortedAndWrapIntoColumns()
    {
        reg.reset();
        reg = std::make_unique<TestRegistry>();
        for (int fif = 0; fif < formatCount(); ++fif)
            QVERIFY(reg->set(inMachineClasses + progIdOf(fif), QString(), QString()));
        open();
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts.append(list->item(row)->text());
        QStringList sorted = texts;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString &a, const QString &b) { return a.localeAwareCompare(b) < 0; });
        QCOMPARE(texts, sorted);
        QCOMPARE(texts.size(), formatCount());
        // 37 rows do not fit the list's height: later rows stand in a column further right.
        const QRect first = list->visualItemRect(list->item(0));
        const QRect last = list->visualItemRect(list->item(list->count() - 1));
        QVERIFY2(last.left() > first.left(), "rows did not wrap into a second column");
    }

    void clicksAndActivationToggle_data()
    {
        QTest::addColumn<bool>("activateOnSingleClick");
        QTest::newRow("double click activates") << false;
        QTest::newRow("single click activates") << true;
    }

    // A click toggles once even where it also activates the item, and Enter
    // toggles once.
    void clicksAndActivationToggle()
    {
        QFETCH(bool, activateOnSingleClick);
        associate(*reg, ".jpg", "JPEG"); // JPEG partial, PNG unchecked
        associate(*reg, ".gif", "GIF");
        open();
        // The widget holds its style weakly, so this one may go first.
        ActivationStyle style(activateOnSingleClick);
        list->setStyle(&style);
        QListWidgetItem *jpeg = itemNamed(list, "JPEG"), *png = itemNamed(list, "PNG"),
                        *gif = itemNamed(list, "GIF");
        QSignalSpy activated(list, &QListWidget::itemActivated);
        clickItem(list, jpeg, false);
        // The click itself activated the item only under the single-click style.
        QCOMPARE(activated.count(), activateOnSingleClick ? 1 : 0);
        QCOMPARE(stateOf(jpeg), int(Qt::Checked));
        clickItem(list, gif, true); // the indicator is no different from the text
        QCOMPARE(stateOf(gif), int(Qt::Unchecked));
        clickItem(list, png, false);
        QCOMPARE(stateOf(png), int(Qt::Checked));
        QCOMPARE(selectAll->checkState(), Qt::Unchecked);

        // Enter activates the current item, exactly like a click.
        list->setCurrentItem(gif);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(stateOf(gif), int(Qt::Checked));
        QTest::keyClick(list, Qt::Key_Enter); // and so does the keypad's Enter
        QCOMPARE(stateOf(gif), int(Qt::Unchecked));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(stateOf(gif), int(Qt::Checked));
        QCOMPARE(selectAll->checkState(), Qt::Unchecked); // BMP is still unchecked
        clickItem(list, itemNamed(list, "BMP"), false);
        // The last unchecked item checks the box and leaves every item as it is.
        QCOMPARE(selectAll->checkState(), Qt::Checked);
        for (int row = 0; row < list->count(); ++row)
            QCOMPARE(stateOf(list->item(row)), int(Qt::Checked));
        clickItem(list, png, false);
        QCOMPARE(selectAll->checkState(), Qt::Unchecked);
        QCOMPARE(stateOf(jpeg), int(Qt::Checked));
        QCOMPARE(stateOf(png), int(Qt::Unchecked));
    }

    void selectAllRewritesEveryItem()
    {
        associate(*reg, ".jpg", "JPEG");
        associate(*reg, ".gif", "GIF");
        open();
        QTest::mouseClick(selectAll, Qt::LeftButton, Qt::NoModifier,
                          QPoint(8, selectAll->height() / 2));
        QCOMPARE(selectAll->checkState(), Qt::Checked);
        for (int row = 0; row < list->count(); ++row)
            QCOMPARE(stateOf(list->item(row)), int(Qt::Checked));
        QTest::mouseClick(selectAll, Qt::LeftButton, Qt::NoModifier,
                          QPoint(8, selectAll->height() / 2));
        for (int row = 0; row < list->count(); ++row)
            QCOMPARE(stateOf(list->item(row)), int(Qt::Unchecked));
    }

    void closingWithoutSaveWritesNothing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Escape") << 0;
        QTest::newRow("Cancel") << 1;
        QTest::newRow("title bar") << 2;
    }

    void closingWithoutSaveWritesNothing()
    {
        QFETCH(int, how);
        open();
        const QStringList before = reg->everything();
        clickItem(list, itemNamed(list, "PNG"), false);
        if (how == 0)
            QTest::keyClick(list, Qt::Key_Escape);
        else if (how == 1)
            QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        else {
            // As the title bar's close button: the window system asks the
            // window to close, and the widget decides.
            QCloseEvent close;
            QApplication::sendEvent(window->windowHandle(), &close);
        }
        QVERIFY(!window->isVisible());
        QCOMPARE(reg->everything(), before);
    }

    void saveWritesThenCloses()
    {
        open();
        clickItem(list, itemNamed(list, "PNG"), false);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QCOMPARE(reg->get(inUserClasses + QStringLiteral(".png"), QString()),
                 QStringLiteral("Talvimor.PNG"));
        QVERIFY(!reg->exists(inUserClasses + QStringLiteral(".gif")));
    }

    void failedSaveWarnsAndKeepsTheChoice()
    {
        open();
        clickItem(list, itemNamed(list, "PNG"), false);
        // The registry turns read-only behind the window's back.
        if (!reg->refuseWrites())
            QSKIP("a test cannot make this registry refuse writes");
        QString title, text;
        QTimer::singleShot(50, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        });
        QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("File associations"));
        QVERIFY(text.contains(QLatin1String("could not be saved")));
        QVERIFY(window->isVisible());
        QCOMPARE(stateOf(itemNamed(list, "PNG")), int(Qt::Checked));
    }

    void logoSitsRightAndCentred()
    {
        const QSize logo(256, 139);
        QCOMPARE(HeaderWidget::logoOrigin(QSize(400, 139), logo), QPoint(144, 0));
        // Narrower than the logo: its right edge stays on the banner's.
        QCOMPARE(HeaderWidget::logoOrigin(QSize(200, 139), logo), QPoint(-56, 0));
        // Lower: the vertical middle shows, cut at top and bottom.
        QCOMPARE(HeaderWidget::logoOrigin(QSize(400, 100), logo), QPoint(144, -19));
        QCOMPARE(HeaderWidget::logoOrigin(QSize(400, 101), logo), QPoint(144, -19));

        // And the pixels say so: the logo shows at 0.75 over the background.
        QWidget parent;
        HeaderWidget banner(&parent);
        banner.resize(200, 100);
        const QImage shot = banner.grab().toImage();
        const QImage plain = plainLabel(QSize(200, 100));
        const QImage source(QStringLiteral(":/headerLogo.png"));
        QVERIFY(!source.isNull());
        int differing = 0, expected = 0;
        for (int y = 0; y < 100; y += 5) {
            for (int x = 0; x < 200; x += 5) {
                const QColor logoPixel = source.pixelColor(x + 56, y + 19);
                if (logoPixel.alpha() < 60)
                    continue;
                ++expected;
                if (shot.pixelColor(x, y) != plain.pixelColor(x, y))
                    ++differing;
            }
        }
        QVERIFY(expected > 0);
        QCOMPARE(differing, expected);
    }

    void bannerIsAWrappedLabelWithAMargin()
    {
        QWidget parent;
        HeaderWidget banner(&parent);
        QCOMPARE(banner.margin(), 10);
        QVERIFY(banner.wordWrap());
        QCOMPARE(banner.textFormat(), Qt::AutoText);
    }

    // Pixel by pixel: the logo at three quarters over the background, and
    // the text over the logo at full strength.
    void bannerDrawsTheLogoUnderItsText()
    {
        const QImage source =
            QImage(QStringLiteral(":/headerLogo.png")).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!source.isNull());
        QWidget parent;
        HeaderWidget banner(&parent);
        banner.resize(source.size());
        const QImage background = plainLabel(source.size()).convertToFormat(QImage::Format_ARGB32);
        const QImage shot = banner.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(shot.size(), source.size());
        int compared = 0;
        for (int y = 0; y < source.height(); y += 3) {
            for (int x = 0; x < source.width(); x += 3) {
                const QColor l = source.pixelColor(x, y), b = background.pixelColor(x, y);
                const QColor got = shot.pixelColor(x, y);
                const int want[] = {blended(l.red(), l.alpha(), b.red(), 0.75),
                                    blended(l.green(), l.alpha(), b.green(), 0.75),
                                    blended(l.blue(), l.alpha(), b.blue(), 0.75)};
                const int have[] = {got.red(), got.green(), got.blue()};
                for (int c = 0; c < 3; ++c) {
                    if (qAbs(want[c] - have[c]) > 2)
                        QFAIL(qPrintable(
                            QStringLiteral("at %1,%2: %3 for %4")
                                .arg(x)
                                .arg(y)
                                .arg(got.name(), QColor(want[0], want[1], want[2]).name())));
                }
                compared += l.alpha() > 200;
            }
        }
        QVERIFY(compared > 100);

        // Pure red text, large, over the logo: inside its strokes the pixels
        // are the text's own colour even where the logo is opaque below.
        QPalette palette = banner.palette();
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        banner.setPalette(palette);
        QFont font = banner.font();
        font.setPixelSize(90);
        font.setBold(true);
        banner.setFont(font);
        banner.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        banner.setText(QStringLiteral("HH"));
        const QImage withText = banner.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        int red = 0;
        for (int y = 0; y < source.height(); ++y) {
            for (int x = 0; x < source.width(); ++x) {
                // Under the text the logo would show through at least a third.
                if (source.pixelColor(x, y).alpha() >= 128 &&
                    withText.pixelColor(x, y) == QColor(255, 0, 0))
                    ++red;
            }
        }
        QVERIFY(red > 20);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestSelectAssocWidget test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_selectassocwidget.moc"
