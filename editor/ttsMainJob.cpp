#include "ttsMain.h"

#include "AppSettings.h"
#include "JobReport.h"
#include "Loading.h"
#include "Segmentation.h"
#include "ServiceClient.h"
#include "SynthesisJob.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "ttsMainForm.h"

#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QMediaPlaylist>
#include <QMessageBox>
#include <QSlider>
#include <QSpinBox>
#include <QUrl>

void ttsMain::on_resultBtn_clicked()
{
    startJob(JobMode::Result);
}

void ttsMain::on_tryPlay_clicked()
{
    startJob(JobMode::TryListen);
}

bool ttsMain::isJobRunning() const
{
    return job && job->isRunning();
}

int ttsMain::lastJobMode() const
{
    return int(job ? job->trail().lastDelivered : JobTrail().lastDelivered);
}

QString ttsMain::jobFolderPath() const
{
    return job ? job->trail().lastFolder : QString();
}

void ttsMain::warn(const QString &title, const QString &text)
{
    QMessageBox::warning(this, title, text, QMessageBox::Yes, QMessageBox::NoButton);
}

void ttsMain::startJob(JobMode mode)
{
    // The overlay keeps the mouse away, but a focused button still takes the keyboard.
    if (isJobRunning())
        return;

    showBusyOverlay(QStringLiteral("多线程合成中，请稍等"));

    Segmentation::Input input;
    input.script = ui->textEdit->toPlainText();
    input.rate = ui->rateBox->value();
    input.volume = ui->volumeBox->value();
    input.pauseMs = ui->spinBox->value();
    input.chooserVoice = VoiceCatalogue::instance().currentVoice(chooserEntry());
    input.audioDir = audioDir;
    input.startMsecs = QDateTime::currentMSecsSinceEpoch();
    input.mode = mode;
    // A try-listen is played, never kept: no WAV for it.
    input.writeWav = exportWav && mode == JobMode::Result;

    // What the last job left decides whether its folder goes.
    const JobTrail trail = job ? job->trail() : JobTrail();
    job = std::make_unique<SynthesisJob>(Segmentation::plan(input), *speechClient, trail);

    // A job that cannot go ahead uncovers the page, then says why.
    connect(job.get(), &SynthesisJob::refused, this, [this](const QString &title, const QString &text) {
        closeBusyOverlay();
        warn(title, text);
    });
    connect(job.get(), &SynthesisJob::progress, this, [this](int done, int total) {
        if (loading)
            loading->setText(JobReport::renderingText(done, total));
    });
    connect(job.get(), &SynthesisJob::warning, this, &ttsMain::warn);
    connect(job.get(), &SynthesisJob::joining, this, [this] {
        if (loading)
            loading->setText(QStringLiteral("正在组合配音文件"));
    });
    connect(job.get(), &SynthesisJob::joined, this, &ttsMain::closeBusyOverlay);
    timelineTitle.clear();
    timelineText.clear();
    connect(job.get(), &SynthesisJob::adjusted, this, [this](const QString &title, const QString &text) {
        timelineTitle = title;
        timelineText = text;
    });
    connect(job.get(), &SynthesisJob::delivered, this, &ttsMain::deliver);
    if (job->start() && loading) {
        // The job can always be stopped. Queued: the overlay hides itself
        // after it has signalled, and must still be there to do so.
        loading->showCancelButton();
        connect(loading, &Loading::cancelWaiting, this, &ttsMain::cancelJob, Qt::QueuedConnection);
    }
}

void ttsMain::cancelJob()
{
    // The user asked for it: no box, nothing opened or played. A job that
    // ended in the meantime has removed its overlay already, unless it hid
    // itself on the click.
    const bool stopped = job && job->cancel();
    if (stopped || (loading && !loading->isVisible()))
        closeBusyOverlay();
}

void ttsMain::setWriteWav(bool on)
{
    if (exportWav == on)
        return;
    exportWav = on;
    noteChange();
}

void ttsMain::showTimelineReport()
{
    if (timelineText.isEmpty())
        return;
    const QString title = timelineTitle;
    const QString text = timelineText;
    timelineTitle.clear();
    timelineText.clear();
    QMessageBox::information(this, title, text, QMessageBox::Yes, QMessageBox::NoButton);
}

void ttsMain::deliver()
{
    const JobPlan &plan = job->plan();
    // What the timeline changed is told once the output is there, after the
    // job has finished delivering: the box waits in a loop of its own.
    if (!timelineText.isEmpty())
        QMetaObject::invokeMethod(this, &ttsMain::showTimelineReport, Qt::QueuedConnection);
    if (plan.mode == JobMode::Result) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(plan.folder));
        return;
    }
    QMediaPlayer *player = mediaPlayer();
    QMediaPlaylist *playlist = mediaPlaylist();
    playlist->clear();
    playlist->addMedia(QUrl::fromLocalFile(plan.outputPath()));
    playlist->setCurrentIndex(0);
    player->setPlaylist(playlist);
    ui->jinduTiao->setRange(0, int(player->duration()));
    player->play();
}
