#include "Autosave.h"
#include "MoreVoices.h"
#include "PageHarness.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "VoiceFixtures.h"
#include "VoiceListDialog.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace VoiceFixtures;

// A locale with a hundred voices on the real page: the voice chooser grouped
// by model with the neural voices' own names, the picker strip cut to the
// editor's width with 更多… for the full list, and the favourites.
class TestVoicePicker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void chooserNamesAndGroupsNeuralVoices();
    void chosenNeuralVoiceIsSavedAndComesBack();
    void stripShowsWhatFitsTheEditor_data();
    void stripShowsWhatFitsTheEditor();
    void stripPutsUsedVoicesAndFavouritesFirst();
    void pickingFromTheFullListTagsTheSelection();
    void favouritesAreKeptWithTheSettings();
    void stripMenuMarksAndUnmarksAFavourite();

private:
    // A shown page of `width` over a cache of `records`, the service
    // answering the same list; null if its loader never finished.
    ttsMain *loadedPage(const QJsonArray &records, int width = 862);
    static QList<QPushButton *> buttons(MoreVoices *panel);
    static QStringList texts(const QList<QPushButton *> &strip);
    static void selectAll(TTSText *editor, const QString &text);
    QString folder() const { return QDir::currentPath() + "/"; }

    PageHarness m_harness;
    QList<ttsMain *> m_pages;
};

namespace {
// 汉语(大陆): seven espeak voices, three of 标贝, 110 of Kokoro; then en-US.
QJsonArray hundredVoices()
{
    QJsonArray list = voiceList(7);
    for (const QJsonValue &v : neuralVoices("zh-CN", "Biaobei", "标贝", 3))
        list.append(v);
    for (const QJsonValue &v : neuralVoices("zh-CN", "Kokoro", "Kokoro", 110))
        list.append(v);
    list.append(record("Female", "en-US", "en-US-AriaNeural"));
    list.append(record("Male", "en-US", "en-US-GuyNeural"));
    return list;
}

bool isSeparator(QComboBox *box, int i)
{
    return box->itemData(i, Qt::AccessibleDescriptionRole).toString() == QLatin1String("separator");
}
} // namespace

void TestVoicePicker::initTestCase()
{
    QVERIFY(m_harness.start());
}

void TestVoicePicker::init()
{
    m_harness.reset();
}

void TestVoicePicker::cleanup()
{
    qDeleteAll(m_pages);
    m_pages.clear();
    VoiceCatalogue::instance().reset();
}

ttsMain *TestVoicePicker::loadedPage(const QJsonArray &records, int width)
{
    writeCache(records);
    m_harness.service.setResponder([records](const FakeService::Request &request) {
        if (request.path == "/getVoices")
            return FakeService::ok(toJson(records));
        return FakeService::rendered(request);
    });
    ttsMain *page = m_harness.newPage();
    if (!page)
        return nullptr;
    m_pages.append(page);
    page->resize(width, 583);
    QCoreApplication::processEvents();
    return page;
}

