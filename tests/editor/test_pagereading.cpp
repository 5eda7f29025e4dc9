#include "PageHarness.h"
#include "ReadingDialog.h"
#include "SynthesisJob.h"
#include "TTSText.h"
#include "VoiceFixtures.h"
#include "ttsMain.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkReply>
#include <QPushButton>
#include <QtTest>

namespace {

const QString xiaoxiao = QStringLiteral("zh-CN-XiaoxiaoNeural");

} // namespace

Q_DECLARE_METATYPE(FakeService::Reply)

// Opens the page; stops the test when it could not.
#define OPEN_PAGE(withCatalogue)                                                                   \
    do {                                                                                           \
        openPage(withCatalogue);                                                                   \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

// What the page does around the reading dialog that only odd answers show:
// the refusals before a dialog opens, and what the dialog makes of a
// service that refuses, breaks or knows no sources; a listen from the
// dialog while a job runs. Against a stand-in service on a free port; the
// real service's readings are tested in tests/synthesis.
class TestPageReading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusedBeforeADialogOpens_data();
    void refusedBeforeADialogOpens();
    void theDialogShowsWhatTheServiceSays_data();
    void theDialogShowsWhatTheServiceSays();
    void aListenFromTheDialogWaitsForARunningJob();
    void aNewSelectionReplacesTheDialog();

private:
    void openPage(bool withCatalogue);
    void select(int anchor, int position);
    TTSText *editor() const { return m_page->findChild<TTSText *>("textEdit"); }
    template<typename T> T *child(QObject *parent, const char *name) const
    {
        T *found = parent->findChild<T *>(name);
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    PageHarness m_harness;
    ttsMain *m_page = nullptr;
    FakeService::Reply m_readingReply;
    int m_renderDelayMs = 0;
};

void TestPageReading::initTestCase()
{
    QVERIFY2(m_harness.start(), "the fake service could not listen");
}

void TestPageReading::init()
{
    m_harness.reset();
    m_readingReply = FakeService::ok(R"({"reading":"chong2 qing4","phonemes":"","sources":"dd"})");
    m_renderDelayMs = 0;
    m_harness.service.setResponder([this](const FakeService::Request &request) {
        if (request.path == "/ttsReading")
            return m_readingReply;
        FakeService::Reply reply = PageHarness::usualReply(request);
        if (request.path == "/ttsCommunicate")
            reply.delayMs = m_renderDelayMs;
        return reply;
    });
}

void TestPageReading::cleanup()
{
    if (m_page)
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    delete m_page;
    m_page = nullptr;
}

void TestPageReading::openPage(bool withCatalogue)
{
    if (withCatalogue) {
        using VoiceFixtures::record;
        QVERIFY(VoiceFixtures::writeCache({record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural"),
                                           record("Male", "zh-CN", "zh-CN-YunxiNeural")}));
    }
    const int boxesBefore = m_harness.boxes.count();
    m_page = m_harness.newPage();
    QVERIFY2(m_page, "the page's catalogue loader never finished");
    // The loader reported the refused voice list with a box; now the page is idle.
    QCOMPARE(m_harness.boxes.count(), boxesBefore + 1);
    m_harness.service.clearRequests();
}

void TestPageReading::select(int anchor, int position)
{
    QTextCursor cursor(editor()->document());
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    editor()->setTextCursor(cursor);
}

void TestPageReading::refusedBeforeADialogOpens_data()
{
    QTest::addColumn<bool>("withCatalogue");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");

    QTest::newRow("no selection") << true << "「晓晓」重庆「」" << 5 << 5 << "请先选中要查看读音的文字";
    QTest::newRow("two voices") << true << "一「云溪」二「」" << 0 << 6
                                << "选中的文字由不同的配音员朗读，请只选中一位配音员的文字";
    QTest::newRow("only a tag") << true << "一「晓晓」二「」" << 1 << 5 << "选中的文字中没有可以朗读的内容";
    QTest::newRow("no voice chosen") << false << "你好" << 0 << 2 << "请先选择配音员";
}

void TestPageReading::refusedBeforeADialogOpens()
{
    QFETCH(bool, withCatalogue);
    QFETCH(QString, script);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QString, text);

    OPEN_PAGE(withCatalogue);
    editor()->setPlainText(script);
    select(anchor, position);
    const int before = m_harness.boxes.count();

    editor()->showReadingAction()->trigger();

    QCOMPARE(m_harness.boxes.count(), before + 1);
    QCOMPARE(m_harness.boxes.last().caption, QString("查看读音"));
    QCOMPARE(m_harness.boxes.last().text, text);
    QVERIFY(!m_page->readingDialog());
    QCOMPARE(m_harness.service.requestsTo("/ttsReading").size(), 0);
}

void TestPageReading::theDialogShowsWhatTheServiceSays_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<FakeService::Reply>("reply");
    QTest::addColumn<QString>("field");     // the reading field's text
    QTest::addColumn<QString>("marked");    // what the reading label shows, as rich text
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("correctable");

    QTest::newRow("a syllable from the user's list")
        << "「晓晓」重庆「」" << FakeService::ok(R"({"reading":"zhong4 qing4","phonemes":"","sources":"ud"})")
        << "zhòng qìng" << "<span style=\"color:#c0392b;\"><u>zhòng</u></span> qìng" << "" << true;
    QTest::newRow("an older service without sources")
        << "「晓晓」重庆「」" << FakeService::ok(R"({"reading":"chong2 qing4","phonemes":""})") << "chóng qìng"
        << "chóng qìng" << "" << true;
    QTest::newRow("the service refuses")
        << "「晓晓」重庆「」" << FakeService::envelope(0, QStringLiteral("未知的语音：zh-CN-XiaoxiaoNeural")) << ""
        << "" << "无法获取读音：未知的语音：zh-CN-XiaoxiaoNeural" << false;
    QTest::newRow("the connection drops")
        << "「晓晓」重庆「」" << FakeService::broken("drop") << "" << ""
        << QStringLiteral("无法获取读音：读音查询接口网络接口请求错误，代码：%1").arg(int(QNetworkReply::RemoteHostClosedError))
        << false;
    QTest::newRow("shown but not correctable")
        << "「晓晓」重庆，北京「」" << FakeService::ok(R"({"reading":"chong2 qing4 bei3 jing1","sources":"dddd"})")
        << "chóng qìng běi jīng" << "chóng qìng běi jīng" << "只能为汉字组成的词语保存读音，请只选中汉字" << false;
}

