#include "AppSettings.h"
#include "Qajax.h"
#include "FakeService.h"
#include "PageHarness.h"
#include "RealService.h"
#include "ServiceWatchdog.h"
#include "SkipOrFail.h"
#include "TTSText.h"
#include "TestSupport.h"
#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QJsonObject>
#include <QMediaPlaylist>
#include <QNetworkReply>
#include <QPushButton>
#include <QtTest>

#include <csignal>

#include <sys/mount.h>

namespace {

const QString folderUnwritable = QStringLiteral("无法创建配音文件夹，请检查 audio 文件夹是否可以写入");

QString script(const QString &voice, const QStringList &texts)
{
    QString text;
    for (const QString &line : texts)
        text += QStringLiteral("「%1」%2「」\n").arg(voice, line);
    return text;
}

QStringList lines(const QString &pattern, int count)
{
    QStringList texts;
    for (int i = 1; i <= count; ++i)
        texts.append(pattern.arg(i));
    return texts;
}

// A small file system of its own on the audio folder; false where mounting
// is not allowed (then the test skips, or fails under CI).
bool mountTmpfs(const QByteArray &options, unsigned long flags = 0)
{
    QDir().mkpath("audio");
    return ::mount("tmpfs", "audio", "tmpfs", flags, options.constData()) == 0;
}

void unmountAudio()
{
    ::umount2("audio", MNT_DETACH);
}

qint64 pages(qint64 bytes)
{
    return (bytes + 4095) / 4096;
}

} // namespace

// What the page shows and keeps when the real service or the working folder
// fails in the middle of a job, and that the next job works once it is mended.
class TestSynthesisFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void serviceKilledHalfway();
    void serviceKilledHalfwayIsRestartedByItsWatchdog();
    void unwritableAudioFolderStopsTheJob_data();
    void unwritableAudioFolderStopsTheJob();
    void diskFillsDuringTheJob_data();
    void diskFillsDuringTheJob();

private:
    void runJob(const QStringList &texts);
    void checkIdleWithoutOutput();
    void checkNextJobWorks();
    Boxes jobBoxes() const;

    RealService m_service;
    QString m_voice;
    PageHarness m_harness;
    ttsMain *m_page = nullptr;
};

void TestSynthesisFaults::initTestCase()
{
    // A build with the service has it in place: a missing one is a failure.
    QVERIFY2(RealService::isBuilt(), qPrintable("no speech service at " + TestSupport::serverExecutable()));
    unmountAudio(); // left over by an interrupted run
    TestSupport::clearWorkingFolder();
    QString why;
    QVERIFY2(m_service.start(&why), qPrintable(why));
    QVERIFY(m_service.writeVoiceCache());
    for (const QJsonValue &value : m_service.voices()) {
        if (value.toObject().value("locale").toString().startsWith("en")) {
            m_voice = value.toObject().value("name").toString();
            break;
        }
    }
    QVERIFY(!m_voice.isEmpty());
    m_harness.catchBoxesAndFolders();
}

void TestSynthesisFaults::cleanupTestCase()
{
    unmountAudio();
}

void TestSynthesisFaults::init()
{
    if (!m_service.isRunning()) {
        QString why;
        QVERIFY2(m_service.start(&why), qPrintable(why));
    }
    m_harness.opened.urls.clear();
    m_page = m_harness.newPage(m_service.urls());
    QVERIFY2(m_page, "the page's catalogue loader never finished");
    QVERIFY(m_page->findChild<QComboBox *>("voicesSelect")->count() > 0);
}

void TestSynthesisFaults::cleanup()
{
    qunsetenv("LUMO_SEGMENT_TIMEOUT_MS");
    if (m_page)
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);
    delete m_page;
    m_page = nullptr;
    unmountAudio();
    QFile::remove("audio"); // a file standing in for the folder
}