QList<QPushButton *> TestVoicePicker::buttons(MoreVoices *panel)
{
    QList<QPushButton *> list = panel->findChildren<QPushButton *>();
    std::sort(list.begin(), list.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    return list;
}

QStringList TestVoicePicker::texts(const QList<QPushButton *> &strip)
{
    QStringList list;
    for (QPushButton *button : strip)
        list.append(button->text());
    return list;
}

void TestVoicePicker::selectAll(TTSText *editor, const QString &text)
{
    editor->setPlainText(text);
    QTextCursor cursor = editor->textCursor();
    cursor.select(QTextCursor::Document);
    editor->setTextCursor(cursor);
}

void TestVoicePicker::chooserNamesAndGroupsNeuralVoices()
{
    ttsMain *page = loadedPage(hundredVoices());
    QVERIFY(page);
    auto *voices = page->findChild<QComboBox *>("voicesSelect");

    // One list: espeak's voices as ever, then a separator before each model.
    QCOMPARE(voices->count(), 7 + 1 + 3 + 1 + 110);
    QStringList separators;
    for (int i = 0; i < voices->count(); ++i)
        if (isSeparator(voices, i))
            separators.append(QString::number(i));
    QCOMPARE(separators, (QStringList{"7", "11"}));
    QCOMPARE(voices->itemText(0), QStringLiteral("晓晓 女声"));
    QCOMPARE(voices->itemText(6), QStringLiteral("zh-CN-XiaomoNeural 女声"));
    QCOMPARE(voices->itemText(8), QStringLiteral("标贝 000 女声"));
    QCOMPARE(voices->itemText(9), QStringLiteral("标贝 001 男声"));
    QCOMPARE(voices->itemText(12), QStringLiteral("Kokoro 000 女声"));
    QCOMPARE(voices->itemText(121), QStringLiteral("Kokoro 109 男声"));
    QCOMPARE(voices->currentIndex(), 0);

    // A locale of espeak voices alone has no separator.
    page->findChild<QComboBox *>("localeSelect")->setCurrentIndex(1);
    QCOMPARE(voices->count(), 2);
    QVERIFY(!isSeparator(voices, 0) && !isSeparator(voices, 1));
}

// Separators are items of the chooser: the voice read from it, saved and
// restored is still the voice the user chose.
void TestVoicePicker::chosenNeuralVoiceIsSavedAndComesBack()
{
    ttsMain *first = loadedPage(hundredVoices());
    QVERIFY(first);
    first->enableAutosave(folder());
    auto *voices = first->findChild<QComboBox *>("voicesSelect");
    voices->setCurrentIndex(voices->findText(QStringLiteral("Kokoro 042 女声")));
    first->setScriptText(QStringLiteral("你好"));
    first->saveAutosave();
    const std::optional<Autosave::Session> saved = Autosave::loadSession(folder());
    QVERIFY(saved && saved->voice);
    QCOMPARE(*saved->voice, QStringLiteral("zh-CN-KokoroS042"));

    // The try-listen job speaks it.
    first->findChild<QPushButton *>("tryPlay")->click();
    QTRY_VERIFY(!m_harness.service.requestsTo("/ttsCommunicate").isEmpty());
    QCOMPARE(m_harness.service.requestsTo("/ttsCommunicate").first().formValue("voice"),
             QStringLiteral("zh-CN-KokoroS042"));
    QTRY_VERIFY(!first->isJobRunning());
    delete m_pages.takeLast();

    ttsMain *second = loadedPage(hundredVoices());
    QVERIFY(second);
    second->enableAutosave(folder());
    second->restoreAutosave();
    QTRY_COMPARE(second->findChild<QComboBox *>("voicesSelect")->currentText(), QStringLiteral("Kokoro 042 女声"));
}

void TestVoicePicker::stripShowsWhatFitsTheEditor_data()
{
    QTest::addColumn<int>("pageWidth");
    QTest::addColumn<int>("locale");

    QTest::newRow("a hundred voices, narrow page") << 500 << 0;
    QTest::newRow("a hundred voices, usual page") << 862 << 0;
    QTest::newRow("a hundred voices, wide page") << 1600 << 0;
    QTest::newRow("two voices, narrow page") << 500 << 1;
}

void TestVoicePicker::stripShowsWhatFitsTheEditor()
{
    QFETCH(int, pageWidth);
    QFETCH(int, locale);

    ttsMain *page = loadedPage(hundredVoices(), pageWidth);
    QVERIFY(page);
    page->findChild<QComboBox *>("localeSelect")->setCurrentIndex(locale);
    auto *editor = page->findChild<TTSText *>("textEdit");
    MoreVoices *panel = page->voicePicker();
    emit editor->mouseSelect();
    QVERIFY(panel->isVisible());

    const QList<QPushButton *> strip = buttons(panel);
    const int groupSize = VoiceCatalogue::instance().currentVoiceGroup().size();
    const int fit = editor->width() / 50;
    QVERIFY(fit >= 3);
    if (groupSize <= fit) {
        // As it always was: every voice, list order, nothing more.
        QCOMPARE(strip.size(), groupSize);
        QCOMPARE(texts(strip), (QStringList{"en-US-AriaNeural", "en-US-GuyNeural"}));
        QVERIFY(!panel->findChild<QPushButton *>("moreVoicesButton"));
    } else {
        QCOMPARE(strip.size(), fit);
        QCOMPARE(strip.last()->text(), QStringLiteral("更多…"));
        QCOMPARE(strip.last()->objectName(), QStringLiteral("moreVoicesButton"));
        // Nothing used, nothing marked: the first voices in list order.
        const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
        QStringList first;
        for (int i = 0; i < fit - 1; ++i)
            first.append(group.at(i).toObject().value("name").toString());
        QCOMPARE(texts(strip).mid(0, fit - 1), first);
    }
    for (int i = 0; i < strip.size(); ++i)
        QCOMPARE(strip[i]->geometry(), QRect(i * 50, 0, 50, 25));
    QCOMPARE(panel->size(), QSize(strip.size() * 50, 25));
    QVERIFY(panel->width() <= editor->width());
}

void TestVoicePicker::stripPutsUsedVoicesAndFavouritesFirst()
{
    ttsMain *page = loadedPage(hundredVoices(), 500);
    QVERIFY(page);
    auto *editor = page->findChild<TTSText *>("textEdit");
    MoreVoices *panel = page->voicePicker();
    page->setScriptText(QStringLiteral("「Kokoro 050」一「」「晓伊」二「」「Kokoro 050」三「」"));
    panel->setFavourites({QStringLiteral("zh-CN-KokoroS099"), QStringLiteral("zh-CN-BiaobeiS002")});

    emit editor->mouseSelect();
    const QStringList strip = texts(buttons(panel));
    const int fit = editor->width() / 50;
    QCOMPARE(strip.size(), fit);
    QStringList expected{"Kokoro 050", "晓伊", "标贝 002", "Kokoro 099", "晓晓", "云健", "云溪", "云夏", "云杨",
                         "zh-CN-XiaomoNeural", "标贝 000", "标贝 001"};
    for (int i = 0; expected.size() < fit - 1; ++i)
        expected.append(QStringLiteral("Kokoro %1").arg(i, 3, 10, QLatin1Char('0')));
    QCOMPARE(strip.mid(0, fit - 1), expected.mid(0, fit - 1));
    QCOMPARE(strip.last(), QStringLiteral("更多…"));

    // Clicking a reordered button tags with that button's voice.
    selectAll(editor, QStringLiteral("abc"));
    buttons(panel).at(3)->click();
    QCOMPARE(editor->toPlainText(), QStringLiteral("「Kokoro 099」abc「」"));
}

void TestVoicePicker::pickingFromTheFullListTagsTheSelection()
{
    ttsMain *page = loadedPage(hundredVoices());
    QVERIFY(page);
    auto *editor = page->findChild<TTSText *>("textEdit");
    MoreVoices *panel = page->voicePicker();
    selectAll(editor, QStringLiteral("abc"));
    emit editor->mouseSelect();
    QSignalSpy clicked(panel, &MoreVoices::clickVoice);

    panel->findChild<QPushButton *>("moreVoicesButton")->click();
    VoiceListDialog *list = panel->voiceList();
    QVERIFY(list);
    QTRY_VERIFY(list->isVisible());
    QListWidget *rows = list->voiceList();
    // Every voice of the locale, with the chooser's texts and group headers.
    int voiceRows = 0;
    for (int i = 0; i < rows->count(); ++i)
        voiceRows += rows->item(i)->flags() & Qt::ItemIsSelectable ? 1 : 0;
    QCOMPARE(voiceRows, 120);
    QCOMPARE(rows->count(), 122);

    list->searchBox()->setText(QStringLiteral("kokoro 077"));
    QStringList shown;
    for (int i = 0; i < rows->count(); ++i)
        if (!rows->item(i)->isHidden())
            shown.append(rows->item(i)->text());
    QCOMPARE(shown, QStringList{"Kokoro 077 男声"});

    rows->setCurrentItem(list->itemOf(QStringLiteral("Kokoro 077")));
    list->findChild<QPushButton *>("pickVoice")->click();
    // Like a button of the strip: the same signal, the same tag.
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().toString(), QStringLiteral("Kokoro 077"));
    QCOMPARE(editor->toPlainText(), QStringLiteral("「Kokoro 077」abc「」"));
    QTRY_VERIFY(!panel->voiceList());

    // A header row picks nothing.
    panel->openVoiceList();
    QVERIFY(panel->voiceList());
    emit panel->voiceList()->voiceList()->itemActivated(panel->voiceList()->voiceList()->item(7));
    QCOMPARE(clicked.size(), 1);
    panel->voiceList()->reject();
}

