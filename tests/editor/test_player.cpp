#include "PageHarness.h"
#include "TestSupport.h"
#include "ttsMain.h"

#include <QMediaPlaylist>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QtTest>

// The player strip of a real page, playing a real MP3 through the platform's
// media back end (GStreamer): the toggle, its icons and the progress slider.
class TestPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clickBeforeAnyMediaDoesNothing();
    void playPauseAndResumeFollowTheButton();
    void sliderMaximumBecomesTheDuration();

private:
    // What a try-listen job does with its output.
    void load(const QString &file);
    bool buttonShows(QStyle::StandardPixmap icon) const;

    PageHarness harness;
    ttsMain *page = nullptr;
    QPushButton *playButton = nullptr;
    QSlider *slider = nullptr;
};

namespace {
// espeak-ng saying two sentences, 6.13 s, 32 kbit/s mono.
const int fixtureMs = 6130;

QString fixture()
{
    return TestSupport::sourceDir() + QStringLiteral("/tests/editor/fixtures/short.mp3");
}
} // namespace

void TestPlayer::initTestCase()
{
    QVERIFY(QFileInfo::exists(fixture()));
    QVERIFY2(harness.start(), "the fake service could not listen");
}

void TestPlayer::init()
{
    page = harness.newPage();
    QVERIFY2(page, "the page's catalogue loader never finished");
    playButton = page->findChild<QPushButton *>(QStringLiteral("playButton"));
    slider = page->findChild<QSlider *>(QStringLiteral("jinduTiao"));
    QVERIFY(playButton && slider);
}

void TestPlayer::cleanup()
{
    delete page;
    page = nullptr;
    QCOMPARE(harness.newBoxes(), Boxes{});
}

void TestPlayer::load(const QString &file)
{
    QMediaPlaylist *playlist = page->mediaPlaylist();
    QMediaPlayer *player = page->mediaPlayer();
    playlist->clear();
    playlist->addMedia(QUrl::fromLocalFile(file));
    playlist->setCurrentIndex(0);
    player->setPlaylist(playlist);
    slider->setRange(0, int(player->duration()));
    player->play();
}

bool TestPlayer::buttonShows(QStyle::StandardPixmap icon) const
{
    // Each standardIcon() call makes a new QIcon, so compare what they draw.
    const QSize size = playButton->iconSize();
    return playButton->icon().pixmap(size).toImage() == page->style()->standardIcon(icon).pixmap(size).toImage();
}

void TestPlayer::clickBeforeAnyMediaDoesNothing()
{
    QMediaPlayer *player = page->mediaPlayer();
    QCOMPARE(player->mediaStatus(), QMediaPlayer::NoMedia);
    QVERIFY(buttonShows(QStyle::SP_MediaPlay));
    QSignalSpy stateChanges(player, &QMediaPlayer::stateChanged);

    QTest::mouseClick(playButton, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(player->state(), QMediaPlayer::StoppedState);
    QCOMPARE(player->mediaStatus(), QMediaPlayer::NoMedia);
    QCOMPARE(stateChanges.count(), 0);
    QVERIFY(buttonShows(QStyle::SP_MediaPlay));
}

void TestPlayer::playPauseAndResumeFollowTheButton()
{
    // The two icons must differ, or the checks below prove nothing.
    QVERIFY(!buttonShows(QStyle::SP_MediaPause));
    QMediaPlayer *player = page->mediaPlayer();
    load(fixture());
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), QMediaPlayer::PlayingState, 10000);
    QVERIFY2(player->error() == QMediaPlayer::NoError, qPrintable(player->errorString()));
    QTRY_VERIFY(buttonShows(QStyle::SP_MediaPause));

    QTest::mouseClick(playButton, Qt::LeftButton);
    QTRY_COMPARE(player->state(), QMediaPlayer::PausedState);
    QTRY_VERIFY(buttonShows(QStyle::SP_MediaPlay));

    QTest::mouseClick(playButton, Qt::LeftButton);
    QTRY_COMPARE(player->state(), QMediaPlayer::PlayingState);
    QTRY_VERIFY(buttonShows(QStyle::SP_MediaPause));
}

void TestPlayer::sliderMaximumBecomesTheDuration()
{
    QMediaPlayer *player = page->mediaPlayer();
    load(fixture());
    QTRY_VERIFY_WITH_TIMEOUT(player->duration() > 0, 10000);
    QTRY_COMPARE(slider->maximum(), int(player->duration()));
    QVERIFY2(qAbs(slider->maximum() - fixtureMs) < 300, qPrintable(QString::number(slider->maximum())));
    QCOMPARE(slider->minimum(), 0);
    // And the handle follows the playing position.
    QTRY_VERIFY_WITH_TIMEOUT(slider->value() > 0, 10000);
}

QTEST_MAIN(TestPlayer)
#include "test_player.moc"
