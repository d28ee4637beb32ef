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

// Every item's state in the list's order, which sorts the formats by name:
// x checked, ~ partly, - not. A failure then shows the whole list.
QString states(const QListWidget *list)
{
    QString s;
    for (int row = 0; row < list->count(); ++row)
        s += QLatin1Char("-~x"[stateOf(list->item(row))]);
    return s;
}

QListWidgetItem *itemNamed(QListWidget *list, const char *name)
{
    const auto found = list->findItems(QLatin1String(name) + QLatin1Char('\t'), Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

void clickItem(QListWidget *list, const char *format, bool onIndicator = false)
{
    const QRect r = list->visualItemRect(itemNamed(list, format));
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

// A logo pixel drawn at three quarters over a background pixel.
QColor blended(const QColor &logo, const QColor &background)
{
    const double a = 0.75 * logo.alphaF();
    const auto channel = [a](int l, int b) { return qRound(l * a + b * (1 - a)); };
    return QColor(channel(logo.red(), background.red()), channel(logo.green(), background.green()),
                  channel(logo.blue(), background.blue()));
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
    // The ways the user closes the window.
    enum Closing { Escape, Cancel, TitleBar, Save };

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
        auto *banner = qobject_cast<HeaderWidget *>(layout->itemAt(0)->widget());
        QVERIFY(banner);
        QCOMPARE(layout->itemAt(1)->widget(), selectAll);
        QCOMPARE(layout->itemAt(2)->widget(), list);
        QCOMPARE(layout->itemAt(3)->widget(), buttons);
        // A wrapped label with a margin, which guesses whether its text is rich.
        QCOMPARE(banner->margin(), 10);
        QVERIFY(banner->wordWrap());
        QCOMPARE(banner->textFormat(), Qt::AutoText);
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
        // Setting the box at start-up rewrote no item: JPEG is the third.
        QCOMPARE(states(list), QLatin1String(allAssociated ? "xxxx" : "xx~x"));
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
        QCOMPARE(states(list), QLatin1String("-x~-"));
        QSignalSpy activated(list, &QListWidget::itemActivated);
        clickItem(list, "JPEG");
        // The click itself activated the item only under the single-click style.
        QCOMPARE(activated.count(), activateOnSingleClick ? 1 : 0);
        QCOMPARE(states(list), QLatin1String("-xx-"));
        clickItem(list, "GIF", true); // the indicator is no different from the text
        QCOMPARE(states(list), QLatin1String("--x-"));
        clickItem(list, "PNG");
        QCOMPARE(states(list), QLatin1String("--xx"));
        QCOMPARE(selectAll->checkState(), Qt::Unchecked);

        // Enter activates the current item, exactly like a click.
        list->setCurrentItem(itemNamed(list, "GIF"));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(states(list), QLatin1String("-xxx"));
        QTest::keyClick(list, Qt::Key_Enter); // and so does the keypad's Enter
        QCOMPARE(states(list), QLatin1String("--xx"));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(states(list), QLatin1String("-xxx"));
        QCOMPARE(selectAll->checkState(), Qt::Unchecked); // BMP is still unchecked
        clickItem(list, "BMP");
        // The last unchecked item checks the box and leaves every item as it is.
        QCOMPARE(selectAll->checkState(), Qt::Checked);
        QCOMPARE(states(list), QLatin1String("xxxx"));
        clickItem(list, "PNG");
        QCOMPARE(selectAll->checkState(), Qt::Unchecked);
        QCOMPARE(states(list), QLatin1String("xxx-"));
    }

    void selectAllRewritesEveryItem()
    {
        associate(*reg, ".jpg", "JPEG");
        associate(*reg, ".gif", "GIF");
        open();
        QTest::mouseClick(selectAll, Qt::LeftButton, Qt::NoModifier,
                          QPoint(8, selectAll->height() / 2));
        QCOMPARE(selectAll->checkState(), Qt::Checked);
        QCOMPARE(states(list), QLatin1String("xxxx"));
        QTest::mouseClick(selectAll, Qt::LeftButton, Qt::NoModifier,
                          QPoint(8, selectAll->height() / 2));
        QCOMPARE(states(list), QLatin1String("----"));
    }

    void closingWritesTheChoiceOnlyOnSave_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Escape") << int(Escape);
        QTest::newRow("Cancel") << int(Cancel);
        QTest::newRow("title bar") << int(TitleBar);
        QTest::newRow("Save") << int(Save);
    }

    void closingWritesTheChoiceOnlyOnSave()
    {
        QFETCH(int, how);
        open();
        const QStringList before = reg->everything();
        clickItem(list, "PNG");
        if (how == Escape) {
            QTest::keyClick(list, Qt::Key_Escape);
        } else if (how == TitleBar) {
            // As the title bar's close button: the window system asks the
            // window to close, and the widget decides.
            QCloseEvent close;
            QApplication::sendEvent(window->windowHandle(), &close);
        } else {
            const auto button = how == Save ? QDialogButtonBox::Save : QDialogButtonBox::Cancel;
            QTest::mouseClick(buttons->button(button), Qt::LeftButton);
        }
        QVERIFY(!window->isVisible());
        QVERIFY(!reg->exists(inUserClasses + QStringLiteral(".gif")));
        if (how == Save)
            QCOMPARE(reg->get(inUserClasses + QStringLiteral(".png"), QString()),
                     QStringLiteral("Talvimor.PNG"));
        else
            QCOMPARE(reg->everything(), before);
    }

    void failedSaveWarnsAndKeepsTheChoice()
    {
        open();
        clickItem(list, "PNG");
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

    // Where the logo lies for each banner size, and that it is drawn there.
    void bannerDrawsTheLogoUnderItsText_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("origin");
        QTest::newRow("the logo's own size") << QSize(256, 139) << QPoint(0, 0);
        QTest::newRow("wider, the logo at the right") << QSize(400, 139) << QPoint(144, 0);
        // Narrower than the logo: its right edge stays on the banner's.
        QTest::newRow("narrower") << QSize(200, 139) << QPoint(-56, 0);
        // Lower: the vertical middle shows, cut at top and bottom.
        QTest::newRow("lower") << QSize(400, 100) << QPoint(144, -19);
        QTest::newRow("lower by an odd height") << QSize(400, 101) << QPoint(144, -19);
        QTest::newRow("narrower and lower") << QSize(200, 100) << QPoint(-56, -19);
    }

    // Pixel by pixel: the logo at three quarters over the background, and
    // the text over the logo at full strength.
    void bannerDrawsTheLogoUnderItsText()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, origin);
        const QImage source =
            QImage(QStringLiteral(":/headerLogo.png")).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!source.isNull());
        QCOMPARE(HeaderWidget::logoOrigin(size, source.size()), origin);
        // The logo's pixel under a point of the banner, transparent beside it.
        const auto logoAt = [&](int x, int y) {
            const QPoint at = QPoint(x, y) - origin;
            return source.rect().contains(at) ? source.pixelColor(at) : QColor(Qt::transparent);
        };
        QWidget parent;
        HeaderWidget banner(&parent);
        banner.resize(size);
        const QImage background = plainLabel(size).convertToFormat(QImage::Format_ARGB32);
        const QImage shot = banner.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(shot.size(), size);
        int compared = 0, visible = 0, differing = 0;
        for (int y = 0; y < size.height(); y += 3) {
            for (int x = 0; x < size.width(); x += 3) {
                const QColor l = logoAt(x, y), b = background.pixelColor(x, y);
                const QColor got = shot.pixelColor(x, y), want = blended(l, b);
                if (qAbs(got.red() - want.red()) > 2 || qAbs(got.green() - want.green()) > 2 ||
                    qAbs(got.blue() - want.blue()) > 2)
                    QFAIL(qPrintable(
                        QStringLiteral("at %1,%2: %3 for %4")
                            .arg(QString::number(x), QString::number(y), got.name(), want.name())));
                compared += l.alpha() > 200;
                // Even a faint part of the logo changes the background.
                visible += l.alpha() >= 60;
                differing += l.alpha() >= 60 && got != b;
            }
        }
        QVERIFY(compared > 100);
        QCOMPARE(differing, visible);

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
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                // Under the text the logo would show through at least a third.
                if (logoAt(x, y).alpha() >= 128 && withText.pixelColor(x, y) == QColor(255, 0, 0))
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
