#include "ttsMain.h"

#include "ttsMainForm.h"

#include <QPushButton>
#include <QSlider>
#include <QStyle>

void ttsMain::connectPlayer()
{
    connect(ui->playButton, &QPushButton::clicked, this, &ttsMain::togglePlayback);
    connect(player, &QMediaPlayer::durationChanged, ui->jinduTiao,
            [slider = ui->jinduTiao](qint64 duration) { slider->setMaximum(int(duration)); });
    connect(player, &QMediaPlayer::positionChanged, ui->jinduTiao,
            [slider = ui->jinduTiao](qint64 position) { slider->setValue(int(position)); });
    connect(player, &QMediaPlayer::stateChanged, this, &ttsMain::onPlayerStateChanged);
}

void ttsMain::togglePlayback()
{
    if (player->mediaStatus() == QMediaPlayer::NoMedia)
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
