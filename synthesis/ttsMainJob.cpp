#include "ttsMain.h"

#include "AppSettings.h"
#include "Loading.h"
#include "OpenFileLimit.h"
#include "Qajax.h"
#include "Segmentation.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "VoiceNaming.h"
#include "ttsCommunicate.h"
#include "ttsMainForm.h"

#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QMediaPlaylist>
#include <QMessageBox>
#include <QSlider>
#include <QSpinBox>
#include <QUrl>

namespace {

void warn(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Yes, QMessageBox::NoButton);
}

// The identifier of the voice chosen in the voice chooser, or empty when the
// catalogue was never loaded or nothing is chosen.
QString chooserVoiceIdentifier(int index)
{
    const VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    const int locale = catalogue.currentLocaleIndex();
    if (locale < 0 || locale >= catalogue.voiceGroups().size())
        return QString();
    const QJsonArray group = catalogue.currentVoiceGroup();
    if (index < 0 || index >= group.size())
        return QString();
    return VoiceNaming::voiceIdentifier(group.at(index).toObject().value(QStringLiteral("name")).toString());
}

} // namespace

void ttsMain::on_resultBtn_clicked()
{
    startJob(1);
}

void ttsMain::on_tryPlay_clicked()
{
    startJob(0);
}

void ttsMain::startJob(int mode)
{
    // The overlay keeps the mouse away, but a focused button still takes the keyboard.
    if (jobRunning)
        return;
    jobRunning = true;

    segmentMedia.clear();
    showBusyOverlay(QStringLiteral("多线程合成中，请稍等"));
    // A job that cannot go ahead uncovers the page, then says why.
    auto refuse = [this](const QString &title, const QString &text) {
        closeBusyOverlay();
        warn(this, title, text);
        jobRunning = false;
    };

    Segmentation::Input input;
    input.script = ui->textEdit->toPlainText();
    input.rateText = ui->rateBox->text();
    input.volumeText = ui->volumeBox->text();
    input.chooserVoice = chooserVoiceIdentifier(ui->voicesSelect->currentIndex());
    input.audioDir = audioDir;
    input.startMsecs = QDateTime::currentMSecsSinceEpoch();
    bool usesChooserVoice = false;
    const QJsonArray list = Segmentation::buildSegmentList(input, &usesChooserVoice);

    if (list.size() < 2)
        return refuse(QStringLiteral("操作错误"), QStringLiteral("未获取到合成信息"));
    // Without a loaded catalogue the untagged text would be sent without a voice.
    if (usesChooserVoice && input.chooserVoice.isEmpty())
        return refuse(QStringLiteral("操作错误"), QStringLiteral("请先选择配音员"));
    // Every segment's worker runs at once. Past the descriptor limit the
    // program would be aborted in the middle of the job, so such a job is
    // refused before anything is started or cleared.
    const int segments = list.size() - 1;
    const int maxSegments = OpenFileLimit::maxSegments(OpenFileLimit::raise());
    if (segments > maxSegments)
        return refuse(QStringLiteral("合成异常"),
                      QStringLiteral("配音段落过多（%1 段），本机最多可同时合成 %2 段，请分批合成").arg(segments).arg(maxSegments));

    successCount = 0;
    failureCount = 0;
    workerCount = 0;
    if (lastMode == 0)
        clearJobFolder();

    const QJsonObject header = list.at(0).toObject();
    jobFolder = header.value(QStringLiteral("path")).toString();
    // Without its folder the service could write nothing, and the job would
    // only end in a string of failures.
    if (!QDir(jobFolder).exists() && !QDir().mkpath(jobFolder))
        return refuse(QStringLiteral("合成异常"), QStringLiteral("无法创建配音文件夹，请检查 audio 文件夹是否可以写入"));

    const QString rates = header.value(QStringLiteral("rates")).toString();
    const QString volumes = header.value(QStringLiteral("volumes")).toString();
    workerCount = segments;
    auto *workers = new QVector<ttsCommunicate *>(workerCount, nullptr);

    for (int i = 0; i < workerCount; ++i) {
        const QJsonObject record = list.at(i + 1).toObject();
        const QString fileName = record.value(QStringLiteral("fileName")).toString();
        const QString media = jobFolder + fileName + QStringLiteral(".mp3");
        const QString subtitles = jobFolder + fileName + QStringLiteral(".srt");
        segmentMedia.append(media);

        auto *worker = new ttsCommunicate(record.value(QStringLiteral("text")).toString(),
                                          record.value(QStringLiteral("name")).toString(), rates, volumes,
                                          media, subtitles);
        (*workers)[i] = worker;
        // Connected before the start, with the page as context: every report
        // arrives queued in this thread.
        connect(worker, &ttsCommunicate::success, this,
                [this, mode, workers] { onWorkerReport(mode, workers, true); });
        connect(worker, &ttsCommunicate::error, this,
                [this, mode, workers](const QString &, const QString &) { onWorkerReport(mode, workers, false); });
        worker->start(QThread::InheritPriority);
        // A thread that could not be created would never report and the job
        // would never end: count it as failed, queued like a worker's report.
        if (!worker->isRunning() && !worker->isFinished())
            QMetaObject::invokeMethod(
                this, [this, mode, workers] { onWorkerReport(mode, workers, false); }, Qt::QueuedConnection);
    }
}

