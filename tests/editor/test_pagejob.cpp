#include "Loading.h"
#include "PageHarness.h"
#include "TTSText.h"
#include "SynthesisJob.h"
#include "VoiceFixtures.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QLabel>
#include <QMediaPlaylist>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {

const QString xiaoxiao = QStringLiteral("zh-CN-XiaoxiaoNeural");
const QString yunxi = QStringLiteral("zh-CN-YunxiNeural");

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

// The voice cache as the loader reads it: table voices (id, gender, locale, name).
void writeVoiceCache()
{
    using VoiceFixtures::record;
    QVERIFY(VoiceFixtures::writeCache({record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural"),
                                       record("Male", "zh-CN", "zh-CN-YunxiNeural"),
                                       record("Female", "en-US", "en-US-AriaNeural")}));
}

bool isFile(const QString &path)
{
    return QFileInfo(path).isFile();
}

} // namespace

// Helpers that check with QTest macros; stop the test when they failed.
#define OPEN_PAGE(withCatalogue)                                                                   \
    do {                                                                                           \
        openPage(withCatalogue);                                                                   \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)
#define RUN_JOB(button)                                                                            \
    do {                                                                                           \
        runJob(button);                                                                            \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

// The page's two buttons: what a real page shows of its jobs, against the
// stand-in service on a free port. The job's own rules are tested without a
// page in tests/core and tests/service.
class TestPageJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusedJobCreatesAndClearsNothing_data();
    void refusedJobCreatesAndClearsNothing();
    void taggedScriptRendersWithoutCatalogue();
    void oneSegmentOpensTheFolder();
    void failedSegmentsAreCountedAndStillJoined();
    void brokenRepliesAreCountedAndNextJobWorks_data();
    void brokenRepliesAreCountedAndNextJobWorks();
    void audioFollowsTheScript();
    void tryListenPlaysAndNextJobClearsItsFolder();
    void resultFolderIsLeftAlone_data();
    void resultFolderIsLeftAlone();
    void failedCombinationKeepsLastMode_data();
    void failedCombinationKeepsLastMode();
    void secondStartWhileRunningIsIgnored();
    void loaderEndingMidJobKeepsTheJobCovered_data();
    void loaderEndingMidJobKeepsTheJobCovered();
    void progressCountsUpToTheTotal();
    void cancelEndsTheJobAtOnce();
    void silentServiceEndsTheJobWithTheReason();
    void catalogueOverlayCannotBeCancelled();

private:
    void openPage(bool withCatalogue);
    void setScript(const QString &script);
    void runJob(QPushButton *button);
    Boxes jobBoxes() const;
    QList<FakeService::Request> requests(const QByteArray &path) const;
    QStringList jobFolders() const;

    template<typename T> T *child(const char *name) const
    {
        T *widget = m_page->findChild<T *>(name);
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }
    QPushButton *resultBtn() const { return child<QPushButton>("resultBtn"); }
    QPushButton *tryPlay() const { return child<QPushButton>("tryPlay"); }
    template<typename T> T *overlayChild(const char *name) const
    {
        T *widget = m_page->busyOverlay() ? m_page->busyOverlay()->findChild<T *>(name) : nullptr;
        if (!widget)
            qFatal("no overlay child %s", name);
        return widget;
    }

    PageHarness m_harness;
    ttsMain *m_page = nullptr;
};

void TestPageJob::initTestCase()
{
    QVERIFY2(m_harness.start(), "the fake service could not listen");
}

void TestPageJob::init()
{
    m_harness.reset();
}

void TestPageJob::cleanup()
{
    qunsetenv("LUMO_SEGMENT_TIMEOUT_MS");
    qunsetenv("LUMO_JOIN_TIMEOUT_MS");
    if (m_page)
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    delete m_page;
    m_page = nullptr;
}

void TestPageJob::openPage(bool withCatalogue)
{
    if (withCatalogue)
        writeVoiceCache();
    const int boxesBefore = m_harness.boxes.count();
    m_page = m_harness.newPage();
    QVERIFY2(m_page, "the page's catalogue loader never finished");
    // The loader filled the choosers from the cache, then reported the
    // refused voice list with a box; now it is gone and the page is idle.
    QCOMPARE(m_harness.boxes.count(), boxesBefore + 1);
    QCOMPARE(m_harness.boxes.last().caption, QString("获取结果"));
    QCOMPARE(child<QComboBox>("voicesSelect")->count(), withCatalogue ? 2 : 0);
    m_harness.service.clearRequests();
}