void TestSynthesisFaults::runJob(const QStringList &texts)
{
    m_page->findChild<TTSText *>("textEdit")->setPlainText(script(m_voice, texts));
    QTest::mouseClick(m_page->findChild<QPushButton *>("resultBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);
}

Boxes TestSynthesisFaults::jobBoxes() const
{
    return m_harness.newBoxes();
}

// Nothing delivered, and the page ready for the next job.
void TestSynthesisFaults::checkIdleWithoutOutput()
{
    QVERIFY(m_harness.opened.urls.isEmpty());
    QCOMPARE(m_page->mediaPlaylist()->mediaCount(), 0);
    QVERIFY(!m_page->busyOverlay());
    QVERIFY(!m_page->isJobRunning());
    QCOMPARE(m_page->lastJobMode(), 1);
    QVERIFY(!QFileInfo::exists(m_page->jobFolderPath() + "output.mp3"));
    QVERIFY(m_page->findChild<QPushButton *>("resultBtn")->isEnabled());
}

void TestSynthesisFaults::checkNextJobWorks()
{
    if (!m_service.isRunning()) {
        QString why;
        QVERIFY2(m_service.start(&why), qPrintable(why));
    }
    m_harness.markBoxes();
    runJob({"Once mended, this works again.", "And so does this."});
    QCOMPARE(jobBoxes(), Boxes{});
    const QString folder = m_page->jobFolderPath();
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QVERIFY(QFileInfo(folder + "output.mp3").size() > 0);
}

void TestSynthesisFaults::serviceKilledHalfway()
{
    // Nothing restarts this service: the retries wait a (shortened) bound for
    // it, then the passages still due count as failed.
    qputenv("LUMO_SEGMENT_TIMEOUT_MS", "5000");
    const int count = 200;
    m_page->findChild<TTSText *>("textEdit")->setPlainText(script(m_voice, lines("Killed job, line %1.", count)));
    QTest::mouseClick(m_page->findChild<QPushButton *>("resultBtn"), Qt::LeftButton);
    const QString folder = m_page->jobFolderPath();
    QTRY_VERIFY_WITH_TIMEOUT(QDir(folder).entryList({"*.srt"}, QDir::Files).size() >= 20, 60000);
    m_service.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 60000);

    const Boxes boxes = jobBoxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0].first, QString("合成异常"));
    QVERIFY2(boxes[0].second.startsWith("部分配音合成失败："), qPrintable(boxes[0].second));
    const QStringList told = boxes[0].second.split('\n');
    const int failed = told.first().mid(QString("部分配音合成失败：").size()).toInt();
    QVERIFY2(failed > 0 && failed < count, qPrintable(boxes[0].second));
    // The first five are named, with the service's (missing) answer.
    QCOMPARE(told.size(), 1 + 5 + 1);
    QVERIFY2(told[1].startsWith("第") && told[1].contains("「Killed job, …」"), qPrintable(told[1]));
    QVERIFY2(told[1].endsWith("语音合成接口网络接口请求错误，代码："
                              + QString::number(int(QNetworkReply::ConnectionRefusedError))),
             qPrintable(told[1]));
    QCOMPARE(told.last(), QString("等"));
    qInfo("service killed mid-job: %d of %d segments failed", failed, count);
    QCOMPARE(boxes[1], Box("接口错误", "语音片段组合接口网络接口请求错误，代码："
                                           + QString::number(int(QNetworkReply::ConnectionRefusedError))));
    checkIdleWithoutOutput();
    QCOMPARE(QDir(folder).entryList({"*.mp3"}, QDir::Files), QStringList{});

    checkNextJobWorks();
}

// The program's own service, under its watchdog, killed halfway through a
// job: it is started again, the passages it dropped are sent once more, and
// the job ends with every passage in the output and nothing to report.
void TestSynthesisFaults::serviceKilledHalfwayIsRestartedByItsWatchdog()
{
    const quint16 port = FakeService::freePort();
    ServiceWatchdog watchdog(TestSupport::serverExecutable(), {"--port", QString::number(port)});
    watchdog.start();
    const ServiceUrls urls = ServiceUrls::at(QStringLiteral("http://127.0.0.1:%1/").arg(port));
    const auto answers = [&urls] {
        Qajax ajax;
        ajax.get({}, urls.getVoices);
        return ajax.networkError() == 0 && ajax.code() == 1;
    };
    QVERIFY(QTest::qWaitFor(answers, 30000));

    // A page on this service instead of the shared one.
    delete m_page;
    m_page = m_harness.newPage(urls);
    QVERIFY2(m_page, "the page's catalogue loader never finished");
    QVERIFY(m_page->findChild<QComboBox *>("voicesSelect")->count() > 0);

    const int count = 80;
    m_page->findChild<TTSText *>("textEdit")->setPlainText(script(m_voice, lines("Restarted job, line %1.", count)));
    QTest::mouseClick(m_page->findChild<QPushButton *>("resultBtn"), Qt::LeftButton);
    const QString folder = m_page->jobFolderPath();
    QTRY_VERIFY_WITH_TIMEOUT(QDir(folder).entryList({"*.srt"}, QDir::Files).size() >= 10, 60000);
    const qint64 killed = watchdog.process()->processId();
    QCOMPARE(::kill(pid_t(killed), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);

    QCOMPARE(watchdog.restartCount(), 1);
    QVERIFY(watchdog.process()->processId() != killed);
    QCOMPARE(jobBoxes(), Boxes{});
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QVERIFY(QFileInfo(folder + "output.mp3").size() > 0);
    // Every passage is there: its subtitles beside the output.
    for (int i = 1; i <= count; ++i)
        QVERIFY2(QFileInfo::exists(folder + QString::number(i) + ".srt"), qPrintable(QString::number(i)));
    watchdog.stop();
}

void TestSynthesisFaults::unwritableAudioFolderStopsTheJob_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("a file in place of the folder") << "file";
    QTest::newRow("read-only file system") << "read-only";
}

