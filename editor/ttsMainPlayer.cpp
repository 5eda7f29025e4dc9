#include "ttsMain.h"

#include "ttsMainForm.h"

#include <QMediaPlaylist>

#include <QPushButton>
#include <QSlider>
#include <QStyle>

QMediaPlayer *ttsMain::mediaPlayer()
{
    createPlayer();
    return player;
}

QMediaPlaylist *ttsMain::mediaPlaylist()
{
    createPlayer();
    return playlist;
}

void ttsMain::createPlayer()
{
    if (player)
        return;
    player = new QMediaPlayer(nullptr, QMediaPlayer::Flags());
    playlist = new QMediaPlaylist;
    connect(player, &QMediaPlayer::durationChanged, ui->jinduTiao,
            [slider = ui->jinduTiao](qint64 duration) { slider->setMaximum(int(duration)); });
    connect(player, &QMediaPlayer::positionChanged, ui->jinduTiao,
            [slider = ui->jinduTiao](qint64 position) { slider->setValue(int(position)); });
    connect(player, &QMediaPlayer::stateChanged, this, &ttsMain::onPlayerStateChanged);
}

void ttsMain::togglePlayback()
{
    // Nothing was ever loaded while there is no player yet.
    if (!player || player->mediaStatus() == QMediaPlayer::NoMedia)
        return;
    if (player->state() == QMediaPlayer::PlayingState)
        player->pause();
    else
        player->play();
}

void ttsMain::onPlayerStateChanged(QMediaPlayer::State state)
{
    const auto icon = state == QMediaPlayer::PlayingState ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay;
    ui->playButton->setIcon(style()->standardIcon(icon));
}