void TestVoicePicker::favouritesAreKeptWithTheSettings()
{
    qputenv("LUMO_AUTOSAVE_DELAY_MS", "100");
    ttsMain *first = loadedPage(hundredVoices(), 500);
    QVERIFY(first);
    first->enableAutosave(folder());
    MoreVoices *panel = first->voicePicker();
    panel->openVoiceList();
    VoiceListDialog *list = panel->voiceList();
    QVERIFY(list);
    list->itemOf(QStringLiteral("Kokoro 090"))->setCheckState(Qt::Checked);
    list->itemOf(QStringLiteral("标贝 001"))->setCheckState(Qt::Checked);
    list->itemOf(QStringLiteral("Kokoro 090"))->setCheckState(Qt::Unchecked);
    list->itemOf(QStringLiteral("Kokoro 091"))->setCheckState(Qt::Checked);
    list->reject();
    QCOMPARE(panel->favourites(), (QStringList{"zh-CN-BiaobeiS001", "zh-CN-KokoroS091"}));
    // A change of favourites is saved like any other setting.
    QTRY_VERIFY(Autosave::loadSession(folder()) && Autosave::loadSession(folder())->favourites);
    QCOMPARE(*Autosave::loadSession(folder())->favourites, (QStringList{"zh-CN-BiaobeiS001", "zh-CN-KokoroS091"}));
    delete m_pages.takeLast();
    qunsetenv("LUMO_AUTOSAVE_DELAY_MS");

    ttsMain *second = loadedPage(hundredVoices(), 500);
    QVERIFY(second);
    second->enableAutosave(folder());
    second->restoreAutosave();
    QCOMPARE(second->voicePicker()->favourites(), (QStringList{"zh-CN-BiaobeiS001", "zh-CN-KokoroS091"}));
    emit second->findChild<TTSText *>("textEdit")->mouseSelect();
    const QStringList strip = texts(buttons(second->voicePicker()));
    QCOMPARE(strip.mid(0, 3), (QStringList{"标贝 001", "Kokoro 091", "晓晓"}));
    // The full list shows them ticked.
    second->voicePicker()->openVoiceList();
    QCOMPARE(second->voicePicker()->voiceList()->itemOf(QStringLiteral("Kokoro 091"))->checkState(), Qt::Checked);
    QCOMPARE(second->voicePicker()->voiceList()->itemOf(QStringLiteral("Kokoro 090"))->checkState(), Qt::Unchecked);
    second->voicePicker()->voiceList()->reject();
}

