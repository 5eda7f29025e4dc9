#include "Loading.h"
#include "PageHarness.h"
#include "ttsMain.h"

#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The busy overlay: where its box sits, what it shows, and that it takes the
// clicks meant for the page below it.
class TestLoading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void boxSitsInTheMiddle_data();
    void boxSitsInTheMiddle();
    void showsTheDefaultTextAndNoCancelButton();
    void darkensThePageAndKeepsTheBoxWhite();
    void deletingStopsAndFreesTheAnimation();
    void clickOnAPageButtonReachesTheOverlay();
    void cancelButtonShownSignalsAndHides();

private:
    PageHarness harness;
};

namespace {

QFrame *boxOf(Loading *overlay)
{
    // The box is the overlay's only child; its labels are frames too, but lie below it.
    return overlay->findChild<QFrame *>(QString(), Qt::FindDirectChildrenOnly);
}

QLabel *movieLabelOf(Loading *overlay)
{
    const auto labels = overlay->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->movie())
            return label;
    }
    return nullptr;
}

// Counts presses that reach a widget.
class PressCounter : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            ++presses;
        return false;
    }
};

bool near(QRgb actual, int expected)
{
    return qAbs(qRed(actual) - expected) <= 3 && qAbs(qGreen(actual) - expected) <= 3 && qAbs(qBlue(actual) - expected) <= 3;
}

} // namespace

void TestLoading::initTestCase()
{
    QVERIFY2(harness.start(), "the fake service could not listen");
}

void TestLoading::boxSitsInTheMiddle_data()
{
    QTest::addColumn<QSize>("parentSize");
    QTest::addColumn<QPoint>("boxAt");

    QTest::newRow("800x500") << QSize(800, 500) << QPoint(275, 125);
    QTest::newRow("odd width 801x500") << QSize(801, 500) << QPoint(275, 125);
    QTest::newRow("odd height 800x501") << QSize(800, 501) << QPoint(275, 125);
    QTest::newRow("the page's 862x583") << QSize(862, 583) << QPoint(306, 166);
}

void TestLoading::boxSitsInTheMiddle()
{
    QFETCH(QSize, parentSize);
    QFETCH(QPoint, boxAt);

    QWidget parent;
    parent.resize(parentSize);
    Loading overlay(&parent);
    QVERIFY(!overlay.isWindow());
    QCOMPARE(overlay.pos(), QPoint(0, 0));
    QCOMPARE(overlay.size(), parentSize);
    QCOMPARE(overlay.minimumSize(), parentSize);
    QCOMPARE(overlay.maximumSize(), parentSize);
    QFrame *box = boxOf(&overlay);
    QVERIFY(box);
    QCOMPARE(box->geometry(), QRect(boxAt, QSize(250, 250)));
}

void TestLoading::showsTheDefaultTextAndNoCancelButton()
{
    QWidget parent;
    parent.resize(800, 500);
    parent.show();
    auto *overlay = new Loading(&parent);
    overlay->show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    auto *tips = overlay->findChild<QLabel *>(QStringLiteral("tips"));
    QVERIFY(tips);
    QCOMPARE(tips->text(), QStringLiteral("加载中,请稍候..."));
    QCOMPARE(tips->alignment(), Qt::AlignCenter);
    overlay->setText(QStringLiteral("多线程合成中，请稍等"));
    QCOMPARE(tips->text(), QStringLiteral("多线程合成中，请稍等"));

    auto *cancel = overlay->findChild<QPushButton *>(QStringLiteral("cancelBtn"));
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), QStringLiteral("取消等待"));
    QVERIFY(!cancel->isVisible());
    QVERIFY(!cancel->isEnabled());
}

void TestLoading::darkensThePageAndKeepsTheBoxWhite()
{
    QWidget parent;
    parent.resize(800, 500);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, Qt::white);
    parent.setPalette(palette);
    parent.setAutoFillBackground(true);
    parent.show();
    auto *overlay = new Loading(&parent);
    overlay->show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    const QImage shot = parent.grab().toImage();
    // Black at alpha 100 over white leaves 255 * 155 / 255.
    QVERIFY2(near(shot.pixel(10, 10), 155), qPrintable(QColor(shot.pixel(10, 10)).name()));
    QVERIFY2(near(shot.pixel(790, 490), 155), qPrintable(QColor(shot.pixel(790, 490)).name()));
    // Below the message, where the hidden cancel button would be: the white box.
    QVERIFY2(near(shot.pixel(400, 125 + 230), 255), qPrintable(QColor(shot.pixel(400, 355)).name()));
}

void TestLoading::deletingStopsAndFreesTheAnimation()
{
    QWidget parent;
    parent.resize(800, 500);
    auto *overlay = new Loading(&parent);
    QLabel *label = movieLabelOf(overlay);
    QVERIFY(label);
    QPointer<QMovie> movie = label->movie();
    QCOMPARE(movie->state(), QMovie::Running);
    QCOMPARE(movie->scaledSize(), QSize(210, 158));
    delete overlay;
    QVERIFY(movie.isNull());
}

void TestLoading::clickOnAPageButtonReachesTheOverlay()
{
    ttsMain *page = harness.newPage();
    QVERIFY2(page, "the page's catalogue loader never finished");
    QScopedPointer<ttsMain> owner(page);
    auto *button = page->findChild<QPushButton *>(QStringLiteral("playButton"));
    QVERIFY(button);
    QSignalSpy clicked(button, &QPushButton::clicked);
    const QPoint at = button->mapTo(page, button->rect().center());

    // Without an overlay the click lands on the button: the point is right.
    QTest::mouseClick(page->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(clicked.count(), 1);

    page->showBusyOverlay(QStringLiteral("多线程合成中，请稍等"));
    Loading *overlay = page->busyOverlay();
    QVERIFY(overlay && overlay->isVisible());
    QCOMPARE(overlay->geometry(), page->rect());
    PressCounter presses;
    overlay->installEventFilter(&presses);
    QTest::mouseClick(page->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(presses.presses, 1);
    QCOMPARE(clicked.count(), 1);

    // Removed by the page, the overlay no longer stands in the way.
    page->closeBusyOverlay();
    QVERIFY(!page->busyOverlay());
    QTest::mouseClick(page->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(harness.newBoxes(), Boxes{});
}

// Shown by an owner that can stop what it waits for: a click signals, then
// the overlay hides itself (its owner deletes it).
void TestLoading::cancelButtonShownSignalsAndHides()
{
    QWidget parent;
    parent.resize(800, 500);
    parent.show();
    auto *overlay = new Loading(&parent);
    overlay->show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy cancelled(overlay, &Loading::cancelWaiting);

    auto *cancel = overlay->findChild<QPushButton *>(QStringLiteral("cancelBtn"));
    QVERIFY(cancel);
    overlay->showCancelButton();
    QVERIFY(cancel->isVisible());
    QVERIFY(cancel->isEnabled());
    QCOMPARE(cancel->geometry(), QRect(35, 180, 180, 35));

    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY(!overlay->isVisible());
    delete overlay;
}

QTEST_MAIN(TestLoading)
#include "test_loading.moc"