void TestPageJob::setScript(const QString &script)
{
    child<TTSText>("textEdit")->setPlainText(script);
}

void TestPageJob::runJob(QPushButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
}

Boxes TestPageJob::jobBoxes() const
{
    return m_harness.newBoxes();
}

QList<FakeService::Request> TestPageJob::requests(const QByteArray &path) const
{
    return m_harness.service.requestsTo(path);
}

QStringList TestPageJob::jobFolders() const
{
    return QDir("audio").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

void TestPageJob::refusedJobCreatesAndClearsNothing_data()
{
    QTest::addColumn<bool>("withCatalogue");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty script") << true << "" << "未获取到合成信息";
    QTest::newRow("only line breaks and commas") << true << "\n，\n\n" << "未获取到合成信息";
    QTest::newRow("no catalogue, untagged text") << false << "你好" << "请先选择配音员";
    QTest::newRow("no catalogue, text after an end marker") << false << "「晓晓」你「」好" << "请先选择配音员";
}

void TestPageJob::refusedJobCreatesAndClearsNothing()
{
    QFETCH(bool, withCatalogue);
    QFETCH(QString, script);
    QFETCH(QString, message);

    OPEN_PAGE(withCatalogue);
    // A try-listen job before: its folder would be cleared by a job that goes ahead.
    setScript("「晓晓」之前「」");
    RUN_JOB(tryPlay());
    QCOMPARE(m_page->lastJobMode(), 0);
    const QStringList before = jobFolders();
    QCOMPARE(before.size(), 1);
    m_harness.service.clearRequests();

    setScript(script);
    RUN_JOB(resultBtn());

    QCOMPARE(jobBoxes(), (Boxes{{"操作错误", message}}));
    QCOMPARE(jobFolders(), before);
    QVERIFY(isFile("audio/" + before.first() + "/output.mp3"));
    QCOMPARE(m_harness.service.requestCount(), 0);
    QVERIFY(!m_page->busyOverlay());
    QCOMPARE(m_page->lastJobMode(), 0);
    QVERIFY(m_harness.opened.urls.isEmpty());
}

void TestPageJob::taggedScriptRendersWithoutCatalogue()
{
    OPEN_PAGE(false);
    setScript("「晓晓」第一段「」\n「云溪」第二段「」\n");
    RUN_JOB(resultBtn());

    QCOMPARE(jobBoxes(), Boxes{});
    const auto segments = requests("/ttsCommunicate");
    QCOMPARE(segments.size(), 2);
    QStringList voices{segments[0].formValue("voice"), segments[1].formValue("voice")};
    voices.sort();
    QCOMPARE(voices, (QStringList{xiaoxiao, yunxi}));
    QCOMPARE(m_harness.opened.urls.size(), 1);
}

void TestPageJob::oneSegmentOpensTheFolder()
{
    OPEN_PAGE(true);
    child<QComboBox>("voicesSelect")->setCurrentIndex(1); // 云溪 男声
    child<QSpinBox>("rateBox")->setValue(-25);
    child<QSpinBox>("volumeBox")->setValue(10);
    setScript("你好\n\n世界");
    RUN_JOB(resultBtn());

    QCOMPARE(jobBoxes(), Boxes{});
    const QString folder = m_page->jobFolderPath();
    const QStringList folders = jobFolders();
    QCOMPARE(folders.size(), 1);
    QCOMPARE(folder, QDir::currentPath() + "/audio/" + folders.first() + "/");
    bool numeric = false;
    folders.first().toLongLong(&numeric);
    QVERIFY(numeric);

    const auto segments = requests("/ttsCommunicate");
    QCOMPARE(segments.size(), 1);
    const QList<QPair<QString, QString>> fields{
        {"text", "你好，世界"},
        {"voice", yunxi},
        {"rates", "-25%"},
        {"volumes", "+10%"},
        {"write_media", folder + "1.mp3"},
        {"write_subtitles", folder + "1.srt"},
    };
    QCOMPARE(segments.first().formFields(), fields);
    QVERIFY(segments.first().body.contains("&volumes=%2B10%25&"));

    const auto joins = requests("/audioCombined");
    QCOMPARE(joins.size(), 1);
    const QList<QPair<QString, QString>> joinFields{{"audio", folder + "1.mp3?"}, {"path", folder}, {"dura", "0"}};
    QCOMPARE(joins.first().formFields(), joinFields);

    QVERIFY(!isFile(folder + "1.mp3"));
    QVERIFY(isFile(folder + "1.srt"));
    QVERIFY(isFile(folder + "output.mp3"));
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QCOMPARE(m_page->lastJobMode(), 1);
    QVERIFY(!m_page->busyOverlay());
    // Result mode leaves the player alone.
    QCOMPARE(m_page->mediaPlaylist()->mediaCount(), 0);
}

void TestPageJob::failedSegmentsAreCountedAndStillJoined()
{
    OPEN_PAGE(true);
    m_harness.service.setResponder([](const FakeService::Request &request) {
        if (request.path == "/ttsCommunicate")
            return FakeService::envelope(0, QStringLiteral("声音不存在"));
        if (request.path == "/audioCombined")
            return FakeService::envelope(0, QStringLiteral("没有可合并的音频"));
        return PageHarness::usualReply(request);
    });
    setScript("一「晓晓」二「」三");
    RUN_JOB(tryPlay());

    QCOMPARE(jobBoxes(), (Boxes{{"合成异常", "部分配音合成失败：3\n第1段「一」：声音不存在\n第2段「二」：声音不存在\n"
                                             "第3段「三」：声音不存在"},
                                {"合成结果", "没有可合并的音频"}}));
    const QString folder = m_page->jobFolderPath();
    const auto joins = requests("/audioCombined");
    QCOMPARE(joins.size(), 1);
    QCOMPARE(joins.first().formValue("audio"), folder + "1.mp3?" + folder + "2.mp3?" + folder + "3.mp3?");
    QCOMPARE(m_page->lastJobMode(), 1);
    QCOMPARE(m_page->mediaPlaylist()->mediaCount(), 0);
    QVERIFY(!m_page->busyOverlay());
}

void TestPageJob::brokenRepliesAreCountedAndNextJobWorks_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("everything"); // every request, or only segment "二"
    QTest::addColumn<Boxes>("boxes");

    const QString transport = QStringLiteral("语音片段组合接口网络接口请求错误，代码：");
    const QString segment = QStringLiteral("语音合成接口网络接口请求错误，代码：");
    const QString status500 = segment + QString::number(int(QNetworkReply::InternalServerError));
    const QString dropped = segment + QString::number(int(QNetworkReply::RemoteHostClosedError));
    // The warning names each failed passage with the reason it got.
    const auto failed = [](const QStringList &texts, const QString &reason) {
        QString text = QStringLiteral("部分配音合成失败：%1").arg(texts.size());
        for (int i = 0; i < texts.size(); ++i)
            text += QStringLiteral("\n第%1段「%2」：%3").arg(texts.size() == 1 ? 2 : i + 1).arg(texts[i], reason);
        return Box{"合成异常", text};
    };
    const QStringList all{"一", "二", "三"};
    QTest::newRow("HTTP 500 for one segment") << "500" << false << Boxes{failed({"二"}, status500)};
    QTest::newRow("dropped connection for one segment") << "drop" << false << Boxes{failed({"二"}, dropped)};
    QTest::newRow("not JSON for one segment") << "html" << false << Boxes{failed({"二"}, "合成结果")};
    QTest::newRow("HTTP 500 for everything")
        << "500" << true
        << Boxes{failed(all, status500), {"接口错误", transport + QString::number(int(QNetworkReply::InternalServerError))}};
    QTest::newRow("dropped connections for everything")
        << "drop" << true
        << Boxes{failed(all, dropped), {"接口错误", transport + QString::number(int(QNetworkReply::RemoteHostClosedError))}};
    QTest::newRow("not JSON for everything")
        << "html" << true << Boxes{failed(all, "合成结果"), {"合成结果", "语音服务返回的结果无法识别"}};
}

