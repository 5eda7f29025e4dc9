#include "Loading.h"
#include "MoreVoices.h"
#include "PageHarness.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "VoiceFixtures.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace VoiceFixtures;

// The catalogue as the user meets it on a real synthesis page: the overlay,
// the boxes, the two choosers and the picker strip. The page's loader asks
// the fake service, on a free port.
class TestCataloguePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartShowsOverlayThenAsksForRestart();
    void whatTheUserSees_data();
    void whatTheUserSees();
    void cachedCatalogueFillsTheChoosers();
    void localeChangeRefillsVoices();
    void pickerButtonsFormOneRow();
    void pickerShowsEveryButtonItHolds();
    void pickerHidesAfterItsInterval();
    void pointerOverPickerKeepsItOpen();
    void pickerClickTagsTheSelection();
    void localeChangeHidesPickerAndRebuildsIt();

private:
    // A page over a cache of `records`, the service answering the same list;
    // returns once the loader has finished.
    std::unique_ptr<ttsMain> loadedPage(const QJsonArray &records);
    ServiceUrls urls() const { return m_harness.urls(); }
    // Boxes shown since the test began.
    int boxCount() const { return m_harness.boxes.count() - m_boxesBefore; }
    static QStringList items(QComboBox *box);
    static QList<QPushButton *> buttons(MoreVoices *panel);

    PageHarness m_harness;
    int m_boxesBefore = 0;
};

namespace {
// en-US before zh-CN, so that the mainland locale is not simply the first one.
QJsonArray mixedVoices()
{
    QJsonArray list{record("Female", "en-US", "en-US-AriaNeural"), record("Male", "en-US", "en-US-GuyNeural")};
    for (const QJsonValue &v : voiceList(7))
        list.append(v);
    list.append(record("Female", "en-GB", "en-GB-SoniaNeural"));
    return list;
}

const QStringList mainlandVoices{"晓晓 女声", "晓伊 男声", "云健 女声", "云溪 男声", "云夏 女声", "云杨 男声",
                                 "zh-CN-XiaomoNeural 女声"};
const QStringList mainlandNames{"晓晓", "晓伊", "云健", "云溪", "云夏", "云杨", "zh-CN-XiaomoNeural"};
} // namespace

void TestCataloguePage::initTestCase()
{
    QVERIFY(m_harness.start());
}

void TestCataloguePage::init()
{
    m_harness.reset();
    m_boxesBefore = m_harness.boxes.count();
}

void TestCataloguePage::cleanup()
{
    VoiceCatalogue::instance().reset();
}

