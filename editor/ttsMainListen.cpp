#include "ttsMain.h"

#include "AppSettings.h"
#include "LexiconEdit.h"
#include "ReadingDialog.h"
#include "Segmentation.h"
#include "ServiceClient.h"
#include "SynthesisJob.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "ttsMainForm.h"

#include <QComboBox>
#include <QDateTime>
#include <QSpinBox>
#include <QTextCursor>

ReadingDialog *ttsMain::readingDialog() const
{
    return readingWindow.data();
}

QString ttsMain::chooserVoice() const
{
    return VoiceCatalogue::instance().currentVoice(chooserEntry());
}

QVector<Passage> ttsMain::selectedPassages() const
{
    const QString script = ui->textEdit->toPlainText();
    const QTextCursor cursor = ui->textEdit->textCursor();
    return Segmentation::passagesIn(script, Segmentation::listenRange(script, cursor.anchor(), cursor.position()),
                                    chooserVoice());
}

void ttsMain::listenSelection()
{
    const QString refusal = listenTo(selectedPassages());
    if (!refusal.isEmpty())
        warn(QStringLiteral("试听选中"), refusal);
}

QString ttsMain::listenTo(const QVector<Passage> &passages)
{
    // A running job owns the page's job state and its player; a listen
    // waits for it rather than cut in.
    if (isJobRunning())
        return QStringLiteral("正在合成，请等当前任务结束后再试听");
    if (passages.isEmpty())
        return QStringLiteral("没有可以试听的文字");

    Segmentation::Input input;
    input.rate = ui->rateBox->value();
    input.volume = ui->volumeBox->value();
    input.pauseMs = ui->spinBox->value();
    input.audioDir = audioDir;
    input.startMsecs = QDateTime::currentMSecsSinceEpoch();
    input.mode = JobMode::TryListen;

    // A try-listen like the button's: the folder of the last one goes, and
    // this one's goes with the next job.
    const JobTrail trail = job ? job->trail() : JobTrail();
    job = std::make_unique<SynthesisJob>(Segmentation::plan(input, passages), *speechClient, trail);
    // No overlay: a short passage is back before it would be seen, and the
    // user keeps reading the script meanwhile.
    connect(job.get(), &SynthesisJob::refused, this, &ttsMain::warn);
    connect(job.get(), &SynthesisJob::warning, this, &ttsMain::warn);
    connect(job.get(), &SynthesisJob::delivered, this, &ttsMain::deliver);
    job->start();
    return QString();
}

void ttsMain::showReading()
{
    const QTextCursor cursor = ui->textEdit->textCursor();
    if (!cursor.hasSelection()) {
        warn(QStringLiteral("查看读音"), QStringLiteral("请先选中要查看读音的文字"));
        return;
    }
    const QVector<Passage> passages = selectedPassages();
    if (passages.isEmpty()) {
        warn(QStringLiteral("查看读音"), QStringLiteral("选中的文字中没有可以朗读的内容"));
        return;
    }
    QString text;
    for (const Passage &passage : passages) {
        if (passage.voice != passages.first().voice) {
            warn(QStringLiteral("查看读音"), QStringLiteral("选中的文字由不同的配音员朗读，请只选中一位配音员的文字"));
            return;
        }
        text += passage.text;
    }
    if (passages.first().voice.isEmpty()) {
        warn(QStringLiteral("查看读音"), QStringLiteral("请先选择配音员"));
        return;
    }

    // One dialog at a time: a new selection replaces the old one's.
    delete readingWindow.data();
    auto *dialog = new ReadingDialog(text, passages.first().voice, *speechClient,
                                     workDir + QLatin1String(LexiconEdit::fileName), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setListener([this](const Passage &passage) { return listenTo({passage}); });
    readingWindow = dialog;
    dialog->lookUp();
    dialog->open();
}