void TestPageJob::brokenRepliesAreCountedAndNextJobWorks()
{
    QFETCH(QString, fault);
    QFETCH(bool, everything);
    QFETCH(Boxes, boxes);

    OPEN_PAGE(true);
    m_harness.service.setResponder([fault, everything](const FakeService::Request &request) {
        if (request.path == "/getVoices" || (!everything && request.formValue("text") != "二"))
            return PageHarness::usualReply(request);
        return FakeService::broken(fault);
    });
    setScript("一「云溪」二「」三");
    RUN_JOB(tryPlay());

    QCOMPARE(jobBoxes(), boxes);
    QVERIFY(!m_page->busyOverlay());
    QVERIFY(m_harness.opened.urls.isEmpty());
    // Only a joined output is played, and only when the join succeeded.
    QCOMPARE(m_page->mediaPlaylist()->mediaCount(), everything ? 0 : 1);
    QCOMPARE(m_page->lastJobMode(), everything ? 1 : 0);

    // The service is mended: the same page renders the next script.
    m_harness.service.setResponder(PageHarness::usualReply);
    m_harness.markBoxes();
    setScript("下一次「晓晓」好了「」");
    RUN_JOB(resultBtn());
    QCOMPARE(jobBoxes(), Boxes{});
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(m_page->jobFolderPath())});
    QVERIFY(isFile(m_page->jobFolderPath() + "output.mp3"));
}