QStringList TestCataloguePage::items(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

QList<QPushButton *> TestCataloguePage::buttons(MoreVoices *panel)
{
    QList<QPushButton *> list = panel->findChildren<QPushButton *>();
    std::sort(list.begin(), list.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    return list;
}

std::unique_ptr<ttsMain> TestCataloguePage::loadedPage(const QJsonArray &records)
{
    writeCache(records);
    m_harness.service.setResponder([records](const FakeService::Request &) { return FakeService::ok(toJson(records)); });
    std::unique_ptr<ttsMain> page(m_harness.newPage());
    if (!page)
        qFatal("the page's catalogue loader never finished");
    page->resize(862, 583);
    [&] { QVERIFY(page->findChild<QComboBox *>("localeSelect")->count() > 0); }();
    [&] { QCOMPARE(m_harness.service.requestCount(), 1); }();
    return page;
}

void TestCataloguePage::firstStartShowsOverlayThenAsksForRestart()
{
    const QJsonArray served = voiceList(300);
    m_harness.service.setResponder([served](const FakeService::Request &) {
        FakeService::Reply reply = FakeService::ok(toJson(served));
        reply.delayMs = 700; // long enough to see the overlay
        return reply;
    });

    ttsMain page(urls());
    page.show();
    QTRY_VERIFY(page.busyOverlay() != nullptr);
    QVERIFY(page.busyOverlay()->isVisible());
    QCOMPARE(page.busyOverlay()->findChild<QLabel *>("tips")->text(), QStringLiteral("加载资源中……\n初次运行，请耐心等待"));

    QTRY_COMPARE(boxCount(), 1);
    QCOMPARE(m_harness.boxes.last().caption, QStringLiteral("软件需重启"));
    QCOMPARE(m_harness.boxes.last().text, QStringLiteral("配音员已更新，请重启软件"));
    QTRY_VERIFY(!page.isVisible());

    QCOMPARE(page.findChild<QComboBox *>("localeSelect")->count(), 0);
    QCOMPARE(page.findChild<QComboBox *>("voicesSelect")->count(), 0);
    const QStringList rows = cacheRows();
    QCOMPARE(rows.size(), 300);
    QCOMPARE(rows.first(), QStringLiteral("1|Female|zh-CN|zh-CN-XiaoxiaoNeural"));
    QCOMPARE(rows.last(), QStringLiteral("300|Male|en-US|en-US-Voice299Neural"));
}

void TestCataloguePage::whatTheUserSees_data()
{
    QTest::addColumn<QString>("cache");   // none | cached | corrupt | readonly
    QTest::addColumn<QString>("service"); // drop | voices | code0
    QTest::addColumn<int>("served");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<int>("rowsAfter");

    const QString transport = "配音员接口网络接口请求错误，代码：2";
    QTest::newRow("first start, transport error")
        << "none" << "drop" << 0 << "接口错误" << transport << false << 0;
    QTest::newRow("first start, other code")
        << "none" << "code0" << 0 << "获取结果" << "服务忙" << false << 0;
    QTest::newRow("cached, transport error")
        << "cached" << "drop" << 0 << "接口错误" << transport << true << 10;
    QTest::newRow("cached, other code")
        << "cached" << "code0" << 0 << "获取结果" << "服务忙" << true << 10;
    QTest::newRow("corrupt cache")
        << "corrupt" << "voices" << 12 << "请确保软件有足够的权限" << "读取数据库失败" << false << -1;
    // Not "软件需重启": a restart could never store the new list.
    QTest::newRow("read-only cache, list changed")
        << "readonly" << "voices" << 12 << "请确保软件有足够的权限" << "读取数据库失败" << true << 10;
}

void TestCataloguePage::whatTheUserSees()
{
    QFETCH(QString, cache);
    QFETCH(QString, service);
    QFETCH(int, served);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(bool, filled);
    QFETCH(int, rowsAfter);

    if (cache == "corrupt") {
        QFile file("data.db");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("not a database\n").repeated(300));
    } else if (cache != "none") {
        writeCache(mixedVoices());
        if (cache == "readonly")
            markReadOnly("data.db");
    }
    const QByteArray before = readFile("data.db");

    m_harness.service.setResponder([service, served](const FakeService::Request &) {
        FakeService::Reply reply;
        if (service == "drop")
            reply.dropConnection = true;
        else if (service == "code0")
            reply = FakeService::envelope(0, QStringLiteral("服务忙"));
        else
            reply = FakeService::ok(toJson(voiceList(served)));
        reply.delayMs = 300;
        return reply;
    });

    ttsMain page(urls());
    page.show();
    QTRY_COMPARE(boxCount(), 1);
    QCOMPARE(m_harness.boxes.last().caption, caption);
    QCOMPARE(m_harness.boxes.last().text, text);
    // The box's handler closes any overlay; the page stays usable.
    QTRY_VERIFY(page.busyOverlay() == nullptr);
    QVERIFY(page.isVisible());

    auto *locales = page.findChild<QComboBox *>("localeSelect");
    auto *voices = page.findChild<QComboBox *>("voicesSelect");
    if (filled) {
        QCOMPARE(items(locales), (QStringList{"英语(美国)", "汉语(大陆)", "英语(英国)"}));
        QCOMPARE(locales->currentText(), QStringLiteral("汉语(大陆)"));
        QCOMPARE(items(voices), mainlandVoices);
    } else {
        QCOMPARE(locales->count(), 0);
        QCOMPARE(voices->count(), 0);
    }

    if (rowsAfter >= 0)
        QCOMPARE(cacheRows().size(), rowsAfter);
    if (cache != "none")
        QCOMPARE(readFile("data.db"), before);
    QCOMPARE(boxCount(), 1);
}

void TestCataloguePage::cachedCatalogueFillsTheChoosers()
{
    auto page = loadedPage(mixedVoices());
    auto *locales = page->findChild<QComboBox *>("localeSelect");
    auto *voices = page->findChild<QComboBox *>("voicesSelect");

    QCOMPARE(items(locales), (QStringList{"英语(美国)", "汉语(大陆)", "英语(英国)"}));
    QCOMPARE(locales->currentIndex(), 1);
    QCOMPARE(VoiceCatalogue::instance().currentLocaleIndex(), 1);
    QCOMPARE(items(voices), mainlandVoices);
    QCOMPARE(voices->currentIndex(), 0);
    QCOMPARE(buttons(page->voicePicker()).size(), 7);
    QVERIFY(page->voiceHighlighter() != nullptr);
    QVERIFY(page->busyOverlay() == nullptr);
    QVERIFY(page->isVisible());
    QCOMPARE(boxCount(), 0);
}

void TestCataloguePage::localeChangeRefillsVoices()
{
    auto page = loadedPage(mixedVoices());
    auto *locales = page->findChild<QComboBox *>("localeSelect");
    auto *voices = page->findChild<QComboBox *>("voicesSelect");

    locales->setCurrentIndex(0);
    QCOMPARE(VoiceCatalogue::instance().currentLocaleIndex(), 0);
    QCOMPARE(items(voices), (QStringList{"en-US-AriaNeural 女声", "en-US-GuyNeural 男声"}));
    QCOMPARE(voices->currentIndex(), 0);

    voices->setCurrentIndex(1);
    locales->setCurrentIndex(2);
    QCOMPARE(items(voices), QStringList{"en-GB-SoniaNeural 女声"});
    QCOMPARE(voices->currentIndex(), 0);
    const auto strip = buttons(page->voicePicker());
    QCOMPARE(strip.size(), 1);
    QCOMPARE(strip.first()->text(), QStringLiteral("en-GB-SoniaNeural"));
}

void TestCataloguePage::pickerButtonsFormOneRow()
{
    auto page = loadedPage(mixedVoices());
    MoreVoices *panel = page->voicePicker();
    QVERIFY(!panel->isVisible());

    const auto strip = buttons(panel);
    QCOMPARE(strip.size(), 7);
    for (int i = 0; i < strip.size(); ++i) {
        QCOMPARE(strip[i]->geometry(), QRect(i * 50, 0, 50, 25));
        QCOMPARE(strip[i]->text(), mainlandNames[i]);
    }
    QCOMPARE(panel->size(), QSize(350, 25));
}

// Buttons are made while the panel is hidden (after loading, after a change
// of locale) and must all appear when it shows; made while it shows, they
// must appear at once.
void TestCataloguePage::pickerShowsEveryButtonItHolds()
{
    auto page = loadedPage(mixedVoices());
    MoreVoices *panel = page->voicePicker();
    auto *editor = page->findChild<TTSText *>("textEdit");
    auto allVisible = [&] {
        const auto strip = buttons(panel);
        return !strip.isEmpty()
            && std::all_of(strip.begin(), strip.end(), [](QPushButton *b) { return b->isVisible(); });
    };

    emit editor->mouseSelect();
    QVERIFY(panel->isVisible());
    QVERIFY(allVisible());

    page->findChild<QComboBox *>("localeSelect")->setCurrentIndex(2);
    QVERIFY(!panel->isVisible());
    emit editor->mouseSelect();
    QVERIFY(panel->isVisible());
    QCOMPARE(buttons(panel).size(), 1);
    QVERIFY(allVisible());

    panel->removeButtons();
    panel->buildButtons();
    QCOMPARE(buttons(panel).size(), 1);
    QVERIFY(allVisible());
}

void TestCataloguePage::pickerHidesAfterItsInterval()
{
    auto page = loadedPage(mixedVoices());
    MoreVoices *panel = page->voicePicker();
    auto *editor = page->findChild<TTSText *>("textEdit");

    emit editor->mouseSelect();
    QVERIFY(panel->isVisible());
    QVERIFY(page->pickerTimer()->isActive());
    QCOMPARE(page->pickerTimer()->interval(), 2000);
    QVERIFY(page->pickerTimer()->isSingleShot());
    // While it is open a new selection must not move it.
    QVERIFY(!editor->selectPopupEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(!panel->isVisible(), 5000);
    QVERIFY(editor->selectPopupEnabled());
}

void TestCataloguePage::pointerOverPickerKeepsItOpen()
{
    auto page = loadedPage(mixedVoices());
    MoreVoices *panel = page->voicePicker();
    QTimer *timer = page->pickerTimer();
    QSignalSpy notClose(panel, &MoreVoices::notClose);

    emit page->findChild<TTSText *>("textEdit")->mouseSelect();
    QVERIFY(timer->isActive());

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(panel, &enter);
    QCOMPARE(notClose.size(), 1);
    QCOMPARE(notClose.last().first().toBool(), true);
    QVERIFY(!timer->isActive());
    QVERIFY(panel->isVisible());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(panel, &leave);
    QCOMPARE(notClose.size(), 2);
    QCOMPARE(notClose.last().first().toBool(), false);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!panel->isVisible(), 5000);
}

void TestCataloguePage::pickerClickTagsTheSelection()
{
    auto page = loadedPage(mixedVoices());
    MoreVoices *panel = page->voicePicker();
    auto *editor = page->findChild<TTSText *>("textEdit");
    editor->setPlainText(QStringLiteral("abc"));
    QTextCursor cursor = editor->textCursor();
    cursor.select(QTextCursor::Document);
    editor->setTextCursor(cursor);

    emit editor->mouseSelect();
    QSignalSpy clicked(panel, &MoreVoices::clickVoice);
    buttons(panel).first()->click();
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().toString(), QStringLiteral("晓晓"));
    QCOMPARE(editor->toPlainText(), QStringLiteral("「晓晓」abc「」"));
    QVERIFY(panel->isVisible());
}