void TestVoicePicker::stripMenuMarksAndUnmarksAFavourite()
{
    ttsMain *page = loadedPage(hundredVoices(), 500);
    QVERIFY(page);
    MoreVoices *panel = page->voicePicker();
    emit page->findChild<TTSText *>("textEdit")->mouseSelect();
    QSignalSpy changed(panel, &MoreVoices::favouritesChanged);

    // Answers the button's menu with its one action, and says what it read.
    auto answerMenu = [&](QPushButton *button) {
        QString label;
        QTimer::singleShot(0, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                label = menu->actions().first()->text();
                menu->actions().first()->trigger();
                menu->close();
            }
        });
        emit button->customContextMenuRequested(QPoint(5, 5));
        return label;
    };
    QPushButton *biaobei = buttons(panel).at(8);
    QCOMPARE(biaobei->text(), QStringLiteral("标贝 001"));
    QCOMPARE(answerMenu(biaobei), QStringLiteral("收藏"));
    QCOMPARE(panel->favourites(), QStringList{"zh-CN-BiaobeiS001"});
    QCOMPARE(changed.size(), 1);

    // The next showing puts it first.
    page->hide();
    page->show();
    emit page->findChild<TTSText *>("textEdit")->mouseSelect();
    QPushButton *first = buttons(panel).first();
    QCOMPARE(first->text(), QStringLiteral("标贝 001"));
    QCOMPARE(answerMenu(first), QStringLiteral("取消收藏"));
    QCOMPARE(panel->favourites(), QStringList{});
    QCOMPARE(changed.size(), 2);
}

QTEST_MAIN(TestVoicePicker)
#include "test_voicepicker.moc"