void TestPageJob::audioFollowsTheScript()
{
    OPEN_PAGE(true);
    // The early segments answer last.
    m_harness.service.setResponder([](const FakeService::Request &request) {
        FakeService::Reply reply = PageHarness::usualReply(request);
        const QString text = request.formValue("text");
        if (text == "一")
            reply.delayMs = 900;
        else if (text == "二")
            reply.delayMs = 450;
        return reply;
    });
    child<QSpinBox>("spinBox")->setValue(1500);
    setScript("一「云溪」二「」三");
    RUN_JOB(resultBtn());

    QCOMPARE(jobBoxes(), Boxes{});
    const QString folder = m_page->jobFolderPath();
    QStringList texts;
    for (const auto &request : requests("/ttsCommunicate"))
        texts.append(request.formValue("write_media").mid(folder.size()) + "=" + request.formValue("text"));
    texts.sort();
    QCOMPARE(texts, (QStringList{"1.mp3=一", "2.mp3=二", "3.mp3=三"}));

    const auto joins = requests("/audioCombined");
    QCOMPARE(joins.size(), 1);
    QCOMPARE(joins.first().formValue("audio"), folder + "1.mp3?" + folder + "2.mp3?" + folder + "3.mp3?");
    QCOMPARE(joins.first().formValue("dura"), QString("1500"));
    for (const char *name : {"1", "2", "3"}) {
        QVERIFY(!isFile(folder + name + ".mp3"));
        QVERIFY(isFile(folder + name + ".srt"));
    }
}

void TestPageJob::tryListenPlaysAndNextJobClearsItsFolder()
{
    OPEN_PAGE(true);
    setScript("第一次");
    RUN_JOB(tryPlay());

    QCOMPARE(jobBoxes(), Boxes{});
    const QString first = m_page->jobFolderPath();
    QCOMPARE(m_page->lastJobMode(), 0);
    QVERIFY(m_harness.opened.urls.isEmpty());
    QMediaPlaylist *playlist = m_page->mediaPlaylist();
    QCOMPARE(m_page->mediaPlayer()->playlist(), playlist);
    QCOMPARE(playlist->mediaCount(), 1);
    QCOMPARE(playlist->media(0).request().url(), QUrl::fromLocalFile(first + "output.mp3"));
    // Hidden files go too, or the folder could not be removed.
    writeFile(first + ".hidden", "x");

    setScript("第二次");
    RUN_JOB(tryPlay());

    QCOMPARE(jobBoxes(), Boxes{});
    const QString second = m_page->jobFolderPath();
    QVERIFY(second != first);
    QVERIFY(!QFileInfo::exists(first));
    QCOMPARE(jobFolders().size(), 1);
    QVERIFY(isFile(second + "output.mp3"));
    QCOMPARE(playlist->mediaCount(), 1);
    QCOMPARE(playlist->media(0).request().url(), QUrl::fromLocalFile(second + "output.mp3"));
}

void TestPageJob::resultFolderIsLeftAlone_data()
{
    QTest::addColumn<bool>("nextIsTryListen");
    QTest::newRow("then try-listen") << true;
    QTest::newRow("then result") << false;
}