void TestSynthesisFaults::unwritableAudioFolderStopsTheJob()
{
    QFETCH(QString, how);
    QDir("audio").removeRecursively();
    if (how == "file") {
        QFile file("audio");
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (!mountTmpfs("size=1m", MS_RDONLY)) {
        LUMO_SKIP_OR_FAIL("mounting a file system is not allowed here");
    }
    const QStringList foldersBefore = QDir("audio").entryList(QDir::Dirs | QDir::NoDotAndDotDot);

    runJob({"This cannot be written anywhere."});

    QCOMPARE(jobBoxes(), (Boxes{{"合成异常", folderUnwritable}}));
    checkIdleWithoutOutput();
    QCOMPARE(QDir("audio").entryList(QDir::Dirs | QDir::NoDotAndDotDot), foldersBefore);

    cleanup();
    init();
    checkNextJobWorks();
}

void TestSynthesisFaults::diskFillsDuringTheJob_data()
{
    QTest::addColumn<bool>("segmentsFit");
    QTest::newRow("full before the output is written") << true;
    QTest::newRow("full while segments are written") << false;
}

void TestSynthesisFaults::diskFillsDuringTheJob()
{
    QFETCH(bool, segmentsFit);
    const QStringList texts = lines("Line %1 of a job that runs out of disk space, with a few more words to fill it.", 6);

    // Each segment rendered on its own first, to size the disk: room for every
    // segment's files, but not for the joined output as well.
    qint64 segmentPages = 0;
    qint64 outputPages = 0;
    const QString reference = audioDir + "reference/";
    QVERIFY(QDir().mkpath(reference));
    for (int i = 0; i < texts.size(); ++i) {
        const QString base = reference + QString::number(i + 1);
        Qajax ajax;
        ajax.post({{"text", texts[i]}, {"voice", m_voice}, {"rates", "+0%"}, {"volumes", "+0%"},
                   {"write_media", base + ".mp3"}, {"write_subtitles", base + ".srt"}},
                  m_service.urls().ttsCommunicate);
        QVERIFY2(ajax.networkError() == 0 && ajax.code() == 1, qPrintable(ajax.msg()));
        const qint64 mp3 = QFileInfo(base + ".mp3").size();
        segmentPages += pages(mp3) + pages(QFileInfo(base + ".srt").size());
        outputPages += pages(mp3);
    }
    QDir(reference).removeRecursively();
    QVERIFY(outputPages >= 8);
    const qint64 size = segmentsFit ? segmentPages + outputPages / 2 : segmentPages / 2;
    if (!mountTmpfs("size=" + QByteArray::number(size * 4) + "k"))
        LUMO_SKIP_OR_FAIL("mounting a file system is not allowed here");

    runJob(texts);

    const Boxes boxes = jobBoxes();
    if (segmentsFit) {
        QCOMPARE(boxes, (Boxes{{"合成结果", "写入文件失败"}}));
    } else {
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].first, QString("合成异常"));
        QVERIFY2(boxes[0].second.startsWith("部分配音合成失败："), qPrintable(boxes[0].second));
        QCOMPARE(boxes[1].first, QString("合成结果"));
        qInfo("disk full mid-job: %s, then %s", qPrintable(boxes[0].second), qPrintable(boxes[1].second));
    }
    checkIdleWithoutOutput();
    // Nothing half-written is left in place of the output.
    const QString folder = m_page->jobFolderPath();
    QCOMPARE(QDir(folder).entryList({"output.*", ".output.*"}, QDir::Files | QDir::Hidden), QStringList{});

    cleanup();
    init();
    checkNextJobWorks();
}

QTEST_MAIN(TestSynthesisFaults)
#include "test_synthesis_faults.moc"
