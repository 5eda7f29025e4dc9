#include "Loading.h"
#include "MainWindow.h"
#include "MoreVoices.h"
#include "PageHarness.h"
#include "TestSupport.h"
#include "VoiceCatalogue.h"
#include "VoiceFixtures.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

// The real window against the real speech service in a fresh working folder:
// the first start fetches the list under the overlay and asks for a restart,
// the second start shows the cached voices. The window starts the service
// after the page has started its loader, as the program does.
class TestCatalogueEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStartAsksForRestart();
    void secondStartFillsTheChoosers();
    void cleanupTestCase();

private:
    // Its fake service stays idle: the window's page asks the real one.
    PageHarness m_harness;
};

namespace {
// Notes every overlay the page shows, however briefly, with its message.
class OverlayWatch : public QObject
{
public:
    QStringList messages;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished) {
            auto *child = static_cast<QChildEvent *>(event)->child();
            if (auto *overlay = qobject_cast<Loading *>(child))
                messages.append(overlay->findChild<QLabel *>("tips")->text());
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

void TestCatalogueEndToEnd::initTestCase()
{
    // A build with the service has it in place: a missing one is a failure.
    const QString server = TestSupport::serverExecutable();
    QVERIFY2(QFile::exists(server), qPrintable("no speech service at " + server));
    TestSupport::clearWorkingFolder();
    QVERIFY(QDir().mkdir("server"));
    QVERIFY(QFile::copy(server, "server/Sayora_server_Tavrel"));
    QFile::setPermissions("server/Sayora_server_Tavrel", QFile::permissions(server));
}

void TestCatalogueEndToEnd::firstStartAsksForRestart()
{
    QVERIFY(!QFile::exists("data.db"));
    MessageBoxCatcher catcher;
    catcher.start();
    OverlayWatch watch;
    {
        MainWindow window;
        auto *page = window.findChild<ttsMain *>();
        QVERIFY(page);
        page->installEventFilter(&watch);
        window.show();

        QTRY_COMPARE_WITH_TIMEOUT(catcher.count(), 1, 30000);
        QCOMPARE(watch.messages, QStringList{"加载资源中……\n初次运行，请耐心等待"});
        QCOMPARE(catcher.last().caption, QStringLiteral("软件需重启"));
        QCOMPARE(catcher.last().text, QStringLiteral("配音员已更新，请重启软件"));
        QTRY_VERIFY(!page->isVisible());
        window.close();
    }
    QVERIFY(VoiceFixtures::cacheRows().size() > 0);
}

void TestCatalogueEndToEnd::secondStartFillsTheChoosers()
{
    const int cached = VoiceFixtures::cacheRows().size();
    QVERIFY(cached > 0);
    VoiceCatalogue::instance().reset();
    MessageBoxCatcher catcher;
    catcher.start();
    OverlayWatch watch;
    MainWindow window;
    auto *page = window.findChild<ttsMain *>();
    page->installEventFilter(&watch);
    m_harness.watch(page);
    window.show();

    auto *locales = page->findChild<QComboBox *>("localeSelect");
    auto *voices = page->findChild<QComboBox *>("voicesSelect");
    QTRY_VERIFY_WITH_TIMEOUT(locales->count() > 0, 30000);
    QCOMPARE(locales->currentText(), QStringLiteral("汉语(大陆)"));
    QVERIFY(voices->count() > 0);
    QCOMPARE(voices->currentIndex(), 0);
    QVERIFY2(voices->itemText(0).endsWith("声"), qPrintable(voices->itemText(0)));
    const auto buttons = page->voicePicker()->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), voices->count());
    for (QPushButton *button : buttons)
        QVERIFY(voices->findText(button->text(), Qt::MatchStartsWith) >= 0);

    // The service's list has come too, and changed nothing.
    QVERIFY2(m_harness.settle(page, 30000), "the page's catalogue loader never finished");
    QVERIFY(watch.messages.isEmpty());
    QVERIFY(page->isVisible());
    QCOMPARE(catcher.count(), 0);
    window.close();
    QCOMPARE(VoiceFixtures::cacheRows().size(), cached);
}

void TestCatalogueEndToEnd::cleanupTestCase()
{
    TestSupport::clearWorkingFolder();
}

QTEST_MAIN(TestCatalogueEndToEnd)
#include "test_catalogue_endtoend.moc"