void TestPageJob::resultFolderIsLeftAlone()
{
    QFETCH(bool, nextIsTryListen);

    OPEN_PAGE(true);
    setScript("结果「晓晓」保留「」");
    RUN_JOB(resultBtn());
    const QString kept = m_page->jobFolderPath();
    const QStringList keptFiles = QDir(kept).entryList(QDir::Files, QDir::Name);
    QCOMPARE(keptFiles, (QStringList{"1.srt", "2.srt", "output.mp3", "output.srt"}));

    setScript("下一次");
    RUN_JOB(nextIsTryListen ? tryPlay() : resultBtn());
    setScript("再下一次");
    RUN_JOB(resultBtn());

    QCOMPARE(jobBoxes(), Boxes{});
    QCOMPARE(QDir(kept).entryList(QDir::Files, QDir::Name), keptFiles);
    // The try-listen folder in between was cleared by the last job; result folders stay.
    QCOMPARE(jobFolders().size(), nextIsTryListen ? 2 : 3);
}

void TestPageJob::failedCombinationKeepsLastMode_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<Box>("box");

    const QString transport = QStringLiteral("语音片段组合接口网络接口请求错误，代码：");
    QTest::newRow("service refuses") << 200 << false << Box{"合成结果", "拼接失败"};
    QTest::newRow("HTTP error status")
        << 500 << false << Box{"接口错误", transport + QString::number(int(QNetworkReply::InternalServerError))};
    QTest::newRow("connection dropped")
        << 200 << true << Box{"接口错误", transport + QString::number(int(QNetworkReply::RemoteHostClosedError))};
}

void TestPageJob::failedCombinationKeepsLastMode()
{
    QFETCH(int, status);
    QFETCH(bool, drop);
    QFETCH(Box, box);

    OPEN_PAGE(true);
    setScript("试听");
    RUN_JOB(tryPlay());
    QCOMPARE(m_page->lastJobMode(), 0);
    const QString listened = m_page->jobFolderPath();

    m_harness.service.setResponder([status, drop](const FakeService::Request &request) {
        if (request.path != "/audioCombined")
            return PageHarness::usualReply(request);
        FakeService::Reply reply = FakeService::envelope(0, QStringLiteral("拼接失败"));
        reply.status = status;
        reply.dropConnection = drop;
        return reply;
    });
    setScript("合成「云溪」失败「」");
    RUN_JOB(resultBtn());

    QCOMPARE(jobBoxes(), Boxes{box});
    QCOMPARE(m_page->lastJobMode(), 0);
    QVERIFY(m_harness.opened.urls.isEmpty());
    QVERIFY(!m_page->busyOverlay());
    const QString failed = m_page->jobFolderPath();
    QVERIFY(!QFileInfo::exists(listened));
    QCOMPARE(QDir(failed).entryList(QDir::Files, QDir::Name), (QStringList{"1.srt", "2.srt"}));

    // Last job mode is still try-listen, so the next job clears the failed folder.
    m_harness.service.setResponder(PageHarness::usualReply);
    setScript("再来");
    RUN_JOB(resultBtn());
    QCOMPARE(jobBoxes(), Boxes{box});
    QVERIFY(!QFileInfo::exists(failed));
    QCOMPARE(m_page->lastJobMode(), 1);
    QCOMPARE(m_harness.opened.urls.size(), 1);
}