void TestPageReading::theDialogShowsWhatTheServiceSays()
{
    QFETCH(QString, script);
    QFETCH(FakeService::Reply, reply);
    QFETCH(QString, field);
    QFETCH(QString, marked);
    QFETCH(QString, message);
    QFETCH(bool, correctable);

    OPEN_PAGE(true);
    m_readingReply = reply;
    editor()->setPlainText(script);
    select(4, script.size() - 2);
    const int boxes = m_harness.boxes.count();

    editor()->showReadingAction()->trigger();

    ReadingDialog *dialog = m_page->readingDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(m_harness.boxes.count(), boxes);
    // Once, or twice where the network layer sends again after a dropped connection.
    const auto asked = m_harness.service.requestsTo("/ttsReading");
    QVERIFY(!asked.isEmpty());
    const QList<QPair<QString, QString>> fields{{"text", script.mid(4, script.size() - 6)}, {"voice", xiaoxiao}};
    QCOMPARE(asked.first().formFields(), fields);

    QCOMPARE(child<QLineEdit>(dialog, "readingEdit")->text(), field);
    QCOMPARE(child<QLabel>(dialog, "sourceLabel")->text(), marked);
    QCOMPARE(child<QLabel>(dialog, "legendLabel")->isVisible(), marked.contains("<u>"));
    QCOMPARE(dialog->message(), message);
    QCOMPARE(dialog->messageIsError(), !message.isEmpty());
    QCOMPARE(child<QLineEdit>(dialog, "readingEdit")->isReadOnly() || !child<QLineEdit>(dialog, "readingEdit")->isEnabled(),
             !correctable);
    QCOMPARE(child<QPushButton>(dialog, "saveReadingBtn")->isEnabled(), correctable);
    QCOMPARE(child<QPushButton>(dialog, "listenReadingBtn")->isEnabled(), correctable);
    QVERIFY(!QFileInfo::exists("lexicon.txt"));
}

void TestPageReading::aListenFromTheDialogWaitsForARunningJob()
{
    OPEN_PAGE(true);
    editor()->setPlainText("「晓晓」重庆「」\n第二行");
    select(4, 6);
    editor()->showReadingAction()->trigger();
    ReadingDialog *dialog = m_page->readingDialog();
    QVERIFY(dialog);
    child<QLineEdit>(dialog, "readingEdit")->setText("zhong4 qing4");

    // A job the service takes its time over.
    m_renderDelayMs = 1500;
    child<QPushButton>(m_page, "resultBtn")->click();
    QVERIFY(m_page->isJobRunning());
    SynthesisJob *running = m_page->synthesisJob();
    const int boxes = m_harness.boxes.count();

    QTest::mouseClick(child<QPushButton>(dialog, "listenReadingBtn"), Qt::LeftButton);
    QCOMPARE(dialog->message(), QString("正在合成，请等当前任务结束后再试听"));
    QVERIFY(dialog->messageIsError());
    QCOMPARE(m_page->synthesisJob(), running);
    QCOMPARE(m_harness.boxes.count(), boxes);

    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    QVERIFY(running->isDelivered());
    m_renderDelayMs = 0;
    m_harness.service.clearRequests();

    // Once it is over the listen goes ahead, the reading sent along.
    QTest::mouseClick(child<QPushButton>(dialog, "listenReadingBtn"), Qt::LeftButton);
    QVERIFY2(!dialog->messageIsError(), qPrintable(dialog->message()));
    QTRY_VERIFY_WITH_TIMEOUT(m_page->synthesisJob()->isDelivered(), 30000);
    const auto renders = m_harness.service.requestsTo("/ttsCommunicate");
    QCOMPARE(renders.size(), 1);
    QCOMPARE(renders.first().formValue("text"), QString("重庆"));
    QCOMPARE(renders.first().formValue("voice"), xiaoxiao);
    QCOMPARE(renders.first().formValue("reading"), QString("zhong4 qing4"));
    QCOMPARE(m_page->synthesisJob()->plan().mode, JobMode::TryListen);
    QVERIFY(!QFileInfo::exists("lexicon.txt"));
}

void TestPageReading::aNewSelectionReplacesTheDialog()
{
    OPEN_PAGE(true);
    editor()->setPlainText("「晓晓」重庆和北京「」");
    select(4, 6);
    editor()->showReadingAction()->trigger();
    QPointer<ReadingDialog> first = m_page->readingDialog();
    QVERIFY(first);

    select(7, 9);
    editor()->showReadingAction()->trigger();
    QVERIFY(first.isNull());
    QVERIFY(m_page->readingDialog());
    QCOMPARE(m_page->readingDialog()->text(), QString("北京"));
    QCOMPARE(m_page->findChildren<ReadingDialog *>().size(), 1);

    // Closed, it is gone.
    QTest::mouseClick(child<QPushButton>(m_page->readingDialog(), "closeReadingBtn"), Qt::LeftButton);
    QTRY_VERIFY(!m_page->readingDialog());
}

QTEST_MAIN(TestPageReading)
#include "test_pagereading.moc"