void TestCataloguePage::localeChangeHidesPickerAndRebuildsIt()
{
    auto page = loadedPage(mixedVoices());
    MoreVoices *panel = page->voicePicker();
    auto *editor = page->findChild<TTSText *>("textEdit");
    QPointer<QPushButton> oldButton = buttons(panel).first();

    emit editor->mouseSelect();
    QVERIFY(panel->isVisible());
    page->findChild<QComboBox *>("localeSelect")->setCurrentIndex(0);

    QVERIFY(!panel->isVisible());
    QVERIFY(!page->pickerTimer()->isActive());
    QVERIFY(editor->selectPopupEnabled());
    QVERIFY(oldButton.isNull());
    const auto strip = buttons(panel);
    QCOMPARE(strip.size(), 2);
    QCOMPARE(strip[0]->text(), QStringLiteral("en-US-AriaNeural"));
    QCOMPARE(strip[1]->geometry(), QRect(50, 0, 50, 25));
    QCOMPARE(panel->size(), QSize(100, 25));

    // The next selection opens it again, with the new locale's voices.
    emit editor->mouseSelect();
    QVERIFY(panel->isVisible());
    QCOMPARE(buttons(panel).size(), 2);
}

QTEST_MAIN(TestCataloguePage)
#include "test_cataloguepage.moc"