void TestPageJob::secondStartWhileRunningIsIgnored()
{
    OPEN_PAGE(true);
    m_harness.service.setResponder([](const FakeService::Request &request) {
        FakeService::Reply reply = PageHarness::usualReply(request);
        if (request.path == "/ttsCommunicate")
            reply.delayMs = 400;
        return reply;
    });
    setScript("一「晓晓」二「」");
    QTest::mouseClick(resultBtn(), Qt::LeftButton);
    QVERIFY(m_page->isJobRunning());
    QVERIFY(m_page->busyOverlay());
    // The overlay keeps the mouse off, but a focused button still takes keys.
    QTest::keyClick(tryPlay(), Qt::Key_Space);
    QTest::keyClick(resultBtn(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);

    QCOMPARE(jobBoxes(), Boxes{});
    QCOMPARE(jobFolders().size(), 1);
    QCOMPARE(requests("/ttsCommunicate").size(), 2);
    QCOMPARE(requests("/audioCombined").size(), 1);
    QCOMPARE(m_harness.opened.urls.size(), 1);
    QCOMPARE(m_page->lastJobMode(), 1);
    QCOMPARE(m_page->mediaPlaylist()->mediaCount(), 0);

    // Once it is over, the same key starts a job.
    QTest::keyClick(tryPlay(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    QCOMPARE(m_page->lastJobMode(), 0);
    QCOMPARE(requests("/audioCombined").size(), 2);
}

void TestPageJob::loaderEndingMidJobKeepsTheJobCovered_data()
{
    QTest::addColumn<QByteArray>("voices");
    QTest::addColumn<int>("boxes");

    // The same three voices as the cache: loading simply ends.
    QTest::newRow("list unchanged") << QByteArray(R"([{"gender":"Female","locale":"zh-CN","name":"zh-CN-XiaoxiaoNeural"},)"
                                                  R"({"gender":"Male","locale":"zh-CN","name":"zh-CN-YunxiNeural"},)"
                                                  R"({"gender":"Female","locale":"en-US","name":"en-US-AriaNeural"}])")
                                    << 0;
    QTest::newRow("service refuses") << QByteArray() << 1;
}

void TestPageJob::loaderEndingMidJobKeepsTheJobCovered()
{
    QFETCH(QByteArray, voices);
    QFETCH(int, boxes);

    writeVoiceCache();
    m_harness.service.setResponder([voices](const FakeService::Request &request) {
        FakeService::Reply reply = PageHarness::usualReply(request);
        if (request.path == "/getVoices") {
            if (!voices.isEmpty())
                reply = FakeService::ok(voices);
            reply.delayMs = 600;
        } else if (request.path == "/ttsCommunicate") {
            reply.delayMs = 2000;
        }
        return reply;
    });
    m_page = new ttsMain(m_harness.urls());
    m_harness.watch(m_page);
    m_page->show();
    // The choosers fill from the cache before the service has answered.
    QTRY_COMPARE(child<QComboBox>("voicesSelect")->count(), 2);
    setScript("你好");
    QTest::mouseClick(resultBtn(), Qt::LeftButton);
    QVERIFY(m_page->isJobRunning());

    QTRY_VERIFY(requests("/getVoices").size() == 1);
    // Until the loader's answer has arrived and been handled.
    QVERIFY2(m_harness.settle(m_page), "the page's catalogue loader never finished");
    QCOMPARE(m_harness.newBoxes().size(), boxes);
    QVERIFY(m_page->isJobRunning());
    QVERIFY(m_page->busyOverlay());

    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    QVERIFY(!m_page->busyOverlay());
    QCOMPARE(m_harness.opened.urls.size(), 1);
}

// The overlay's line counts the passages that have reported, up to all of
// them, then says the join is on.
void TestPageJob::progressCountsUpToTheTotal()
{
    OPEN_PAGE(true);
    m_harness.service.setResponder([](const FakeService::Request &request) {
        FakeService::Reply reply = PageHarness::usualReply(request);
        if (request.path == "/ttsCommunicate")
            reply.delayMs = 50 + (request.formValue("text").remove(QRegularExpression("\\D")).toInt() * 97) % 500;
        return reply;
    });
    QString script;
    for (int i = 1; i <= 12; ++i)
        script += QStringLiteral("「%1」第%2段「」\n").arg(i % 2 ? "晓晓" : "云溪").arg(i);
    setScript(script);

    QTest::mouseClick(resultBtn(), Qt::LeftButton);
    QVERIFY(m_page->isJobRunning());
    QLabel *tips = overlayChild<QLabel>("tips");
    QStringList shown{tips->text()};
    QString atJoin;
    SynthesisJob *job = m_page->synthesisJob();
    // Connected after the page's own handlers, so the label has changed already.
    connect(job, &SynthesisJob::progress, this, [&] { shown.append(tips->text()); });
    connect(job, &SynthesisJob::joining, this, [&] { atJoin = tips->text(); });
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);

    QCOMPARE(jobBoxes(), Boxes{});
    QCOMPARE(shown.first(), QString("多线程合成中，请稍等（0/12）"));
    QCOMPARE(shown.last(), QString("多线程合成中，请稍等（12/12）"));
    const QRegularExpression form("^多线程合成中，请稍等（(\\d+)/12）$");
    int previous = -1;
    for (const QString &text : qAsConst(shown)) {
        const QRegularExpressionMatch match = form.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        QVERIFY2(match.captured(1).toInt() >= previous, qPrintable(shown.join(" ")));
        previous = match.captured(1).toInt();
    }
    // It did count on the way, not only jump to the end.
    QVERIFY2(shown.size() >= 3, qPrintable(shown.join(" ")));
    QCOMPARE(atJoin, QString("正在组合配音文件"));
    QCOMPARE(m_harness.opened.urls.size(), 1);
}

// The overlay's button stops a job at once: nothing joined, no box, the
// folder gone, and the page ready for the next job.
void TestPageJob::cancelEndsTheJobAtOnce()
{
    OPEN_PAGE(true);
    m_harness.service.setResponder([](const FakeService::Request &request) {
        FakeService::Reply reply = PageHarness::usualReply(request);
        if (request.path == "/ttsCommunicate" && request.formValue("text") != "一")
            reply.delayMs = 600000;
        return reply;
    });
    setScript("「晓晓」一「」「云溪」二「」「晓晓」三「」");
    QTest::mouseClick(resultBtn(), Qt::LeftButton);
    QVERIFY(m_page->isJobRunning());
    QPushButton *cancel = overlayChild<QPushButton>("cancelBtn");
    QVERIFY(cancel->isVisible());
    QVERIFY(cancel->isEnabled());
    QCOMPARE(cancel->text(), QString("取消等待"));
    const QString folder = m_page->jobFolderPath();
    QTRY_COMPARE(requests("/ttsCommunicate").size(), 3);
    QTRY_COMPARE(m_page->synthesisJob()->passagesDone(), 1);
    QVERIFY(isFile(folder + "1.mp3"));

    QTest::mouseClick(cancel, Qt::LeftButton);
    QTRY_VERIFY(!m_page->busyOverlay());
    QVERIFY(!m_page->isJobRunning());
    QVERIFY(!QFileInfo::exists(folder));
    QCOMPARE(jobBoxes(), Boxes{});
    QVERIFY(m_harness.opened.urls.isEmpty());
    QCOMPARE(requests("/audioCombined").size(), 0);
    QVERIFY(resultBtn()->isEnabled());

    // The next job starts at once and goes through.
    m_harness.service.setResponder(PageHarness::usualReply);
    setScript("再来一次");
    RUN_JOB(resultBtn());
    QCOMPARE(jobBoxes(), Boxes{});
    QCOMPARE(requests("/audioCombined").size(), 1);
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(m_page->jobFolderPath())});
    QVERIFY(isFile(m_page->jobFolderPath() + "output.mp3"));
    // Nothing of the cancelled job came back meanwhile.
    QVERIFY(!QFileInfo::exists(folder));
}