void ttsMain::onWorkerReport(int mode, QVector<ttsCommunicate *> *workers, bool succeeded)
{
    // Failures are told once, by count, when every worker has reported.
    if (succeeded)
        ++successCount;
    else
        ++failureCount;
    collectResults(mode, workers);
}

void ttsMain::collectResults(int mode, QVector<ttsCommunicate *> *workers)
{
    if (successCount + failureCount != workerCount)
        return;

    for (ttsCommunicate *worker : qAsConst(*workers)) {
        worker->disconnect();
        worker->wait();
        delete worker;
    }
    delete workers;

    if (failureCount != 0)
        warn(this, QStringLiteral("合成异常"), QStringLiteral("部分配音合成失败：") + QString::number(failureCount));

    if (loading)
        loading->setText(QStringLiteral("正在组合配音文件"));

    const bool combined = combineSegments();

    for (const QString &media : qAsConst(segmentMedia))
        QFile::remove(media);

    if (!combined) {
        jobRunning = false;
        return;
    }

    lastMode = mode;
    if (mode == 1) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(jobFolder));
    } else {
        QMediaPlayer *player = mediaPlayer();
        QMediaPlaylist *playlist = mediaPlaylist();
        playlist->clear();
        playlist->addMedia(QUrl::fromLocalFile(jobFolder + QStringLiteral("output.mp3")));
        playlist->setCurrentIndex(0);
        player->setPlaylist(playlist);
        ui->jinduTiao->setRange(0, int(player->duration()));
        player->play();
    }
    jobRunning = false;
}

bool ttsMain::combineSegments()
{
    if (segmentMedia.isEmpty()) {
        closeBusyOverlay();
        warn(this, QStringLiteral("合成异常"), QStringLiteral("未查询到配音排序文件"));
        return false;
    }

    QString audio;
    for (const QString &media : qAsConst(segmentMedia))
        audio += media + QLatin1Char('?');

    Qajax ajax;
    ajax.post({{QStringLiteral("audio"), audio},
               {QStringLiteral("path"), jobFolder},
               {QStringLiteral("dura"), QString::number(ui->spinBox->value())}},
              audioCombinedUrl);
    closeBusyOverlay();

    if (ajax.networkError() != 0) {
        warn(this, QStringLiteral("接口错误"),
             QStringLiteral("语音片段组合接口网络接口请求错误，代码：") + QString::number(ajax.networkError()));
        return false;
    }
    if (ajax.code() == 1)
        return true;
    // A reply that is not the service's envelope carries no message of its own.
    warn(this, QStringLiteral("合成结果"),
         ajax.msg().isEmpty() ? QStringLiteral("语音服务返回的结果无法识别") : ajax.msg());
    return false;
}

void ttsMain::clearJobFolder()
{
    if (jobFolder.isEmpty())
        return;
    QDir folder(jobFolder);
    if (!folder.exists())
        return;
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const QString path = QDir::toNativeSeparators(folder.path() + QLatin1Char('/') + entry);
        if (QFileInfo(path).isFile())
            QFile::remove(path);
    }
    // Only succeeds once empty: subfolders are neither entered nor removed.
    QDir().rmdir(jobFolder);
}
