#include "AppSettings.h"
#include "Mp3Duration.h"
#include "PageHarness.h"
#include "RealService.h"
#include "TTSText.h"
#include "TestSupport.h"
#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QJsonObject>
#include <QMediaPlaylist>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QtTest>

// Both buttons, from the page to the files, with the real speech service
// running in this test's working folder.
class TestSynthesisService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void resultJoinsSegmentsWithThePause();
    void tryListenPlaysTheOutput();

private:
    void renderReference(const QString &text, const QString &voice, const QString &name);
    template<typename T> T *child(const char *name) const { return m_page->findChild<T *>(name); }

    RealService m_server;
    QString m_chooserVoice;
    QString m_otherVoice;
    PageHarness m_harness;
    ttsMain *m_page = nullptr;
};

void TestSynthesisService::initTestCase()
{
    // A build with the service has it in place: a missing one is a failure.
    QVERIFY2(RealService::isBuilt(), qPrintable("no speech service at " + TestSupport::serverExecutable()));

    TestSupport::clearWorkingFolder();
    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
    QVERIFY(m_server.voices().size() >= 2);

    // The chooser shows the catalogue's current group first voice; the tag
    // names another voice by its identifier.
    VoiceCatalogue::instance().reset();
    VoiceCatalogue::instance().groupVoices(m_server.voices());
    const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
    QVERIFY(!group.isEmpty());
    m_chooserVoice = VoiceCatalogue::instance().currentVoice(0);
    VoiceCatalogue::instance().reset();
    m_otherVoice = m_server.otherVoice(m_chooserVoice);
    QVERIFY(!m_otherVoice.isEmpty());

    // The cache holds exactly the service's list, so the page's loader fills
    // the choosers from it and then finds nothing to change.
    QVERIFY(m_server.writeVoiceCache());
    m_harness.catchBoxesAndFolders();
}

void TestSynthesisService::cleanupTestCase()
{
    m_server.stop();
}

void TestSynthesisService::init()
{
    m_harness.opened.urls.clear();
    m_page = m_harness.newPage(m_server.urls());
    QVERIFY2(m_page, "the page's catalogue loader never finished");
    QVERIFY(child<QComboBox>("voicesSelect")->count() > 0);
}

void TestSynthesisService::cleanup()
{
    if (m_page)
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);
    delete m_page;
    m_page = nullptr;
}

// The same segment rendered on its own, for its length.
void TestSynthesisService::renderReference(const QString &text, const QString &voice, const QString &name)
{
    QString why;
    QVERIFY2(m_server.renderReference(text, voice, name, QString(), &why), qPrintable(why));
}

void TestSynthesisService::resultJoinsSegmentsWithThePause()
{
    const QString first = "Good morning, this is the first voice of the script.";
    const QString second = "And here the second voice reads its own passage.";
    child<QSpinBox>("spinBox")->setValue(700);
    child<TTSText>("textEdit")->setPlainText(first + "「" + m_otherVoice + "」" + second + "「」");
    const int boxesBefore = m_harness.boxes.count();

    QTest::mouseClick(child<QPushButton>("resultBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);

    QCOMPARE(m_harness.boxes.count(), boxesBefore);
    const QString folder = m_page->jobFolderPath();
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name),
             (QStringList{"1.srt", "2.srt", "output.mp3", "output.srt"}));
    for (const char *srt : {"1.srt", "2.srt", "output.srt"})
        QVERIFY2(QFileInfo(folder + srt).size() > 0, srt);

    renderReference(first, m_chooserVoice, "1");
    renderReference(second, m_otherVoice, "2");
    const double one = mp3Seconds(audioDir + "reference/1.mp3");
    const double two = mp3Seconds(audioDir + "reference/2.mp3");
    const double output = mp3Seconds(folder + "output.mp3");
    QVERIFY(one > 1.0);
    QVERIFY(two > 1.0);
    // Joining works in whole MP3 frames: allow a few of them.
    const double expected = one + two + 0.7;
    QVERIFY2(qAbs(output - expected) < 0.12,
             qPrintable(QString("output %1 s, segments %2 s + %3 s + pause 0.7 s").arg(output).arg(one).arg(two)));
}

void TestSynthesisService::tryListenPlaysTheOutput()
{
    QMediaPlayer *player = m_page->mediaPlayer();
    QSignalSpy states(player, &QMediaPlayer::stateChanged);
    child<TTSText>("textEdit")->setPlainText("A short sentence to listen to before saving it.");
    const int boxesBefore = m_harness.boxes.count();

    QTest::mouseClick(child<QPushButton>("tryPlay"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);

    QCOMPARE(m_harness.boxes.count(), boxesBefore);
    QVERIFY(m_harness.opened.urls.isEmpty());
    const QString output = m_page->jobFolderPath() + "output.mp3";
    QCOMPARE(m_page->mediaPlaylist()->media(0).request().url(), QUrl::fromLocalFile(output));
    const auto reachedPlaying = [&states] {
        for (const QList<QVariant> &arguments : qAsConst(states)) {
            if (arguments.at(0).value<QMediaPlayer::State>() == QMediaPlayer::PlayingState)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(reachedPlaying(), 20000);

    const double seconds = mp3Seconds(output);
    QVERIFY(seconds > 1.0);
    QSlider *slider = child<QSlider>("jinduTiao");
    QTRY_VERIFY_WITH_TIMEOUT(player->duration() > 0, 20000);
    QCOMPARE(slider->maximum(), int(player->duration()));
    QVERIFY2(qAbs(player->duration() / 1000.0 - seconds) < 0.12,
             qPrintable(QString("player %1 ms, file %2 s").arg(player->duration()).arg(seconds)));
}

QTEST_MAIN(TestSynthesisService)
#include "test_synthesis_service.moc"
