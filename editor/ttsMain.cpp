#include "ttsMain.h"

#include "Highlighter.h"
#include "Loading.h"
#include "MoreVoices.h"
#include "ReadingDialog.h"
#include "ServiceClient.h"
#include "SynthesisJob.h"
#include "TTSText.h"
#include "ttsMainForm.h"

#include <QAction>
#include <QMediaPlaylist>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

ttsMain::ttsMain(QWidget *parent)
    : ttsMain(ServiceUrls::program(), parent)
{
}

ttsMain::ttsMain(const ServiceUrls &urls, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_ttsMain)
    , serviceUrls(urls)
    , speechClient(std::make_unique<ServiceClient>(urls))
{
    ui->setupUi(this);

    ui->playButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));

    // Created after the form's widgets, so that it lies above them.
    moreVoices = new MoreVoices(this);
    moreVoices->hide();

    hideTimer = new QTimer(this);
    hideTimer->setSingleShot(true);
    connect(hideTimer, &QTimer::timeout, this, &ttsMain::hideMoreVoices);

    startCatalogueLoader();

    connect(ui->textEdit, &TTSText::mouseSelect, this, &ttsMain::showMoreVoices);
    connect(moreVoices, &MoreVoices::notClose, this, &ttsMain::onPickerNotClose);
    connect(moreVoices, &MoreVoices::clickVoice, this, &ttsMain::onPickerClickVoice);
    connect(ui->playButton, &QPushButton::clicked, this, &ttsMain::togglePlayback);
    connect(ui->textEdit->listenSelectionAction(), &QAction::triggered, this, &ttsMain::listenSelection);
    connect(ui->textEdit->showReadingAction(), &QAction::triggered, this, &ttsMain::showReading);
    connect(ui->textEdit, &TTSText::subtitleDropped, this, &ttsMain::importSubtitles);
}

ttsMain::~ttsMain()
{
    // The job first: its reports would land on the widgets below.
    job.reset();
    // What the user typed last goes to disk before the editor does.
    saveAutosave();
    delete readingWindow.data();
    delete ui;
    delete loading;
    delete moreVoices;
    delete highlighter;
    delete hideTimer;
    delete player;
    delete playlist;
}

void ttsMain::showBusyOverlay(const QString &text)
{
    if (loading) {
        loading->close();
        delete loading;
    }
    loading = new Loading(this);
    loading->setText(text);
    loading->show();
}

void ttsMain::closeBusyOverlay()
{
    if (!loading)
        return;
    loading->close();
    delete loading;
    loading = nullptr;
}