// A service that takes every request and never answers: the job still ends,
// with the reason, once its bounds (shortened here) have passed.
void TestPageJob::silentServiceEndsTheJobWithTheReason()
{
    qputenv("LUMO_SEGMENT_TIMEOUT_MS", "200");
    qputenv("LUMO_JOIN_TIMEOUT_MS", "200");
    OPEN_PAGE(true);
    m_harness.service.setResponder([](const FakeService::Request &request) {
        FakeService::Reply reply = PageHarness::usualReply(request);
        reply.delayMs = 600000;
        return reply;
    });
    setScript("一「云溪」二「」");
    RUN_JOB(resultBtn());

    QCOMPARE(jobBoxes(), (Boxes{{"合成异常", "部分配音合成失败：2\n第1段「一」：语音服务无响应\n第2段「二」：语音服务无响应"},
                                {"接口错误", "语音服务无响应"}}));
    QVERIFY(!m_page->busyOverlay());
    QVERIFY(m_harness.opened.urls.isEmpty());
    // Each passage was given one more try.
    QCOMPARE(requests("/ttsCommunicate").size(), 4);
}

// The first catalogue fetch keeps the overlay's button hidden: restarting
// the program depends on that fetch finishing.
void TestPageJob::catalogueOverlayCannotBeCancelled()
{
    m_harness.service.setResponder([](const FakeService::Request &request) {
        FakeService::Reply reply = PageHarness::usualReply(request);
        reply.delayMs = 800;
        return reply;
    });
    m_page = new ttsMain(m_harness.urls());
    m_page->show();
    QTRY_VERIFY(m_page->busyOverlay());
    QPushButton *cancel = overlayChild<QPushButton>("cancelBtn");
    QVERIFY(!cancel->isVisible());
    QVERIFY(!cancel->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(m_harness.newBoxes().size(), 1, 20000);
    QTRY_VERIFY(!m_page->busyOverlay());
}

QTEST_MAIN(TestPageJob)
#include "test_pagejob.moc"
